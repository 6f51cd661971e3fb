#include "agent/InfoFetch.h"

#include <windows.h>

#include "agent/AgentStateLogic.h"
#include "agent/DecisionLogic.h"
#include "agent/SetupRecords.h"
#include "agent/UpdateRunLogic.h"
#include "driver/StubGlob.h"
#include "internet/CommUtils.h"
#include "internet/InetHTTP.h"
#include "internet/InetHTTPLogic.h"
#include "internet/ZProgBar.h"
#include "package/PackX.h"
#include "system/ProcessViewer.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr int kNetPauseMs = 500;

std::uint64_t LargestSetupFile() {
  return OwnFileInfo ? OwnFileInfo->LargestSetupFile() : kDefaultLargestSetupFile;
}

const char* StatusTextId(DownloadKind kind) {
  switch (kind) {
    case DownloadKind::Info: return "s31";
    case DownloadKind::Update: return "s32";
    default: return "s33";
  }
}

// A record from a folder is read only when it is no larger than a fetch may be: the same
// cap as over HTTP, so neither source can make the agent hold more.
bool ReadInfoFromFolder(const std::string& source, std::string& content, std::string& error) {
  const std::int64_t size = FileSizeByName(source);
  if (size > static_cast<std::int64_t>(kMemoryDownloadCap)) {
    error = "The file " + source + " is larger than " + std::to_string(kMemoryDownloadCap) + " bytes";
    return false;
  }
  content = ReadFilePart(source);
  return true;
}

// Plays the progress of a copy from a folder: ten steps of 300 ms.
void PlayCopyProgress() {
  ProgressCallback(0, 0, 10, 0, 1, "");
  for (int i = 0; i < 10; ++i) {
    ProgressCallback(1, 0, 0, 0, 0, "");
    YieldWait(0, 300);
  }
  ProgressCallback(0, 0, 0, 0, 0, "");
}

// A copy from a folder base is written anew beside the agent; false when nothing (or an
// empty file) was copied.
bool CopyFromFolder(const std::string& source, const std::string& localFile, std::string& error) {
  if (FileSizeByName(source) <= 0) return false;
  ClearReadOnly(localFile);
  if (!CopyFileA(source.c_str(), localFile.c_str(), FALSE)) {
    error = "Unable to copy " + source + " to " + localFile + " (" + LastErrorText() + ")";
    DeleteFileA(localFile.c_str());  // a copy cut short is no file to keep under its name
    return false;
  }
  ClearReadOnly(localFile);
  return true;
}

void ShowMainWindow(bool show) {
  ShowView(show);
}

bool FinishInfo(const std::string& source, std::string& content, std::string& error) {
  if (error.empty() && !content.empty()) CheckErrorPage("", content, source, "", error);
  const bool ok = error.empty() && !content.empty();
  // The copy shows what the last fetch brought, even nothing.
  WriteTextFile(InfoPath(), content);
  if (!error.empty() && error[0] == '3') error.clear();
  return ok;
}

void ShowRefusal(const std::string& message) {
  AgentLog("ERROR: " + message);
  MsgError(MsgOwnerTitle(), message, MsgBoxError(), MsgBoxBtnText(), MsgBoxCharSet());
}

// A file that arrived is kept only when it carries the agent's token (and signature).
bool AcceptDownload(const std::string& source, const std::string& localFile, DownloadKind kind) {
  if (CheckDownloadToken(localFile, kind)) return true;
  std::string message;
  CheckErrorPage(localFile, "", source, "Bad Secret Token!", message);
  DeleteFileA(localFile.c_str());
  ShowRefusal(message);
  return false;
}

