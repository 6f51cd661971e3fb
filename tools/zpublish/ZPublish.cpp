#include "tools/zpublish/ZPublish.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "agent/DecisionLogic.h"
#include "agent/DownloadToken.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"
#include "agent/UpdateRunLogic.h"
#include "package/SignerRuleLogic.h"
#include "driver/StubLogic.h"
#include "folders/VariablesLogic.h"
#include "package/PackX.h"
#include "system/Utils.h"
#include "tools/zpack/ZPack.h"

namespace zpublish {

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: zpublish [OPTIONS] [DESCRIPTION]      write a release's .info record (and news text), checked\n"
    "       zpublish --check INFO|URL [OPTIONS]   check a published .info record (a file or its address)\n"
    "       zpublish --dry-run INFO --original FILE [--setup FILE] [--now SECONDS] [--manual]\n"
    "                                             what an agent with these records decides\n"
    "Settings (key = value in DESCRIPTION, or --key=value / --key value; keys in any case):\n"
    "  setup FILE             the built setup file (an update)\n"
    "  output FILE, -o FILE   the .info record to write (its folder is made as needed)\n"
    "  product NAME           ProgramName\n"
    "  version-new N          VersionNew, a whole number (2.0 is 200); \"version\" in a description\n"
    "  stamp N                Stamp (default: version-new)\n"
    "  url URL                DownloadURL_UPDATE: the folder address the file is fetched from\n"
    "  valid-versions LIST    ValidVersions: installed versions that may take it, e.g. 100,110\n"
    "  running-process P, shut-down METHOD, restart-process\n"
    "  confirm-download, confirm-download-force, confirm-install, confirm-install-force,\n"
    "  background, inform-finish, remove-startup-shortcut, remove-check-shortcut   flags\n"
    "  inform-name NAME       news instead of an update: the text's file name\n"
    "  inform-body TEXT, inform-body-file FILE, scrambled, inform-width N, inform-height N\n"
    "  inform-url URL         DownloadURL_INFORM: the address the news window's button opens\n"
    "  token-from FILE        the previous setup file or the installed agent: the token and\n"
    "                         the agent settings the release must keep\n"
    "  agent-change           a changed update address, record or agent name is meant\n"
    "  agent FILE             the installed agent (its signer and file names)\n"
    "  original FILE          one machine's product record (its folders; the dry run)\n"
    "  fetch                  also download the published file from its address\n"
    "  --json                 with --check and --dry-run: one JSON object on standard output\n"
    "  --version, --help\n"
    "Exit status: 0 the release is sound, 1 it is not (one line per fault), 2 usage.\n"
    "See docs/publishing.md.\n";

const std::set<std::string> kFlagKeys = {"restart-process",
                                         "confirm-download",
                                         "confirm-download-force",
                                         "confirm-install",
                                         "confirm-install-force",
                                         "background",
                                         "inform-finish",
                                         "remove-startup-shortcut",
                                         "remove-check-shortcut",
                                         "scrambled",
                                         "fetch",
                                         "agent-change",
                                         "manual"};

std::string ToLower(std::string text) {
  for (char& ch : text) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

bool ParseFlag(const std::string& value, bool& result) {
  std::string v = Trim(value);
  for (char& ch : v) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  if (v == "1" || v == "yes" || v == "true" || v == "on") return result = true, true;
  if (v == "0" || v == "no" || v == "false" || v == "off") return result = false, true;
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

std::int64_t SizeOfFile(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string TokenOf(const std::string& file) {
  std::string token;
  TGFileInfo info(file);
  if (!info.IsValidPackage() || !TryUnscrambleToken(info.StubToken(false), token)) return "";
  return token;
}

std::string StripTrailingBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// The folders a machine's record gives the agent for RunningProcess, and the expansion of
// the name, as the agent makes them (ProgramToStop, RunningProcessFolders). Without a
// record, the product's default folder under Program Files.
struct MachineFolders {
  VariableValues values;
  std::vector<std::string> folders;
};

MachineFolders FoldersOf(const Ini& original, const std::string& product) {
  MachineFolders m;
  VariableValues& v = m.values;
  v.programFilesFolder = "C:\\Program Files";
  v.commonFilesFolder = "C:\\Program Files\\Common Files";
  v.windowsFolder = "C:\\Windows";
  v.systemFolder = "C:\\Windows\\System32";
  v.fullPath = [](const std::string& path) { return path; };
  std::string target = original.Get(records::kDirectories, "TargetDir");
  if (target.empty()) target = "C:\\Program Files\\" + product;
  const std::string shared = original.Get(records::kDirectories, "SharedDir");
  const std::string auxiliary = original.Get(records::kDirectories, "AuxiliaryDir");
  v.installFolder = StripTrailingBackslash(ExpandVariablesWith(target, "\\", true, true, v));
  v.commonFolder = StripTrailingBackslash(ExpandVariablesWith(shared, "\\", true, true, v));
  v.auxiliaryFolder = StripTrailingBackslash(ExpandVariablesWith(auxiliary, "\\", true, true, v));
  for (const std::string& folder : {v.installFolder, v.commonFolder, v.auxiliaryFolder})
    if (!folder.empty()) m.folders.push_back(folder);
  // The agent lives in the product's folder.
  m.folders.push_back(v.installFolder);
  return m;
}

// The agent's own files, which a download may never replace (LocalDownloadPath).
std::vector<std::string> AgentOwnFiles(const std::string& agentFile) {
  TGFileInfo agent(agentFile);
  if (!agent.IsValidPackage()) return {};
  const std::string name = agent.AgentExeName();
  return {name,
          "X_" + name,
          agent.OriginalFileName(),
          agent.InfoFileName(),
          AgentLogFileNameFor(name),
          AgentLogFileNameFor("X_" + name)};
}

// The name goes into the address percent-encoded: a blank sent as it is makes the server
// answer 400.
std::string UrlJoin(const std::string& base, const std::string& name) {
  std::string url = base;
  while (!url.empty() && (url.back() == '/' || url.back() == '\\')) url.pop_back();
  static const char hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char ch : name) {
    if (std::isalnum(ch) || ch == '-' || ch == '_' || ch == '.' || ch == '~') {
      encoded += char(ch);
    } else {
      encoded += '%';
      encoded += hex[ch >> 4];
      encoded += hex[ch & 15];
    }
  }
  return url + "/" + encoded;
}

bool IsWebAddress(const std::string& text) {
  return text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

}  // namespace

// ---- Ini ----

Ini::Ini(const std::string& text) {
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (trimmed[0] == '[') {
      const std::size_t close = trimmed.find(']');
      section = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos) continue;
    entries_.push_back({section, Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))});
  }
}

