#pragma once
// zpack: builds installation files (a stub executable with a package appended) and lists
// them. The layout is package/PackFormat.h; docs/zpack.md describes the tool.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zpack {

// One file to pack. path is the path under the extraction folder (backslashes).
struct Input {
  std::string source;
  std::string path;
  bool engine = false;
  std::string engineArgs;
};

struct Options {
  std::string stub;
  std::string output;
  std::string token;          // empty: a random one
  std::string tokenFrom;      // an earlier package whose token this one carries
  int codePage = 1252;        // package paths outside ASCII are stored in it; 0: refused
  std::int64_t seed = -1;     // the random numbers' seed (token scrambling); -1: random
  std::int64_t sourceDateEpoch = -1;  // files' dates are capped to this Unix time; -1: none
  std::string updateUrl;
  std::string infoName = ".info";
  std::string agentName = ".exe";
  bool hidden = false;
  std::uint64_t largestSetup = 0;  // largest setup file the agent or web stub takes; 0: the stub's default
  std::vector<std::string> languages;  // entries, each a self-delimited list
  std::string languageFile;            // a whole language table instead
  bool showTempNote = false, activityBar = false, agentLog = false, spanCd = false;
  bool makeAgent = false, thisIsAgent = false;
  bool webInstall = false, askBeforeDownload = false, webNoLocal = false;
  std::string webUrl, webFile, webToken, webSize, webSetup;
  // With a setup build: also write this web-install stub for the setup file (web-url,
  // ask-before-download and web-no-local go to the stub; a missing web-token is made up).
  std::string webStub;
  bool compress = true;
  int level = 9;
  std::uint64_t volumeSize = 0;                       // 0: one file
  std::uint64_t blockSize = 5242880;                  // content bytes per block
  std::uint64_t spaceNeeded = 0;                      // SpaceNeeded of every slot; 0: computed
  bool checksum = true;
  enum class PackEnd { Auto, On, Off } packEnd = PackEnd::Auto;
  std::int64_t fixedDate = -1;                        // DOS date-time for every file; -1: each file's own
  std::vector<Input> inputs;
  // Folders to add recursively, as (source folder, path prefix); expanded by Build.
  std::vector<std::pair<std::string, std::string>> folders;
};

// Applies one "key = value" setting (the description file and --key=value alike).
bool ApplySetting(Options& options, const std::string& key, const std::string& value, std::string& error,
                  const std::string& baseDir = "");
// Keys that add to a list (file, dir, language); any other key may be set once.
bool IsRepeatableKey(const std::string& key);
// The text without a UTF-8 byte-order mark at its start (editors on Windows write one).
std::string WithoutByteOrderMark(const std::string& text);
// Reads a description: one "key = value" per line, "#" comments, blank lines. Keys are
// taken without regard to case; a key other than file, dir and language given twice is
// an error. Relative paths in it are taken from baseDir (the description file's folder).
bool ParseDescription(const std::string& text, Options& options, std::string& error,
                      const std::string& baseDir = "");

// Writes the installation file (and its volumes, and its web stub). Nothing is left behind
// on failure, and no earlier file of the same name is touched. written receives the files
// made, in order; removed the volumes of an earlier build this one no longer has.
bool Build(const Options& options, std::vector<std::string>& written, std::string& error,
           std::vector<std::string>* removed = nullptr);

// One data block of a package as read back.
struct Block {
  int volume = 1;
  bool compressed = false;
  std::int64_t stored = 0;     // bytes in the file
  std::string namePart;
  std::string content;
};

// Walks every volume of a package from its first file: header texts are skipped, every
// data block is inflated. Checks each volume's checksum. False with a reason on damage.
bool ReadBlocks(const std::string& firstVolume, std::vector<Block>& blocks, std::string& error);

// Volume j (>= 2) of a package whose first file is firstVolume (".001" is dropped).
std::string VolumeName(const std::string& firstVolume, int j);

// What kind of Windows program the stub of an installation file is, from its headers:
// "PE32 (i686)" for the 32-bit stub, "PE32+ (x86_64)" for the 64-bit one, else a short
// description of what was found. zpack takes either stub alike.
std::string StubKind(const std::string& bytes);

// DOS date-time (local time) of a Unix time; dates before 1980 give 1 January 1980.
std::int32_t DosDateTime(std::int64_t unixTime);

// text as a JSON string, quotes included (bytes above 127 pass as they are).
std::string JsonText(const std::string& text);

// The tools' own release (zpack --version, zpublish --version).
constexpr const char kToolsVersion[] = "1.1";

// The command line: returns the exit code (0 ok, 1 failure, 2 usage).
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zpack
