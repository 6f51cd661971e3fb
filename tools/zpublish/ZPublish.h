#pragma once
// zpublish: the vendor's side of updates and news. Writes the ".info" record of a release
// from the built setup file, checks the release with the agent's own rules before it goes
// out, and shows what an agent holding one machine's records would decide about it.
// docs/publishing.md describes the tool.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zpublish {

// An ini text read the way the agent's records are read: sections and keys without regard
// to case, the first occurrence wins, blanks around names and values dropped.
class Ini {
 public:
  explicit Ini(const std::string& text = "");
  std::string Get(const std::string& section, const std::string& key, const std::string& def = "") const;

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<Entry> entries_;
};

struct Release {
  std::string setup;    // the built setup file (an update release)
  std::string output;   // the ".info" record to write
  std::string product;  // ProgramName
  std::string version;  // VersionNew
  std::string stamp;    // Stamp (default: the version)
  std::string url;      // DownloadURL_UPDATE: where the setup file or the news text lies
  std::string validVersions;
  std::string runningProcess, shutDown;
  bool restartProcess = false, confirmDownload = false, confirmDownloadForce = false;
  bool confirmInstall = false, confirmInstallForce = false, background = false, informFinish = false;
  bool removeStartUpShortcut = false, removeCheckShortcut = false;
  // News instead of an update: the inform text written beside the record.
  std::string informBody, informName;
  std::string informUrl;  // DownloadURL_INFORM: the address the news window offers
  bool scrambled = false;
  std::string informWidth, informHeight;
  // What the check compares with: the file carrying the product's token (a previous setup
  // file or an installed agent), the installed agent (its signer and file names) and one
  // machine's product record (its folders, and the dry run).
  std::string tokenFrom, agent, original;
  bool fetch = false;  // also download the published file from its address
  bool agentChange = false;  // a changed update address, record or agent name is meant
  bool News() const { return !informName.empty(); }
};

// One "key = value" setting, from the description file or an option.
bool ApplySetting(Release& release, const std::string& key, const std::string& value, std::string& error,
                  const std::string& baseDir = "");
bool ParseDescription(const std::string& text, Release& release, std::string& error,
                      const std::string& baseDir = "");

// The ".info" record (CRLF lines) for a release whose published file has fileSize bytes.
std::string InfoText(const Release& release, std::int64_t fileSize);

// The files and records a check looks at.
struct CheckFiles {
  std::string published;  // the setup file or the inform text, as it will be served
  std::string tokenFrom, agent;
  std::string originalText;  // the machine's product record; empty: the default folders
  bool fetch = false;
  bool agentChange = false;  // differences in the agent settings are notes, not faults
  std::vector<std::string>* notes = nullptr;
};

// Every way the agent would refuse or miss the release, one line each naming the key and
// what the agent would do; empty when the release is sound.
std::vector<std::string> CheckRelease(const Ini& info, const CheckFiles& files);

// A GET of an http:// or https:// address (libcurl), following redirects, with a time
// limit: false with error when there is no answer or the body exceeds maxBody bytes.
bool HttpGet(const std::string& url, int& status, std::int64_t& contentLength, std::string& body,
             std::string& error, std::uint64_t maxBody = 1u << 20);

// What an agent holding these records decides about the ".info" record, stage by stage.
struct DryRunResult {
  int stage = 0;  // DecisionStage: 6 takes the release
  std::vector<std::string> lines;
};
// now: record seconds (agent/SetupRecordsLogic.h); publishedSize: the size the agent would
// find for the published file (-1 unknown).
DryRunResult DryRun(const Ini& info, const Ini& original, std::int64_t now, bool manualCheck,
                    std::int64_t publishedSize);

// The command line: 0 the release is sound (and written), 1 it is not or a file failed,
// 2 usage.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zpublish