std::string Ini::Get(const std::string& section, const std::string& key, const std::string& def) const {
  for (const Entry& e : entries_)
    if (SameText(e.section, section) && SameText(e.key, key)) return e.value;
  return def;
}

// ---- Settings ----

bool ApplySetting(Release& r, const std::string& keyIn, const std::string& valueIn, std::string& error,
                  const std::string& baseDir) {
  std::string key = Trim(keyIn);
  for (char& ch : key) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  const std::string value = Trim(valueIn);
  auto path = [&](std::string& target) {
    target = baseDir.empty() || value.empty() || fs::path(value).is_absolute()
                 ? value
                 : (fs::path(baseDir) / value).string();
    return true;
  };
  auto flag = [&](bool& target) {
    if (ParseFlag(value, target)) return true;
    error = key + ": expected 1/0, yes/no, true/false or on/off, not " + Quoted(value);
    return false;
  };
  auto number = [&](std::string& target) {
    std::int64_t n = 0;
    if (!TryParseInt64(value, n)) {
      error = key + ": expected a number, not " + Quoted(value);
      return false;
    }
    target = std::to_string(n);
    return true;
  };
  if (key == "setup") return path(r.setup);
  if (key == "output") return path(r.output);
  if (key == "product") return r.product = value, true;
  if (key == "version-new" || key == "version") {
    std::int64_t n = 0;
    if (TryParseInt64(value, n) && n > 0 && n <= INT32_MAX) return r.version = std::to_string(n), true;
    error = key + ": the agent compares whole numbers above 0 (2.0 is 200), not " + Quoted(value);
    return false;
  }
  if (key == "stamp") return number(r.stamp);
  if (key == "url") return r.url = value, true;
  if (key == "valid-versions") return r.validVersions = value, true;
  if (key == "running-process") return r.runningProcess = value, true;
  if (key == "shut-down") return r.shutDown = value, true;
  if (key == "restart-process") return flag(r.restartProcess);
  if (key == "confirm-download") return flag(r.confirmDownload);
  if (key == "confirm-download-force") return flag(r.confirmDownloadForce);
  if (key == "confirm-install") return flag(r.confirmInstall);
  if (key == "confirm-install-force") return flag(r.confirmInstallForce);
  if (key == "background") return flag(r.background);
  if (key == "inform-finish") return flag(r.informFinish);
  if (key == "remove-startup-shortcut") return flag(r.removeStartUpShortcut);
  if (key == "remove-check-shortcut") return flag(r.removeCheckShortcut);
  if (key == "inform-name") return r.informName = value, true;
  if (key == "inform-url") return r.informUrl = value, true;
  if (key == "agent-change") return flag(r.agentChange);
  if (key == "inform-body") return r.informBody = valueIn, true;
  if (key == "inform-body-file") {
    std::string file;
    path(file);
    if (ReadWholeFile(file, r.informBody)) return true;
    error = "inform-body-file: cannot read " + file;
    return false;
  }
  if (key == "scrambled") return flag(r.scrambled);
  if (key == "inform-width") return number(r.informWidth);
  if (key == "inform-height") return number(r.informHeight);
  if (key == "token-from") return path(r.tokenFrom);
  if (key == "agent") return path(r.agent);
  if (key == "original") return path(r.original);
  if (key == "fetch") return flag(r.fetch);
  error = "unknown setting " + Quoted(key);
  return false;
}

