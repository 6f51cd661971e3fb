#include "package/UnPack.h"

#include <algorithm>
#include <memory>
#include <cstring>
#include <vector>

#include "package/PackX.h"
#include "package/SetupLogic.h"
#include "package/SignerRule.h"
#include "package/ZLibOpen.h"
#include "system/Files.h"
#include "system/TestHooks.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr DWORD kReadPiece = 65536;

struct UnPackState {
  int writeFailures = 0;
};
UnPackState state;

// A pass of the message pump once per block was most of the time of a small file: the
// extraction pumps when it is due.
void PumpWhenDue() {
  ShowProgressWhenDue();
  YieldWhenDue();
}

// Creates folder and its missing parents; false (last error set) when it is not there.
bool ForceFolder(const std::string& folder) {
  const std::string path = RemoveTrailingBackslash(ReplaceChar(folder, '/', '\\'));
  if (path.empty() || FolderExists(path)) return !path.empty();
  for (std::size_t at = path.find('\\', 1); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::string part = path.substr(0, at);
    if (!part.empty() && part.back() != ':' && part != "\\\\" && !FolderExists(part))
      CreateDirectoryA(part.c_str(), nullptr);
  }
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  // The create's own error is what the caller reports, not that of the look-up after it.
  const DWORD error = GetLastError();
  if (FolderExists(path)) return true;
  SetLastError(error);
  return false;
}

