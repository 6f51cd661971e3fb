#pragma once
// Reader of the package appended to an installation file (layout in PackFormat.h):
// the trailer, the header texts, the checksum and the token descrambling.
//
// Package files are untrusted. Every length and offset read from one is checked against
// the file before it is followed; a value that points outside is treated as "not there"
// (nothing more is read), never as an error. Nothing here throws.
//
// Files are read with the C library so the same code serves the stub, zpack and the
// native tests. Only OpenPackFile, DriveClusterSize and SpaceNeeded(path) need Windows
// (PackXWin.cpp).
#include <cstdint>
#include <cstdio>
#include <string>

#include "package/PackFormat.h"

using pack::PackTrailer;

// Owns a FILE* opened for binary reading (on Windows: OpenPackFile).
class PackFile {
public:
  explicit PackFile(const std::string& fileName);
  ~PackFile();
  PackFile(const PackFile&) = delete;
  PackFile& operator=(const PackFile&) = delete;
  explicit operator bool() const { return file_ != nullptr; }
  std::FILE* get() const { return file_; }

private:
  std::FILE* file_ = nullptr;
};

#ifdef _WIN32
// The file for reading through OpenForReading (system/Files.h): a held file through its
// handle, any other shared for reading and writing. Null when it cannot be opened.
// PackFile opens with it wherever PackXWin.cpp is linked (the stub, the tests), with the
// C library elsewhere (the Windows build of zpack).
std::FILE* OpenPackFile(const std::string& fileName);
extern std::FILE* (*PackFileOpener)(const std::string& fileName);
#endif

// 64-bit helpers over a FILE*. FileSize leaves the position unchanged; -1 on failure.
std::int64_t FileSize(std::FILE* file);
bool SeekTo(std::FILE* file, std::int64_t offset);
// Reads exactly size bytes at offset; false (and nothing promised in buffer) otherwise.
bool ReadAt(std::FILE* file, std::int64_t offset, void* buffer, std::size_t size);

// PackFlags tests on a record; HasNextVolume is bit 1.
inline bool HasPackFlag(const PackTrailer& trailer, std::uint8_t flag) { return (trailer.PackFlags & flag) != 0; }
inline bool HasNextVolume(const PackTrailer& trailer) { return HasPackFlag(trailer, pack::kFlagNextVolume); }

// "MZ" at offset 0 and "PE" at offset 256.
bool IsPEFile(std::FILE* file);
bool IsPEFile(const std::string& fileName);
// PackEnd from offsets 248 (high) and 252 (low); 0 when unreadable.
std::uint64_t ReadPackEndPos(std::FILE* file);
// PackEnd from bytes 248..255 of a file image in memory; 0 when the image is shorter.
std::uint64_t PackEndFromImage(const std::string& image);

// Where the package ends: PackEndPos when the file is a PE file and the value is set,
// else the physical size. -1 when the file cannot be measured.
std::int64_t PackEndOf(std::FILE* file);

// Fills the record from the trailer found before PackEnd (or the physical end). Fields
// not read stay as they were (callers zero the record first). A trailer length below 4,
// or one or a PackEnd pointing outside the file, reads nothing. A HeaderCount of 0 is
// read as 2. With a handle, the handle is left after the trailer's first 70 bytes.
void ReadTrailer(std::FILE* file, PackTrailer& trailer);
void ReadTrailer(const std::string& fileName, PackTrailer& trailer);

// Checksum of an installation file whose trailer is trailerSize bytes long: the 32-bit
// words up to 8 bytes before the trailer, plus 1234 per full 4096-byte block that more
// than 4 bytes of the range follow; from offset 512 when PackEndPos is set. Files above
// 50 MB (and files that cannot be opened) give 1234.
std::uint32_t PackCheckSum(const std::string& fileName, std::uint32_t trailerSize);
// The same over bytes in memory (the builder and tests).
std::uint32_t PackCheckSumOfImage(const std::string& image, std::uint32_t trailerSize);
// Whether an extraction accepts a volume with this computed sum.
inline bool CheckSumAccepted(std::uint32_t computed, std::uint32_t stored) {
  return computed == stored || computed == pack::kCheckSumOff || stored == pack::kCheckSumOff;
}

// Bytes per cluster of the root of the path's first three characters; 0 on failure.
// Windows only.
std::uint32_t DriveClusterSize(const std::string& path);

// Decodes a token as zpack writes it (ScrambleToken). A text that does not decode gives
// a random decimal number below 99999, so it never equals a real token.
std::string UnscrambleToken(const std::string& text);
// The decoding itself: false when the text does not decode.
bool TryUnscrambleToken(const std::string& text, std::string& token);
// The builder's side: the token as lower-case letters (48 for tokens of up to 19 bytes).
// Empty when the token is empty or longer than 200 bytes.
std::string ScrambleToken(const std::string& token);
// The builder's side again: the same seed gives the same ScrambleToken and MakeInformText
// texts afterwards, so that a vendor can rebuild and compare.
void SeedScrambling(std::uint32_t seed);