// The news text is kept beside the agent only in place of nothing or of an earlier news
// text of the product: never over a file someone else put at the name (a link, a folder,
// a read-only or any other file).
bool MayKeepNewsAt(const std::string& besidePath, std::string& why) {
  const DWORD present = GetFileAttributesA(besidePath.c_str());
  if (present == INVALID_FILE_ATTRIBUTES) return true;
  if (!(present & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) &&
      CheckDownloadToken(besidePath, DownloadKind::Inform))
    return true;
  why = besidePath + " is there and is no earlier news text of this product";
  return false;
}

}  // namespace

std::string LocalDownloadPath(const std::string& publishedName, DownloadKind kind, std::string* reason) {
  const std::string folder = ExeFolder(true);
  std::vector<std::string> own = {
      ExtractFileName(ExeFileName()),
      OwnFileInfo ? OwnFileInfo->AgentExeName() : std::string(),
      OwnFileInfo ? "X_" + OwnFileInfo->AgentExeName() : std::string(),
      ExtractFileName(OriginalPath()),
      ExtractFileName(InfoPath()),
      ExtractFileName(AgentLogFileName()),
  };
  // The system also finds these files by their 8.3 names ("PADAGE~1.EXE").
  const std::size_t longNames = own.size();
  for (std::size_t i = 0; i < longNames; ++i)
    if (!own[i].empty()) own.push_back(ExtractFileName(ShortPathOf(folder + own[i])));
  const auto localName = [&](const std::string& published) {
    return kind == DownloadKind::Inform ? LocalInformName(published, own, reason)
                                        : LocalCopyName(published, own, reason);
  };
  std::string name = localName(publishedName);
  if (name.empty()) return "";
  // A name that reaches an existing file is judged by that file's own long name too.
  char longPath[MAX_PATH + 1];
  const DWORD n = GetLongPathNameA((folder + name).c_str(), longPath, sizeof(longPath));
  if (n > 0 && n < sizeof(longPath) && localName(ExtractFileName(longPath)).empty()) return "";
  return folder + name;
}

std::string DownloadPath(const std::string& publishedName, DownloadKind kind, std::string* reason) {
  const std::string beside = LocalDownloadPath(publishedName, kind, reason);
  if (beside.empty() || !ProcessIsElevated()) return beside;
  const std::string folder = MakeProtectedSetupFolder(ProtectedTempBase());
  if (folder.empty()) {
    if (reason) *reason = "no folder of the agent's own could be made (" + LastErrorText() + ")";
    return "";
  }
  return folder + "\\" + ExtractFileName(beside);
}

bool IsBesideAgent(const std::string& localFile) {
  return SameText(ExtractFilePath(localFile), ExeFolder(true));
}

