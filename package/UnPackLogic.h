#pragma once
// The parts of the extraction that need no OS: block bounds, the split of a block's
// payload into its name part and content, the name part itself, the check that a path
// from a package stays inside the destination folder, and the volume file names.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/PackFormat.h"

// Length of a block whose 4-byte length field n starts at position, in a volume whose
// blocks must end before blocksEnd (PackEnd - trailer). -1 when the block does not fit
// (also for n = INT32_MIN). compressed is n > 0.
std::int64_t BlockLength(std::int32_t n, std::int64_t position, std::int64_t blocksEnd, bool& compressed);

// A block's name part "|path|date|" read: the path (without "*" and what follows), the
// engine entry (the item that carried "*", empty when none) and the DOS date (0 when not
// a number). False when the name part has no path.
struct TBlockName {
  std::string Path;
  std::string Engine;
  std::uint32_t Date = 0;
};
bool ParseNamePart(const std::string& namePart, TBlockName& name);

// Whether text holds a control character (below 32).
bool HasControlCharacter(const std::string& text);

// Whether a block's name part has the shape every builder writes: printable text closed by
// its separator ("|path|date|"). A 0x00 moved by damage lets the name run into the content
// (control characters); a damaged separator or end leaves it unclosed, and the engine's
// name and arguments would be read from the wrong places. reason receives why not.
bool IsWellFormedNamePart(const std::string& namePart, std::string* reason = nullptr);

// Whether a path from a package is a plain relative path that stays below the folder it
// is written to: not empty, no leading separator, no drive or stream (":"), no ".."
// component (nor one that Windows would shorten to ".." or nothing: "...", ". "), no
// device name (CON, NUL, COM1, LPT1 ... with or without extension), no control or
// wildcard characters. reason receives why not; deviceName (optional) is set when the
// only fault is a device name, which cannot be written but leads nowhere else.
bool IsSafePackagePath(const std::string& path, std::string* reason = nullptr, bool* deviceName = nullptr);

// Whether a web stub's setup file name may be fetched and looked for: a path that
// IsSafePackagePath accepts (below the web folder and beside the stub; no wildcard, "..",
// device name, control character, drive or stream) whose last part names a file. The
// download is saved under that last part in the temporary folder.
bool IsSafeWebFileName(const std::string& name, std::string* reason = nullptr);

// Splits a payload delivered in pieces at its first 0x00: the name part before it is
// kept (up to MaxNamePart bytes), everything after it goes to the content sink. Without a
// 0x00 (of any length) the name part is empty and nothing reaches the sink.
class TPayloadSplitter {
public:
  static constexpr std::size_t MaxNamePart = 65536;
  // Called once when the 0x00 is found (return false to drop the content), then with
  // every piece of content (return false to stop).
  using NameSink = bool (*)(void* context, const std::string& namePart);
  using ContentSink = bool (*)(void* context, const char* data, std::size_t size);

  TPayloadSplitter(NameSink onName, ContentSink onContent, void* context);
  // False when a sink asked to stop, or when a 0x00 turned up after a name part longer
  // than MaxNamePart (only its first MaxNamePart bytes are kept; NameTooLong then).
  bool Feed(const char* data, std::size_t size);
  bool NameFound() const { return found_; }
  // The name part ran past MaxNamePart before its 0x00.
  bool NameTooLong() const { return tooLong_; }
  std::uint64_t ContentSize() const { return contentSize_; }

private:
  NameSink onName_;
  ContentSink onContent_;
  void* context_;
  std::string name_;
  bool found_ = false;
  bool tooLong_ = false;
  bool dropContent_ = false;
  std::uint64_t contentSize_ = 0;
};

// packageFile without a trailing ".001".
std::string VolumeBaseName(const std::string& packageFile);
// Volume j (>= 2): base + "." + j with at least three digits; volume 1 is packageFile.
std::string VolumeFileName(const std::string& packageFile, int volume);
// Whether an agent copy may be made from this package file: its name ends in ".exe" or
// ".exe.001" (any case).
bool AgentSourceName(const std::string& packageFile);