// Auto-inform text: unscrambled when it begins with "Scrambled=01"; the part up to the
// first "|" is dropped; then three "|"-terminated fields and the body. token is
// UnscrambleToken of the first field.
void SplitInformText(const std::string& text, std::string& token, std::string& body);
// An inform text belongs to the product of ownToken (not empty): its token equals ownToken,
// and it is text: a NUL byte anywhere in it (unscrambled) refuses it, since a program or
// library file can hold the separators and a token in its header and would pass otherwise.
bool InformTextCarriesToken(const std::string& text, const std::string& ownToken);
// The publisher's side: "Inform|" + ScrambleToken(token) + "|||" + body, passed through
// ScrambleText when scrambled. False (text empty) when the token cannot be written.
bool MakeInformText(const std::string& token, const std::string& body, bool scrambled, std::string& text);

// The largest setup file an agent or web stub downloads when its package names none: far
// above any real product's installation file, so that a record or a server's number alone
// cannot make the elevated stub fill the system drive.
constexpr std::uint64_t kDefaultLargestSetupFile = std::uint64_t(4) << 30;

// Package information of an installation file: the trailer and the header texts.
// Cheap to create (only the trailer and the header texts are read); never fails: a
// missing file gives a zeroed object, a file without a package empty texts.
class TGFileInfo {
public:
  explicit TGFileInfo(const std::string& fileName);

  // As read; after creation DataStart is the offset of the first data block.
  PackTrailer Trailer{};
  std::string LangTable;
  std::string StubInfo;
  std::string WebInfo;

  // Whether the magic number matched (the texts were read).
  bool HasPackage() const { return Trailer.PackMagic == pack::kPackMagic; }
  // The magic number matched and every header text lay inside the file. Only then do the
  // flag accessors below report the trailer's bytes: the end of a damaged or truncated
  // file is not taken for a package's flags (they all read false, SpaceNeeded 0).
  bool IsValidPackage() const { return HasPackage() && headersRead_; }

  // Bytes needed on the drive of path (Windows: DriveClusterSize) ...
  double SpaceNeeded(const std::string& path) const;
  // ... and for a given cluster size (0 = unknown: element 0).
  double SpaceNeededForCluster(std::uint32_t clusterBytes) const;

  bool ShowTempNote() const { return Flag(pack::kFlagShowTempNote); }
  std::uint8_t IsWebInstall() const { return Byte(Trailer.IsWebInstall); }
  std::uint8_t AskBeforeDownload() const { return Byte(Trailer.AskBeforeDownload); }
  std::uint8_t MakeAgent() const { return Byte(Trailer.MakeAgent); }
  std::uint8_t ThisIsAgent() const { return Byte(Trailer.ThisIsAgent); }
  bool SpanCdLauncher() const { return Flag(pack::kFlagSpanCdLauncher); }
  bool ShowActivityBar() const { return Flag(pack::kFlagActivityBar); }
  bool AgentLogWanted() const { return Flag(pack::kFlagAgentLog); }

  // WebInfo items 0..4.
  std::string WebUrl() const;
  std::string WebFileName() const;
  bool WebNoLocal() const;
  std::string WebToken(bool unscramble) const;
  std::string WebSize() const;

  // StubInfo items.
  std::string UpdateUrl() const;                    // item 0
  std::string InfoFileName() const;                 // file-name part of item 1
  std::string OriginalFileName() const;             // item 1's name up to its first "." + ".original"
  std::string AgentExeName() const;                 // item 2
  std::string StubToken(bool unscramble) const;     // item 3
  bool HiddenByDefault() const;                     // item 4 == "1"
  // Item 5 (optional): the largest setup file the agent or web stub downloads, in bytes
  // (digits only, above 0); kDefaultLargestSetupFile when absent or not such a number.
  std::uint64_t LargestSetupFile() const;

  // WebToken(true) of both objects are equal.
  bool SameWebToken(const TGFileInfo& other) const;

  // Language strings (ui/LangStrings.h): the value of key in the process's language
  // entry, chosen from this LangTable on the first lookup of the process; def when absent.
  std::string GetLangString(const std::string& key, const std::string& def) const;
  int GetLangCharset() const;         // "Charset", 0 when absent or not a number
  int GetLangFontSize() const;        // "FontSize" in points, 8 when absent or not a number
  std::string GetLangFontName() const;  // "FontName", "Tahoma" when absent

private:
  bool Flag(std::uint8_t flag) const { return IsValidPackage() && HasPackFlag(Trailer, flag); }
  std::uint8_t Byte(std::uint8_t value) const { return IsValidPackage() ? value : 0; }
  bool headersRead_ = false;
};