bool ParseDescription(const std::string& text, Release& release, std::string& error,
                      const std::string& baseDir) {
  std::istringstream lines(zpack::WithoutByteOrderMark(text));
  std::string line;
  std::map<std::string, int> seen;  // a key given twice is a mistake, not "the last wins"
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::size_t equals = trimmed.find('=');
    std::string why;
    std::string key = equals == std::string::npos ? "" : Trim(trimmed.substr(0, equals));
    for (char& ch : key) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    if (key == "version") key = "version-new";
    if (equals == std::string::npos) {
      why = "expected key = value";
    } else if (!seen.emplace(key, number).second) {
      why = key + " is already set on line " + std::to_string(seen[key]);
    } else if (ApplySetting(release, trimmed.substr(0, equals), trimmed.substr(equals + 1), why, baseDir)) {
      continue;
    }
    error = "line " + std::to_string(number) + ": " + why;
    return false;
  }
  return true;
}

// ---- The record ----

std::string InfoText(const Release& r, std::int64_t fileSize) {
  std::string text;
  auto section = [&](const char* name) { text += std::string("[") + name + "]\r\n"; };
  auto line = [&](const char* key, const std::string& value) {
    text += std::string(key) + "=" + value + "\r\n";
  };
  auto flag = [&](const char* key, bool value) { line(key, value ? "1" : "0"); };
  const std::string name = ExtractFileName(r.News() ? r.informName : r.setup);
  if (r.News()) {
    section(records::kGeneral);
    line("AutoInform", "1");
    section(records::kAutoInform);
    if (!r.informUrl.empty()) line("DownloadURL_INFORM", r.informUrl);
    line("NameOfInformFile", name);
    line("SizeOfInformFile", std::to_string(fileSize));
    if (!r.informWidth.empty()) line("AutoInformW", r.informWidth);
    if (!r.informHeight.empty()) line("AutoInformH", r.informHeight);
  }
  section(records::kNewSetup);
  // The agent fetches the news text, like a setup file, from DownloadURL_UPDATE.
  line("DownloadURL_UPDATE", r.url);
  if (!r.News()) {
    line("NameOfUpdateFile", name);
    line("SizeOfUpdateFile", std::to_string(fileSize));
  }
  line("ProgramName", r.product);
  line("VersionNew", r.version);
  line("Stamp", r.stamp.empty() ? r.version : r.stamp);
  if (!r.validVersions.empty()) line("ValidVersions", r.validVersions);
  if (!r.News()) {
    if (!r.runningProcess.empty()) line("RunningProcess", r.runningProcess);
    if (!r.shutDown.empty()) line("ShutDownMethod", r.shutDown);
    flag("RestartProcess", r.restartProcess);
    flag("RequestConfirmationBeforeDownload", r.confirmDownload);
    flag("RequestConfirmationBeforeDownloadForce", r.confirmDownloadForce);
    flag("RequestConfirmationBeforeInstall", r.confirmInstall);
    flag("RequestConfirmationBeforeInstallForce", r.confirmInstallForce);
    flag("BackgroundUpdate", r.background);
    flag("InformFinish", r.informFinish);
    flag("RemoveStartUpShortcut", r.removeStartUpShortcut);
    flag("RemoveCheckForNewUpdateShortcut", r.removeCheckShortcut);
  }
  return text;
}

// ---- HTTP ----

namespace {

struct Transfer {
  std::string* body;
  std::uint64_t limit;
  bool over = false;
};

std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* context) {
  Transfer& t = *static_cast<Transfer*>(context);
  const std::size_t n = size * count;
  if (t.body->size() + n > t.limit) {
    t.over = true;
    return 0;  // ends the transfer
  }
  t.body->append(data, n);
  return n;
}

}  // namespace

bool HttpGet(const std::string& url, int& status, std::int64_t& contentLength, std::string& body,
             std::string& error, std::uint64_t maxBody) {
  status = 0;
  contentLength = -1;
  body.clear();
  if (!IsWebAddress(url)) {
    error = "not an http:// or https:// address";
    return false;
  }
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  CURL* curl = initialised ? curl_easy_init() : nullptr;
  if (!curl) {
    error = "libcurl cannot start";
    return false;
  }
  Transfer transfer{&body, maxBody};
  char message[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // Redirects are followed as the agent's WinINet follows them, to http and https only.
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 300L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "zpublish");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, TakeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
  const CURLcode result = curl_easy_perform(curl);
  long code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
  curl_off_t length = -1;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  curl_easy_cleanup(curl);
  status = int(code);
  contentLength = length;
  if (transfer.over) {
    error = url + " sends more than " + std::to_string(maxBody) + " bytes";
    return false;
  }
  if (result != CURLE_OK) {
    error = std::string(*message ? message : curl_easy_strerror(result));
    return false;
  }
  return true;
}

// ---- The check ----

