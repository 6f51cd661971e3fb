#pragma once
// Extraction of a package into a folder: checksum per volume, the data blocks inflated
// and written (or appended) with their dates, further volumes asked for, the agent copy
// written when asked for. Package bytes are untrusted: a block that runs past its volume,
// a damaged zlib stream or a path that would leave the destination folder ends the run
// as a damaged package (check result false, empty engine entry; see ExtractPackage).
#include <windows.h>

#include <cstdint>
#include <string>

#include "internet/ZProgBar.h"
#include "package/UnPackLogic.h"

// Why an extraction ended without an engine entry (ExtractPackage's details).
enum class TExtractStatus {
  Ok,           // every volume read; the engine entry may still be empty (no "*" file)
  Missing,      // the first volume does not exist (reported like a bad checksum)
  BadCheckSum,  // a volume's checksum was refused
  Damaged,      // a block is cut off, a zlib stream is damaged or a path is unsafe
  Cancelled,    // the user cancelled a volume prompt
};

struct TExtractDetails {
  TExtractStatus Status = TExtractStatus::Ok;
  std::string Reason;        // trace text for Damaged; empty otherwise
  int Volume = 0;            // volume number the run ended in (1 = first)
  std::int64_t Elapsed = 0;  // ms spent, as traced in "UnCompressTime: "
  std::uint64_t BytesWritten = 0;
  std::uint32_t FilesWritten = 0;  // new files created
};

// What an extraction needs besides the package and the folder. It refers to the caller's
// texts, which must outlive the call.
struct TExtractOptions {
  const std::string& AgentFileName;  // empty: no agent copy
  bool ForcePrompt;                  // ask for every further volume, even one already there
  // The volume prompt: character set, buttons, caption and text ("<DISK_NUM>" becomes the
  // volume number).
  int Charset;
  const std::string& ButtonList;
  const std::string& PromptCaption;
  const std::string& PromptText;
  TProgDriver Progress;  // kind 0 set range, kind 1 step; may be null
  // Asks for a further volume with the prompt's text (true = OK, go on); null: the
  // message box of the prompt above.
  bool (*VolumePrompt)(void* context, int volume, const std::string& text) = nullptr;
  void* PromptContext = nullptr;
};

// Extracts packageFile (the first volume) into destFolder and returns the engine entry
// (the path item that carried "*", with its arguments); empty when nothing was extracted,
// no file carried "*", a volume prompt was cancelled or the package was refused.
// checkResult is true when every volume read was accepted: false for a bad checksum, a
// missing first volume and a damaged package, so the caller shows its "Bad CRC!" error,
// starts no engine and removes destFolder. details (optional) says which it was.
// agentFileName: empty for no agent copy; forcePrompt: ask for every further volume;
// charset, buttonList, promptCaption, promptText: the volume prompt ("<DISK_NUM>" in
// promptText becomes the volume number); progress: kind 0 set range, kind 1 step.
std::string ExtractPackage(const std::string& packageFile, const std::string& destFolder,
                           const std::string& agentFileName, bool forcePrompt, int charset,
                           const std::string& buttonList, const std::string& promptCaption,
                           const std::string& promptText, TProgDriver progress, bool& checkResult,
                           TExtractDetails* details = nullptr);
// The same with its options in one place.
std::string ExtractPackage(const std::string& packageFile, const std::string& destFolder,
                           const TExtractOptions& options, bool& checkResult,
                           TExtractDetails* details = nullptr);

// Reads size bytes in pieces of at most 65,536, pumping messages after each; the bytes
// actually read (less only when a read fails or the file ends).
DWORD ReadBlock(HANDLE file, void* buffer, DWORD size);

// Markup for the save-error message: last error text, data size, file size on disk and
// free bytes of the target's drive.
std::string ExtractErrorDetails(const std::string& target, const std::string& data);
std::string ExtractErrorDetails(const std::string& target, std::uint64_t dataSize);