bool KeepBesideAgent(const std::string& besidePath, const std::string& text) {
  // Written under a new name of our own, then renamed over the name: a rename replaces
  // what lies there (a link as the link) and never writes through it.
  // A read-only file or a folder at the name is left as it is (and the text not kept).
  const DWORD present = GetFileAttributesA(besidePath.c_str());
  if (present != INVALID_FILE_ATTRIBUTES && (present & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  const std::string temporary = besidePath + "." + RandomRangeText(100000000, 999999999) + ".new";
  {
    UniqueHandle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      file.reset();
      DeleteFileA(temporary.c_str());
      return false;
    }
  }
  if (MoveFileExA(temporary.c_str(), besidePath.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(temporary.c_str());
  return false;
}

void DropDownload(const std::string& localFile) {
  if (localFile.empty()) return;
  DeleteFileA(localFile.c_str());
  if (!IsBesideAgent(localFile)) DeleteTree(ExtractFileDir(localFile), true);  // lets go of the held folder
}

bool DownloadFileAU(const std::string& baseIn, const std::string& fileNameIn, DownloadKind kind,
                    std::string& error, std::string* localFileOut) {
  error.clear();
  if (localFileOut) localFileOut->clear();
  const bool info = kind == DownloadKind::Info;
  std::string content;
  const std::string fileName = ExtractFileName(fileNameIn);
  const std::string base = Agent.TestMode ? Agent.TestModeURL : baseIn;

  std::string source = base + "\\" + fileName;
  Output() << TracePid() << " DownloadFileAU: " << source << EndLine;
  AgentLog("TestMode=" + BoolToText(Agent.TestMode));
  AgentLog("Download START: " + source);

  std::string localFile;
  if (!info) {
    std::string reason;
    localFile = DownloadPath(fileNameIn, kind, &reason);
    if (!localFile.empty() && kind == DownloadKind::Inform &&
        !MayKeepNewsAt(LocalDownloadPath(fileNameIn, kind), reason))
      localFile.clear();
    if (localFile.empty()) {
      error = "The file name \"" + fileNameIn + "\" is refused: " + reason;
      Output() << TracePid() << " DownloadFileAU() --- " << error << EndLine;
    } else {
      Output() << TracePid() << " DownloadFileAU: into " << localFile << EndLine;
    }
  }
  const bool showProgress = kind == DownloadKind::Update && RequestConfirmationBeforeDownload() &&
                            Agent.ManualCheck != kManualCheckRunning;
  if (showProgress) ShowMainWindow(true);
  SetViewStatus(AgentText(StatusTextId(kind)), MsgBoxFontName(), MsgBoxCharSet(), MsgBoxFontSize());

  bool fetched = false;
  const bool folderAllowed = FolderLookupAllowed(kind, Agent.TestMode, Agent.InfoFromFolder);
  if (info) Agent.InfoFromFolder = false;
  if (!error.empty()) {
    // refused name: nothing is fetched
  } else if (folderAllowed && FileExists(source)) {
    if (info) Agent.InfoFromFolder = true;
    if (info) {
      fetched = ReadInfoFromFolder(source, content, error);
    } else if (CopyFromFolder(source, localFile, error)) {
      fetched = true;
      if (showProgress) PlayCopyProgress();
    }
  } else if (!Agent.TestMode && HTTP_CheckConnection()) {
    YieldWait(0, kNetPauseMs);
    source = base + "/" + fileName;
    SetDownloadAborted(false);
    HWND window = Agent.ManualCheck == kManualCheckRunning ? View().window : nullptr;
    // INFO into memory (the client stops at kMemoryDownloadCap bytes with an error);
    // UPDATE and INFORM into their file, which appears only once it arrived whole.
    fetched = HTTP_DownloadFile_Incremental(window, source, localFile,
                                            FetchLimit(kind, SizeOfUpdateFile(), LargestSetupFile()), content,
                                            &EnsureProgBar(), error);
    if (!fetched && error.empty() && !info) error = "The transfer of " + source + " did not complete";

    YieldWait(0, kNetPauseMs);
  }
  if (showProgress) ShowMainWindow(false);
  AgentLog("Download END:   " + source);

  if (info) return FinishInfo(source, content, error);
  // An error page instead of the file (the client never writes it) is refused as a file
  // of another build is.
  if (IsErrorPageText(error)) {
    ShowRefusal(error);
    error.clear();
    return false;
  }
  if (error.empty()) {
    // Nothing found in the folder nor over HTTP: no file to check, nothing to refuse.
    if (!fetched) {
      error = "Nothing was fetched from " + source;
    } else if (AcceptDownload(source, localFile, kind)) {
      if (localFileOut) *localFileOut = localFile;
      return true;
    }
  }
  // A folder made for this download goes with it.
  if (!localFile.empty() && !IsBesideAgent(localFile)) DeleteTree(ExtractFileDir(localFile), true);
  if (!error.empty()) {
    Output() << TracePid() << " DownloadFileAU() --- " << error << EndLine;
    if (RequestConfirmationBeforeDownload()) {
      const std::string message =
          FetchFailureMessage(DownloadAborted(), source, AgentText("s3"), AgentText("s4"), AgentText("s5"));
      if (!message.empty()) {
        AgentLog("ATTENTION: " + message);
        MsgAttention(MsgOwnerTitle(), message, MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet());
      }
    }
  }
  return false;
}