namespace {

// The agent a release installs against the one the machines run now: its update address,
// record name and own name decide where and whether the installed base looks again.
template <typename Fault>
void CompareAgentSettings(const TGFileInfo& release, const CheckFiles& files, Fault&& fault) {
  if (files.tokenFrom.empty()) return;
  TGFileInfo before(files.tokenFrom);
  if (!before.IsValidPackage()) return;
  auto report = [&](const std::string& line) {
    if (!files.agentChange) return fault(line + " (agent-change = 1 if this is meant)");
    if (files.notes) files.notes->push_back(line);
  };
  auto compare = [&](const char* setting, const std::string& was, const std::string& now,
                     const std::string& effect) {
    if (was != now)
      report(std::string(setting) + ": the release has \"" + now + "\", the installed agent \"" + was +
             "\"; " + effect);
  };
  const bool hadAgent = before.MakeAgent() || before.ThisIsAgent();
  if (!release.MakeAgent()) {
    // The installed agents stay as they are (nothing replaces them), but a machine that
    // installs this release fresh gets none: worth a line, not a refusal.
    if (hadAgent && files.notes)
      files.notes->push_back(
          "make-agent: the release writes no agent; the installed agents stay, machines "
          "that install it fresh get no updates");
    return;
  }
  // The agent the release writes replaces the installed one.
  compare("update-url", before.UpdateUrl(), release.UpdateUrl(),
          "once updated, the agents ask the new address only: nothing published at the old one reaches them");
  compare("info", before.InfoFileName(), release.InfoFileName(),
          "once updated, the agents fetch another record name: the record published under the old name "
          "reaches none of them");
  compare("agent", before.AgentExeName(), release.AgentExeName(),
          "the release writes an agent under another name: the old agent stays beside it and both probe");
}

}  // namespace

