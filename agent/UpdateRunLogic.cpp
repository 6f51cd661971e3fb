#include "agent/UpdateRunLogic.h"

#include "agent/SetupRecordsLogic.h"
#include "package/UnPackLogic.h"
#include "system/Utils.h"

namespace {

bool Refuse(std::string* reason, const std::string& why) {
  if (reason) *reason = why;
  return false;
}

bool HasClimbingComponent(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    // Windows drops trailing dots and blanks: "...", ". ." climb like "..".
    if (component.size() >= 2 && component.find_first_not_of(". ") == std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string DownloadQuestion(const UpdateQuestionTexts& texts, bool confirmInstall, bool forced,
                             const std::string& programName) {
  const std::string& second =
      forced ? (confirmInstall ? texts.s19 : texts.s18) : (confirmInstall ? texts.s13 : texts.s12);
  return ReplaceProgName(texts.s11 + second, programName);
}

std::string InstallQuestion(const UpdateQuestionTexts& texts, bool forced, const std::string& programName) {
  return ReplaceProgName(forced ? texts.s20 : texts.s14, programName);
}

std::string FetchFailureMessage(bool aborted, const std::string& source, const std::string& s3,
                                const std::string& s4, const std::string& s5) {
  if (source.size() <= 2) return "";
  if (aborted) return s3;
  const bool folder = source[1] == ':' || source.compare(0, 2, "\\\\") == 0;
  return (folder ? s4 : s5) + "<P><P>" + source;
}

std::string LocalCopyName(const std::string& publishedName, const std::vector<std::string>& reserved,
                          std::string* reason) {
  std::string why;
  const std::string name = ExtractFileName(publishedName);
  if (HasClimbingComponent(publishedName)) {
    Refuse(&why, "\"..\" in the name");
  } else if (name.empty() || name == ".") {
    Refuse(&why, "no file name");
  } else if (!IsSafePackagePath(name, &why)) {
    // why says what is wrong (device name, wildcard, control character ...)
  } else if (name.back() == '.' || name.back() == ' ') {
    // Windows drops them: "Agent.exe." and "Agent.exe " are "Agent.exe".
    Refuse(&why, "a trailing dot or blank");
  } else {
    for (const std::string& own : reserved)
      if (!own.empty() && (SameText(name, own) || StartsWith(name + ".", own, true)))
        Refuse(&why, "the name of one of the agent's own files");
  }
  if (reason) *reason = why;
  return why.empty() ? name : std::string();
}

std::string LocalInformName(const std::string& publishedName, const std::vector<std::string>& reserved,
                            std::string* reason) {
  std::string name = LocalCopyName(publishedName, reserved, reason);
  if (!name.empty() && !EndsWith(".txt", name, true)) {
    if (reason) *reason = "not a text file name (\".txt\")";
    name.clear();
  }
  return name;
}

std::string AgentRestartCommand(const std::string& folderWithBackslash, const std::string& agentName,
                                const std::string& transferList) {
  return Quote(folderWithBackslash + agentName) + " /_ZZ=99 /WAIT=10 /TRANSIENT=" + transferList;
}