void SetDosDate(HANDLE file, std::uint32_t dosDate) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, nullptr, nullptr, &utc);
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    if (!WriteFile(file, data, piece, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}


bool MoveTo(HANDLE file, std::int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

// One extraction run.
struct TRun {
  std::string Dest;
  TProgDriver Progress = nullptr;
  std::string Engine;
  bool Damaged = false;
  std::string Reason;
  std::uint64_t BytesWritten = 0;
  std::uint32_t FilesWritten = 0;

  // The block being written.
  std::string Target;
  std::uint32_t Date = 0;
  UniqueHandle Out;
  // The file the block before wrote, kept open: a file larger than a block continues in
  // the blocks (and volumes) that follow, and only there is a file appended to.
  std::string PreviousTarget;
  UniqueHandle Previous;
  bool WriteFailed = false;
  DWORD WriteError = 0;
  bool Stopped = false;                 // the main window was closed while the block was written
  std::unique_ptr<TInflater> Inflater;  // one per run: its buffers are reused

  void Step() {
    if (Progress) Progress(1, 0, 0, 0, 0, std::string());
  }
  void Refuse(const std::string& why) {
    if (!Damaged) Reason = why;
    Damaged = true;
  }
  void FailWrite() {
    if (!WriteFailed) WriteError = GetLastError();
    WriteFailed = true;
    Out.reset();
  }
};

bool OnName(void* context, const std::string& namePart) {
  TRun& run = *static_cast<TRun*>(context);
  if (namePart.empty()) return false;  // a block without a name writes nothing
  std::string why;
  if (!IsWellFormedNamePart(namePart, &why)) {
    run.Refuse(why);
    return false;
  }
  TBlockName name;
  const bool hasPath = ParseNamePart(namePart, name);
  // The engine is started from the folder by this name: it must stay inside it as well.
  // (A device name there fails only when it is started.)
  bool deviceName = false;
  if (!name.Engine.empty()) {
    const std::string engine = EngineName(name.Engine);
    if (!IsSafePackagePath(engine, &why, &deviceName) && !deviceName) {
      run.Refuse("unsafe engine name \"" + engine + "\": " + why);
      return false;
    }
    // The blocks of one engine repeat its entry; another entry ("." damaged to "*" in a
    // path) would start a file that is no engine.
    if (!run.Engine.empty() && name.Engine != run.Engine) {
      run.Refuse("a second engine \"" + name.Engine + "\" after \"" + run.Engine + "\"");
      return false;
    }
    run.Engine = name.Engine;
  }
  deviceName = false;
  if (!hasPath || !IsSafePackagePath(name.Path, &why, &deviceName)) {
    if (!deviceName) {
      run.Refuse("unsafe path \"" + name.Path + "\": " + (hasPath ? why : "empty path"));
      return false;
    }
  }
  const std::string path = ReplaceChar(name.Path, '/', '\\');
  run.Target = SetTrailingBackslash(run.Dest, true) + path;
  run.Date = name.Date;
  run.WriteFailed = false;
  if (deviceName) {
    // Windows would open the device instead of a file: this one file is not written (the
    // save error tells the user), the rest of the package is.
    Output() << TracePid() << " ExtractPackage() --- not written: " << run.Target << ": " << why << EndLine;
    run.Step();
    SetLastError(ERROR_INVALID_NAME);
    run.FailWrite();
    return false;
  }
  if (run.Previous && SameText(run.Target, run.PreviousTarget)) {
    run.Out = std::move(run.Previous);
    return true;
  }
  run.Previous.reset();
  // Every file is made new (one progress step each): whatever already lies at a name in
  // the folder (a link, a file) is never opened or written through. Files below
  // subfolders of the package get their folders on the first miss.
  for (int attempt = 0; attempt < 2 && !run.Out; ++attempt) {
    run.Out.reset(CreateFileA(run.Target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (run.Out) {
      run.Step();
      ++run.FilesWritten;
    } else if (attempt == 0 && error == ERROR_PATH_NOT_FOUND && path.find('\\') != std::string::npos) {
      ForceFolder(ExtractFileDir(run.Target));
    } else if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      // zpack writes a file's blocks one after the other: a name met again later is damage.
      run.Refuse("\"" + name.Path + "\" is already there");
      return false;
    } else {
      SetLastError(error);
      if (!FileExists(run.Target)) run.Step();
      run.FailWrite();
      break;
    }
  }
  return true;
}

bool OnContent(void* context, const char* data, std::size_t size) {
  TRun& run = *static_cast<TRun*>(context);
  // SpaceNeeded is the builder's estimate, not a bound: a sound package may bring more. A
  // block that inflates without end is stopped by the drive itself (a failed write, shown
  // once; the rest of that block is only inflated and dropped).
  if (run.WriteFailed) return false;  // nothing of this block can be stored: stop inflating it
  if (WriteAll(run.Out.get(), data, size))
    run.BytesWritten += size;
  else
    run.FailWrite();
  PumpWhenDue();
  // A close handled by that pass ends the install: the rest of a large block would keep
  // the disk busy for seconds after the window has gone.
  if (View().loopEnded) {
    run.Stopped = true;
    return false;
  }
  return true;
}

bool FeedInflater(void* context, const char* data, std::size_t size) {
  return static_cast<TPayloadSplitter*>(context)->Feed(data, size);
}

// Reads, inflates and writes one data block of length bytes at the file's position.
void ExtractBlock(TRun& run, HANDLE volume, std::int64_t length, bool compressed, std::vector<char>& buffer) {
  run.Target.clear();
  run.Date = 0;
  run.Out.reset();
  run.WriteFailed = false;
  run.Stopped = false;
  TPayloadSplitter splitter(OnName, OnContent, &run);
  std::int64_t left = length;
  bool going = true;
  try {
    if (compressed) {
      if (run.Inflater)
        run.Inflater->Reset();
      else
        run.Inflater.reset(new TInflater);
    }
    left = length;
    while (left > 0 && going) {
      const DWORD piece = static_cast<DWORD>(std::min<std::int64_t>(left, buffer.size()));
      DWORD read = 0;
      if (!ReadFile(volume, buffer.data(), piece, &read, nullptr) || read != piece) {
        run.Refuse("block cut off by the end of the volume");
        break;
      }
      left -= read;
          going = compressed ? run.Inflater->Feed(buffer.data(), read, FeedInflater, &splitter)
                         : splitter.Feed(buffer.data(), read);
      if (run.Damaged) break;
      if (left > 0) PumpWhenDue();  // the block loop pumps after the last piece
    }
    // A block whose file cannot be written, or is stopped by a close, is skipped: its rest
    // is neither read nor inflated.
    const bool skipped = !going && (run.WriteFailed || run.Stopped) && !run.Damaged;
    if (skipped && left > 0) {
      LARGE_INTEGER ahead;
      ahead.QuadPart = left;
      SetFilePointerEx(volume, ahead, nullptr, FILE_CURRENT);
    }
    // A payload without a 0x00 has an empty name part, whatever its length: skipped.
    if (splitter.NameFound() && splitter.NameTooLong()) run.Refuse("name part too long");
    if (compressed && !run.Damaged && !skipped) run.Inflater->RequireFinished();
  } catch (const EZLibError& error) {
    run.Refuse(std::string("damaged zlib stream: ") + error.what());
  }
  if (run.Out && !run.WriteFailed && !run.Stopped && !run.Damaged) {
    if (run.Date != 0) SetDosDate(run.Out.get(), run.Date);
    run.PreviousTarget = run.Target;
    run.Previous = std::move(run.Out);
  }
  run.Out.reset();
  if (run.WriteFailed && !run.Damaged) {
    if (++state.writeFailures == 1) {
      ShowProgressNow();
      SetLastError(run.WriteError);
      MsgError(MsgOwnerTitle(), run.Target + "<P><P>Unable to save Extracted File!<P><P>" +
                                    ExtractErrorDetails(run.Target, splitter.ContentSize()));
    }
  }
}

// The agent: the stub and the header blocks of the first volume and the volume's trailer
// marked as the agent's. With a signer record (the publisher of the volume's verified
// signature) the record follows the trailer and PackEnd points between them; without,
// PackEnd is cleared.
void WriteAgentCopy(TRun& run, HANDLE volume, const std::string& volumeName, std::int64_t headerEnd,
                    const std::string& agentName, const std::string& signerRecord) {
  PackTrailer trailer{};
  ReadTrailer(volumeName, trailer);
  trailer.ThisIsAgent = 1;
  trailer.TrailerSize = pack::kTrailerSize;
  const std::string target = SetTrailingBackslash(run.Dest, true) + agentName;
  UniqueHandle out(
      CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  bool ok = out.valid() && MoveTo(volume, 0);
  std::vector<char> buffer(256 * 1024);
  const std::uint64_t packEnd = signerRecord.empty() ? 0 : std::uint64_t(headerEnd) + sizeof trailer;
  char packEndBytes[8];
  for (int i = 0; i < 4; ++i) {
    packEndBytes[i] = static_cast<char>((packEnd >> (32 + 8 * i)) & 0xFF);
    packEndBytes[4 + i] = static_cast<char>((packEnd >> (8 * i)) & 0xFF);
  }
  std::int64_t done = 0;
  while (ok && done < headerEnd) {
    const DWORD piece = static_cast<DWORD>(std::min<std::int64_t>(headerEnd - done, buffer.size()));
    DWORD read = 0;
    ok = ReadFile(volume, buffer.data(), piece, &read, nullptr) && read == piece;
    if (!ok) break;
    // PackEnd (bytes 248..255): the copy's package ends at its own trailer.
    for (std::int64_t at = std::max<std::int64_t>(done, pack::kPackEndPosHigh);
         at < std::min<std::int64_t>(done + read, pack::kPackEndPosLow + 4); ++at)
      buffer[at - done] = packEndBytes[at - pack::kPackEndPosHigh];
    ok = WriteAll(out.get(), buffer.data(), read);
    done += read;
  }
  ok = ok && WriteAll(out.get(), reinterpret_cast<const char*>(&trailer), sizeof trailer);
  ok = ok && (signerRecord.empty() || WriteAll(out.get(), signerRecord.data(), signerRecord.size()));
  FILETIME written;
  if (ok && GetFileTime(volume, nullptr, nullptr, &written)) SetFileTime(out.get(), nullptr, nullptr, &written);
  out.reset();
  if (!ok) {
    Output() << ExceptionLine("ExtractPackage", "AU-Agent", "cannot write " + target + ": " + LastErrorText())
             << EndLine;
    return;
  }
  Output() << TracePid() << " New AU-Agent: " << target << EndLine;
}

bool AskForVolume(int volume, const TExtractOptions& options) {
  const std::string text = ReplaceTextNoCase(options.PromptText, "<DISK_NUM>", std::to_string(volume));
  if (options.VolumePrompt) return options.VolumePrompt(options.PromptContext, volume, text);
  return MsgConfirmOkCancel(MsgOwnerTitle(), text, options.PromptCaption, options.ButtonList,
                            options.Charset);
}

}  // namespace

DWORD ReadBlock(HANDLE file, void* buffer, DWORD size) {
  DWORD done = 0;
  while (done < size) {
    DWORD read = 0;
    const DWORD piece = std::min<DWORD>(size - done, kReadPiece);
    if (!ReadFile(file, static_cast<char*>(buffer) + done, piece, &read, nullptr) || read == 0) break;
    done += read;
    YieldX(0);
  }
  return done;
}

std::string ExtractPackage(const std::string& packageFile, const std::string& destFolder,
                           const std::string& agentFileName, bool forcePrompt, int charset,
                           const std::string& buttonList, const std::string& promptCaption,
                           const std::string& promptText, TProgDriver progress, bool& checkResult,
                           TExtractDetails* details) {
  return ExtractPackage(
      packageFile, destFolder,
      TExtractOptions{agentFileName, forcePrompt, charset, buttonList, promptCaption, promptText, progress},
      checkResult, details);
}

std::string ExtractPackage(const std::string& packageFile, const std::string& destFolder,
                           const TExtractOptions& options, bool& checkResult, TExtractDetails* details) {
  const TProgDriver progress = options.Progress;
  const std::int64_t started = TickMs();
  TRun run;
  run.Dest = destFolder;
  run.Progress = progress;
  TExtractStatus status = TExtractStatus::Ok;
  checkResult = false;
  bool goOn = true;
  int volume = 1;
  int block = 0;
  std::int64_t headerEnd = 0;
  std::string volumeName = packageFile;
  PackTrailer trailer{};
  std::vector<char> buffer(kReadPiece);
  if (progress) progress(0, 0, 0, 0, 1, std::string());
  if (!FileExists(packageFile)) status = TExtractStatus::Missing;

  while (goOn && status != TExtractStatus::Missing) {
    if (FileExists(volumeName)) {
      trailer = PackTrailer{};
      ReadTrailer(volumeName, trailer);
      const std::int64_t dataStart = trailer.DataStart;
      if (volume == 1) Output() << "FileInfo.FilesCount=" << trailer.FilesCount << EndLine;
      checkResult = CheckSumAccepted(PackCheckSum(volumeName, trailer.TrailerSize), trailer.CheckSum);
      if (!checkResult) {
        status = TExtractStatus::BadCheckSum;
        break;
      }
      // A first volume without a package (a damaged or cut-off file whose checksum is
      // switched off or not computed) is not an empty package: its trailer bytes are noise.
      if (volume == 1 && trailer.PackMagic != pack::kPackMagic) {
        run.Refuse("no package in the file");
        break;
      }
      UniqueHandle file = OpenForReading(volumeName);
      std::int64_t end = -1;
      {
        PackFile measured(volumeName);
        if (measured) end = PackEndOf(measured.get());
      }
      Output() << "FileLen=" << end << EndLine;
      if (file && trailer.PackMagic == pack::kPackMagic) {
        std::int64_t position = dataStart;
        MoveTo(file.get(), position);
        if (volume == 1 && progress) progress(0, 0, static_cast<int>(trailer.FilesCount), 0, 1, std::string());
        if (!ForceFolder(destFolder)) {
          ShowProgressNow();
          MsgError(MsgOwnerTitle(), destFolder + "<P><P>Unable to create Directory!<P><P>" + LastErrorText());
        }
        // Blocks end where the trailer begins; a trailer shorter than 74 bytes leaves them
        // more room (the loop below still stops once 74 bytes or fewer remain).
        const std::int64_t blocksEnd = end - trailer.TrailerSize;
        const int headerCount = trailer.HeaderCount ? trailer.HeaderCount : pack::kHeaderCountPlain;
        while (end - position > static_cast<std::int64_t>(pack::kTrailerSize)) {
          PumpWhenDue();
          // The main window was closed (its temporary folder is gone): the install ends.
          if (View().loopEnded) {
            goOn = false;
            break;
          }
          std::int32_t n = 0;
          DWORD read = 0;
          bool compressed = false;
          const std::int64_t length =
              ReadFile(file.get(), &n, sizeof n, &read, nullptr) && read == sizeof n
                  ? BlockLength(n, position, blocksEnd, compressed)
                  : -1;
          if (length < 0) {
            run.Refuse("block at " + std::to_string(position) + " runs past the end of the volume");
            break;
          }
          position += length + 4;
          ++block;
          if (block == headerCount) headerEnd = position;
          if (block <= headerCount) {
            MoveTo(file.get(), position);
            continue;
          }
          ExtractBlock(run, file.get(), length, compressed, buffer);
          if (run.Damaged) break;
          if (run.Stopped) {
            goOn = false;
            break;
          }
        }
        // DataStart past the package (or a header block cut off): no header texts, no data.
        if (!run.Damaged && volume == 1 && block < headerCount) run.Refuse("header blocks missing");
        if (run.Damaged || !goOn) break;
        const std::string agentName = ExtractFileName(options.AgentFileName);
        if (volume == 1 && !agentName.empty() && AgentSourceName(volumeName) && headerEnd > 0) {
          std::string why;
          if (IsSafePackagePath(agentName, &why))
            WriteAgentCopy(run, file.get(), volumeName, headerEnd, agentName,
                           VerifiedSignerRecord(volumeName));
          else
            Output() << ExceptionLine("ExtractPackage", "AU-Agent", "refused name \"" + agentName + "\": " + why)
                     << EndLine;
        }
      }
    }
    if (!goOn || !HasNextVolume(trailer)) break;
    EnableAutoPlayCancel(true);
    ++volume;
    volumeName = VolumeFileName(packageFile, volume);
    if (options.ForcePrompt || !FileExists(volumeName)) {
      ShowProgressNow();
      EjectCD(volumeName);
      do {
        goOn = AskForVolume(volume, options);
        YieldWait(0, 500);
      } while (!FileExists(volumeName) && goOn);
    }
    run.Step();
  }

  if (run.Damaged) {
    status = TExtractStatus::Damaged;
    checkResult = false;
    Output() << ExceptionLine("ExtractPackage", volumeName, "damaged package: " + run.Reason) << EndLine;
  }
  if (!goOn) status = TExtractStatus::Cancelled;
  if (status != TExtractStatus::Ok) run.Engine.clear();
  const std::int64_t elapsed = TickMs() - started;
  Output() << "UnCompressTime: " << elapsed << " MS" << EndLine << EndLine;
  if (details) {
    details->Status = status;
    details->Reason = run.Reason;
    details->Volume = volume;
    details->Elapsed = elapsed;
    details->BytesWritten = run.BytesWritten;
    details->FilesWritten = run.FilesWritten;
  }
  ShowProgressNow();  // the last file's step is in view before the engine starts
  YieldWait(0, 500);
  return run.Engine;
}

std::string ExtractErrorDetails(const std::string& target, std::uint64_t dataSize) {
  return LastErrorText() + "<P>" + "  Data Size: <T>" + std::to_string(dataSize) + " Bytes<P>" +
         "  File Size:  <T>" + std::to_string(FileSizeByName(target)) + " Bytes<P>" + "  Bytes Free: <T>" +
         std::to_string(static_cast<std::int64_t>(DiskFree(target))) + " Bytes";
}

std::string ExtractErrorDetails(const std::string& target, const std::string& data) {
  return ExtractErrorDetails(target, static_cast<std::uint64_t>(data.size()));
}

int ExtractWriteFailures() {
  return state.writeFailures;
}
void ResetExtractWriteFailures() {
  state.writeFailures = 0;
}