std::vector<std::string> CheckRelease(const Ini& info, const CheckFiles& files) {
  std::vector<std::string> faults;
  auto fault = [&](const std::string& line) { faults.push_back(line); };
  const bool news = RecordInt64(info.Get(records::kGeneral, "AutoInform"), 0) == 1;
  const char* section = news ? records::kAutoInform : records::kNewSetup;
  // News is fetched from the same address as an update; DownloadURL_INFORM is only the
  // address its window offers.
  const char* urlKey = "DownloadURL_UPDATE";
  const char* nameKey = news ? "NameOfInformFile" : "NameOfUpdateFile";
  const char* sizeKey = news ? "SizeOfInformFile" : "SizeOfUpdateFile";
  const std::string url = info.Get(records::kNewSetup, urlKey);
  const std::string name = info.Get(section, nameKey);
  const std::string sizeText = info.Get(section, sizeKey);
  const std::string refusal =
      news ? "the agent shows no news" : "the agent deletes the download (\"Bad Secret Token!\")";

  if (RecordInt32(info.Get(records::kNewSetup, "VersionNew"), 0) <= 0)
    fault("VersionNew=" + info.Get(records::kNewSetup, "VersionNew") +
          ": not a positive number; the agent stops at stage 3 (" + DecisionReason(3) + ")");
  if (url.empty())
    fault(std::string(urlKey) + " is missing; the agent finds no file (stage 5, " + DecisionReason(5) + ")");
  const std::size_t scheme = url.find("://");
  if (scheme != std::string::npos && !IsWebAddress(url))
    fault(std::string(urlKey) + "=" + url +
          ": the agent fetches over http:// or https:// (or from a folder), not " +
          url.substr(0, scheme + 3) + "; it finds no file (stage 5, " + DecisionReason(5) + ")");

  // ValidVersions: the agent looks for ",<installed version>," in "," + the text + ",", as
  // it stands. Every part must be a version it can find there, or the installed machines
  // it was meant for are silently left out.
  const std::string valid = info.Get(records::kNewSetup, "ValidVersions");
  if (!valid.empty()) {
    std::string part;
    std::istringstream parts(valid);
    while (std::getline(parts, part, ',')) {
      std::int64_t version = 0;
      const bool found = TryParseInt64(part, version) && version > 0 && version <= INT32_MAX &&
                         ValidVersionOK(valid, std::int32_t(version));
      if (!found) {
        fault("ValidVersions=" + valid + ": \"" + part +
              "\" is no version the agent matches (whole numbers such as 100, separated by commas only); "
              "the agent stops at stage 4 (" +
              DecisionReason(4) + ") on the machines it was meant for");
        break;
      }
    }
    if (!valid.empty() && valid.back() == ',')
      fault("ValidVersions=" + valid + ": ends with a comma; write the versions only");
  }

  // File names: the agent's own rule for the name a download is kept under.
  std::string why;
  const std::vector<std::string> own = AgentOwnFiles(files.agent.empty() ? files.tokenFrom : files.agent);
  if ((news ? LocalInformName(name, own, &why) : LocalCopyName(name, own, &why)).empty())
    fault(std::string(nameKey) + "=" + name + ": refused (" + why + "); the agent does not download it");

  // Size: the agent's tolerance, against the file as served.
  const std::int64_t fileSize = SizeOfFile(files.published);
  if (fileSize < 0) {
    fault(std::string(nameKey) + ": cannot read the published file " + files.published);
    return faults;
  }
  const std::int64_t recorded = RecordInt64(sizeText, 0);
  if (!SizeWithinTolerance(recorded, fileSize))
    fault(std::string(sizeKey) + "=" + sizeText + ": the file has " + std::to_string(fileSize) +
          " bytes; the agent stops at stage 5 (" + DecisionReason(5) + ")");

  // The token: the one of the product's earlier setup file or installed agent.
  const std::string ownToken = TokenOf(files.tokenFrom);
  if (ownToken.empty())
    fault("token: " +
          (files.tokenFrom.empty() ? std::string("no token-from file named")
                                   : files.tokenFrom + " carries no package token") +
          "; the release cannot be checked against the agents' token");
  if (news) {
    std::string content;
    ReadWholeFile(files.published, content);
    if (!ownToken.empty() &&
        !InformTextCarriesToken(content.substr(0, static_cast<std::size_t>(kInformTextMax)), ownToken))
      fault(std::string(nameKey) + "=" + name + ": the text does not carry the product's token; " + refusal);
  } else {
    std::vector<zpack::Block> blocks;
    std::string error;
    TGFileInfo setup(files.published);
    if (!setup.IsValidPackage() || !zpack::ReadBlocks(files.published, blocks, error)) {
      fault(std::string(nameKey) + "=" + name + ": not a sound package (" +
            (error.empty() ? "no package found" : error) + "); " + refusal);
    } else {
      if (!ownToken.empty() && TokenOf(files.published) != ownToken)
        fault(std::string(nameKey) + "=" + name + ": the setup file carries another product's token; " +
              refusal);
      if (HasNextVolume(setup.Trailer) || setup.SpanCdLauncher())
        fault(std::string(nameKey) + "=" + name +
              ": the setup file is split into volumes; the agent downloads only this one file and its "
              "install fails (build the update without volume-size or span-cd)");
      CompareAgentSettings(setup, files, fault);
    }
    // The signer: a signed agent (its signer record or a signature after its package)
    // takes only an update signed by the same publisher. The certificates are compared by
    // the agent itself (wintrust); here an unsigned update for a signed agent is caught
    // with the agent's rule.
    if (!files.agent.empty()) {
      auto signedFile = [](const std::string& file) {
        PackFile f(file);
        return f && FileSize(f.get()) > PackEndOf(f.get());
      };
      const bool agentSigned = signedFile(files.agent);
      const bool updateSigned = signedFile(files.published);
      std::string reason;
      if (!updateSigned &&
          !UpdateSignatureAccepted(agentSigned, agentSigned ? "agent" : "", SignatureState::None, "", reason))
        fault(std::string(nameKey) + "=" + name + ": signature refused (" + reason + "); " + refusal);
    }
    // The program the agent closes and restarts.
    const std::string running = info.Get(records::kNewSetup, "RunningProcess");
    if (!Trim(running).empty()) {
      const MachineFolders machine =
          FoldersOf(Ini(files.originalText), info.Get(records::kNewSetup, "ProgramName"));
      const std::string path = ExpandVariablesWith(running, "\\", true, true, machine.values);
      if (!IsAllowedRunningProcess(path, machine.folders, &why))
        fault("RunningProcess=" + running + ": refused as " + path + " (" + why +
              "); the agent does not update while it cannot stop that program");
    }
    const std::string method = info.Get(records::kNewSetup, "ShutDownMethod");
    if (!method.empty() && ShutDownKindOf(method) == ShutDownKind::WaitOnly)
      fault("ShutDownMethod=" + method +
            ": not a method the agent knows; it only waits for the program to end");
  }

  if (files.fetch && !url.empty()) {
    const std::string address = UrlJoin(url, ExtractFileName(name));
    int status = 0;
    std::int64_t length = -1;
    std::string body, error, content;
    const std::uint64_t limit =
        news ? std::uint64_t(kInformTextMax) : LargestSizeWithinTolerance(RecordInt64(sizeText, 0));
    if (!HttpGet(address, status, length, body, error, limit)) {
      fault(std::string(urlKey) + "=" + url + ": " + error + "; the agent stops at stage 5 (" +
            DecisionReason(5) + ")");
    } else if (status != 200) {
      fault(std::string(urlKey) + "=" + url + ": " + address + " answers status " + std::to_string(status) +
            "; the agent stops at stage 5 (" + DecisionReason(5) + ")");
    } else if (length < 0 || !SizeWithinTolerance(recorded, length)) {
      fault(std::string(urlKey) + "=" + url + ": " + address + " announces " + std::to_string(length) +
            " bytes, " + sizeKey + "=" + sizeText + "; the agent stops at stage 5 (" + DecisionReason(5) +
            ")");
    } else if (!ReadWholeFile(files.published, content) || body != content) {
      fault(std::string(urlKey) + "=" + url + ": " + address + " serves other bytes than " + files.published +
            "; " + refusal);
    }
  }
  return faults;
}

// ---- The dry run ----

DryRunResult DryRun(const Ini& info, const Ini& original, std::int64_t now, bool manualCheck,
                    std::int64_t publishedSize) {
  using namespace records;
  DryRunResult result;
  auto& out = result.lines;
  DecisionRecord r;
  r.infoOK = true;
  r.manualCheck = manualCheck;
  r.versionOriginal = RecordInt32(original.Get(kOriginalSetup, "VersionOriginal"), 0);
  r.versionNew = RecordInt32(info.Get(kNewSetup, "VersionNew"), 0);
  r.originalStamp = RecordInt64(original.Get(kOriginalSetup, "Stamp"), 0);
  r.infoStamp = RecordInt64(info.Get(kNewSetup, "Stamp"), 0);
  r.reAskDue = ReAskDue(now, RecordInt64(original.Get(kOriginalSetup, "ReAskSecondsLast"), 0),
                        RecordInt64(original.Get(kOriginalSetup, "ReAskSecondsInterval"), 0));
  r.validVersions = info.Get(kNewSetup, "ValidVersions");
  const bool news = RecordInt64(info.Get(kGeneral, "AutoInform"), 0) == 1;
  const std::int64_t expected = news ? RecordInt64(info.Get(kAutoInform, "SizeOfInformFile"), 0)
                                     : RecordInt64(info.Get(kNewSetup, "SizeOfUpdateFile"), 0);
  const std::string v0 = std::to_string(r.versionOriginal), v1 = std::to_string(r.versionNew);
  const struct {
    bool (*test)(const DecisionRecord&);
    std::string what;
  } stages[] = {
      {InfoStageOK, "the .info record is read"},
      {OriginalStageOK, "VersionOriginal=" + v0 + " is above 0"},
      {StampStageOK, "Stamp=" + std::to_string(r.infoStamp) + " against the recorded " +
                         std::to_string(r.originalStamp) + " (re-ask due: " + (r.reAskDue ? "yes" : "no") +
                         ", manual check: " + (manualCheck ? "yes" : "no") + ")"},
      {VersionStageOK, "VersionNew=" + v1 + " above VersionOriginal=" + v0},
      {ValidStageOK, "ValidVersions=\"" + r.validVersions + "\" admits " + v0},
  };
  int n = 0;
  for (const auto& s : stages) {
    const bool ok = s.test(r);
    out.push_back("stage " + std::to_string(n) + ": " + s.what + ": " + (ok ? "goes on" : "stops"));
    if (!ok) break;
    ++n;
  }
  bool sizeAsked = false;
  result.stage = DecisionStage(r, [&] {
    sizeAsked = true;
    return SizeWithinTolerance(expected, publishedSize);
  });
  if (sizeAsked)
    out.push_back("stage 5: " + std::string(news ? "SizeOfInformFile=" : "SizeOfUpdateFile=") +
                  std::to_string(expected) + " against the published " + std::to_string(publishedSize) +
                  " bytes: " + (result.stage == kDecisionOK ? "goes on" : "stops"));
  out.push_back("decision: stage " + std::to_string(result.stage) + " (" + DecisionReason(result.stage) +
                ")");
  if (result.stage != kDecisionOK) return result;
  auto text = [&](const char* id) { return original.Get(kAutoUpdate, id, AgentTextDefault(id)); };
  const UpdateQuestionTexts texts{text("s11"), text("s12"), text("s13"), text("s14"),
                                  text("s18"), text("s19"), text("s20")};
  const std::string program = info.Get(kNewSetup, "ProgramName");
  auto flag = [&](const char* key) { return RecordFlag(info.Get(kNewSetup, key, "0")); };
  if (news) {
    out.push_back("then: shows the news text " + info.Get(kAutoInform, "NameOfInformFile"));
    return result;
  }
  const bool confirmInstall = flag("RequestConfirmationBeforeInstall");
  if (flag("RequestConfirmationBeforeDownload"))
    out.push_back(
        "asks before the download: " +
        DownloadQuestion(texts, confirmInstall, flag("RequestConfirmationBeforeDownloadForce"), program));
  else
    out.push_back("downloads without asking");
  if (confirmInstall)
    out.push_back("asks before the install: " +
                  InstallQuestion(texts, flag("RequestConfirmationBeforeInstallForce"), program));
  else
    out.push_back("installs without asking");
  return result;
}

// ---- The command line ----

namespace {

std::int64_t RecordNowLocal() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  // Days from 30 December 1899 to 1 January 1970: 25569.
  return 25569LL * 86400 + static_cast<std::int64_t>(t) + local.tm_gmtoff;
}

// Writes path's content under a temporary name beside it; Publish renames it.
bool WriteTemporary(const std::string& path, const std::string& content, std::string& temporary,
                    std::string& error) {
  std::error_code ec;
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);
  temporary = path + ".zpublish-tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) {
    error = "cannot write " + temporary;
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool Publish(const std::string& temporary, const std::string& path, std::string& error) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = "cannot write " + path;
  std::remove(temporary.c_str());
  return false;
}

void PrintJsonList(std::ostream& out, const char* key, const std::vector<std::string>& lines) {
  out << "\"" << key << "\": [";
  for (std::size_t i = 0; i < lines.size(); ++i) out << (i ? ", " : "") << zpack::JsonText(lines[i]);
  out << "]";
}

// A record read from its address: the published file it names is fetched beside a
// temporary copy of the record, so that the check reads exactly what the agents get.
bool ReadPublished(const std::string& address, std::string& infoText, std::string& published,
                   std::string& error) {
  int status = 0;
  std::int64_t length = -1;
  if (!HttpGet(address, status, length, infoText, error,
               FetchLimit(DownloadKind::Info, 0, kDefaultLargestSetupFile)))
    return false;
  if (status != 200) return error = address + " answers status " + std::to_string(status), false;
  const Ini info(infoText);
  const bool news = RecordInt64(info.Get(records::kGeneral, "AutoInform"), 0) == 1;
  const std::string name = ExtractFileName(news ? info.Get(records::kAutoInform, "NameOfInformFile")
                                                : info.Get(records::kNewSetup, "NameOfUpdateFile"));
  const std::string base = info.Get(records::kNewSetup, "DownloadURL_UPDATE");
  if (name.empty() || !IsWebAddress(base)) return true;  // the check names what is missing
  std::string body;
  const std::uint64_t limit =
      news ? std::uint64_t(kInformTextMax)
           : LargestSizeWithinTolerance(RecordInt64(info.Get(records::kNewSetup, "SizeOfUpdateFile"), 0));
  if (!HttpGet(UrlJoin(base, name), status, length, body, error, limit) || status != 200) return true;
  char folder[] = "/tmp/zpublish-XXXXXX";
  if (!mkdtemp(folder)) return error = "cannot make a temporary folder", false;
  published = (fs::path(folder) / name).string();
  std::ofstream(published, std::ios::binary).write(body.data(), std::streamsize(body.size()));
  return true;
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Release release;
  std::string description, checkInfo, dryRunInfo, nowText;
  bool manual = false, json = false;
  std::vector<std::pair<std::string, std::string>> settings;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto needValue = [&](std::string& value) {
      if (i + 1 >= args.size()) {
        err << "zpublish: " << arg << " needs a value\n";
        return false;
      }
      value = args[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      out << kUsage;
      return 0;
    }
    if (arg == "--version") {
      // Alone it is the tool's own version; among settings it is an older script's
      // release number, which must not pass for a release that was written.
      if (args.size() > 1) {
        err << "zpublish: --version prints zpublish's own version; the release number is --version-new\n";
        return 2;
      }
      out << "zpublish " << zpack::kToolsVersion << "\n";
      return 0;
    }
    std::string value;
    if (arg == "--check") {
      if (!needValue(checkInfo)) return 2;
    } else if (arg == "--dry-run") {
      if (!needValue(dryRunInfo)) return 2;
    } else if (arg == "--now") {
      if (!needValue(nowText)) return 2;
    } else if (arg == "--manual") {
      manual = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "-o") {
      if (!needValue(value)) return 2;
      settings.emplace_back("output", value);
    } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      const std::string key = arg.substr(2);
      const std::size_t equals = key.find('=');
      if (equals != std::string::npos) {
        settings.emplace_back(key.substr(0, equals), key.substr(equals + 1));
      } else if (kFlagKeys.count(ToLower(key))) {
        settings.emplace_back(key, "1");
      } else {
        if (!needValue(value)) return 2;
        settings.emplace_back(key, value);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      err << "zpublish: unknown option " << arg << "\nTry zpublish --help.\n";
      return 2;
    } else if (description.empty()) {
      description = arg;
    } else {
      err << "zpublish: one description file only\n";
      return 2;
    }
  }
  std::string error;
  if (!description.empty()) {
    std::string text;
    if (!ReadWholeFile(description, text)) {
      err << "zpublish: cannot read " << description << "\n";
      return 1;
    }
    if (!ParseDescription(text, release, error, fs::path(description).parent_path().string())) {
      err << "zpublish: " << description << ": " << error << "\n";
      return 2;
    }
  }
  std::set<std::string> given;
  for (const auto& [key, value] : settings) {
    std::string lower = key;
    for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    if (!given.insert(lower == "version" ? "version-new" : lower).second) {
      err << "zpublish: --" << key << " is given twice\n";
      return 2;
    }
    if (!ApplySetting(release, key, value, error)) {
      err << "zpublish: " << error << "\n";
      return 2;
    }
  }
  if (!checkInfo.empty() && !dryRunInfo.empty()) {
    err << "zpublish: --check and --dry-run are separate runs\n";
    return 2;
  }
  if (!release.setup.empty() && release.News()) {
    err << "zpublish: a release is an update (setup) or news (inform-name), not both\n";
    return 2;
  }
  if (json && checkInfo.empty() && dryRunInfo.empty()) {
    err << "zpublish: --json goes with --check or --dry-run\n";
    return 2;
  }

  std::string originalText;
  if (!release.original.empty() && !ReadWholeFile(release.original, originalText)) {
    err << "zpublish: cannot read " << release.original << "\n";
    return 1;
  }

  if (!dryRunInfo.empty()) {
    std::string infoText;
    if (!ReadWholeFile(dryRunInfo, infoText) || release.original.empty()) {
      err << "zpublish: --dry-run needs a readable record and --original\n";
      return 2;
    }
    std::int64_t now = RecordNowLocal();
    if (!nowText.empty() && !TryParseInt64(nowText, now)) {
      err << "zpublish: --now takes record seconds\n";
      return 2;
    }
    const Ini info(infoText);
    std::string published = release.setup;
    if (published.empty())
      published = fs::path(dryRunInfo).parent_path() /
                  ExtractFileName(info.Get(records::kNewSetup, "NameOfUpdateFile"));
    const DryRunResult result = DryRun(info, Ini(originalText), now, manual, SizeOfFile(published));
    if (json) {
      out << "{\"stage\": " << result.stage
          << ", \"decision\": " << zpack::JsonText(DecisionReason(result.stage))
          << ", \"takes\": " << (result.stage == kDecisionOK ? "true" : "false") << ", ";
      PrintJsonList(out, "lines", result.lines);
      out << "}\n";
    } else {
      for (const std::string& line : result.lines) out << line << "\n";
    }
    return result.stage == kDecisionOK ? 0 : 1;
  }

  std::vector<std::string> notes;
  CheckFiles files{release.News() ? release.informName : release.setup,
                   release.tokenFrom,
                   release.agent,
                   originalText,
                   release.fetch,
                   release.agentChange,
                   &notes};
  std::string infoText, informTemporary, informFile;
  if (!checkInfo.empty()) {
    if (IsWebAddress(checkInfo)) {
      std::string fetched;
      if (!ReadPublished(checkInfo, infoText, fetched, error)) {
        err << "zpublish: " << error << "\n";
        return 1;
      }
      if (files.published.empty()) files.published = fetched;
      files.fetch = true;
    } else if (!ReadWholeFile(checkInfo, infoText)) {
      err << "zpublish: cannot read " << checkInfo << "\n";
      return 1;
    }
    const Ini info(infoText);
    if (files.published.empty()) {
      const bool news = RecordInt64(info.Get(records::kGeneral, "AutoInform"), 0) == 1;
      files.published = (fs::path(checkInfo).parent_path() /
                         ExtractFileName(news ? info.Get(records::kAutoInform, "NameOfInformFile")
                                              : info.Get(records::kNewSetup, "NameOfUpdateFile")))
                            .string();
    }
  } else {
    if (release.output.empty() || release.version.empty() || release.url.empty() ||
        (release.News() ? release.informBody.empty() : release.setup.empty())) {
      err << "zpublish: output, version-new, url and setup (or inform-name with inform-body) are required\n"
          << "Try zpublish --help.\n";
      return 2;
    }
    if (release.News()) {
      // The news text is written beside the record, with the product's token, under a
      // temporary name: the published text stays until the new one is found sound.
      const std::string token = TokenOf(release.tokenFrom);
      // The reproducible-builds convention, as zpack keeps it: with SOURCE_DATE_EPOCH set,
      // the same body and token give the same text.
      std::int64_t epoch = -1;
      if (const char* value = std::getenv("SOURCE_DATE_EPOCH");
          value && TryParseInt64(value, epoch) && epoch >= 0)
        SeedScrambling(std::uint32_t(epoch ^ (epoch >> 32)));
      std::string text;
      if (token.empty() || !MakeInformText(token, release.informBody, release.scrambled, text)) {
        err << "zpublish: token-from: no product token in " << Quoted(release.tokenFrom) << "\n";
        return 1;
      }
      informFile = (fs::path(release.output).parent_path() / ExtractFileName(release.informName)).string();
      if (!WriteTemporary(informFile, text, informTemporary, error)) {
        err << "zpublish: " << error << "\n";
        return 1;
      }
      files.published = informTemporary;
    }
    infoText = InfoText(release, SizeOfFile(files.published));
  }

  std::vector<std::string> faults = CheckRelease(Ini(infoText), files);
  if (!informTemporary.empty()) {
    // The check read the text under its temporary name; its lines name the published one.
    for (std::string& line : faults) {
      const std::size_t at = line.find(informTemporary);
      if (at != std::string::npos) line.replace(at, informTemporary.size(), informFile);
    }
  }
  if (json) {
    out << "{\"record\": " << zpack::JsonText(checkInfo)
        << ", \"sound\": " << (faults.empty() ? "true" : "false") << ", ";
    PrintJsonList(out, "faults", faults);
    out << ", ";
    PrintJsonList(out, "notes", notes);
    out << "}\n";
  } else {
    for (const std::string& fault : faults) out << fault << "\n";
    for (const std::string& note : notes) out << "note: " << note << "\n";
  }
  if (!faults.empty()) {
    err << "zpublish: the release is not sound" << (checkInfo.empty() ? "; nothing written" : "") << "\n";
    if (!informTemporary.empty()) std::remove(informTemporary.c_str());
    return 1;
  }
  if (checkInfo.empty()) {
    std::string recordTemporary;
    if (!WriteTemporary(release.output, infoText, recordTemporary, error) ||
        (!informTemporary.empty() && !Publish(informTemporary, informFile, error)) ||
        !Publish(recordTemporary, release.output, error)) {
      if (!informTemporary.empty()) std::remove(informTemporary.c_str());
      err << "zpublish: " << error << "\n";
      return 1;
    }
    out << release.output << "\n";
    if (release.News()) out << informFile << "\n";
  } else if (!json) {
    out << checkInfo << ": sound\n";
  }
  return 0;
}

}  // namespace zpublish
