#include "system/CommandLine.h"

#include "system/Utils.h"
#include "system/ZSub.h"

namespace {

struct CommandLineState {
  std::string rawCommandLine;
  std::string programPath;
};
CommandLineState state;

}  // namespace

void SetCommandLineSource(const std::string& rawCommandLine, const std::string& programPath) {
  state.rawCommandLine = rawCommandLine;
  state.programPath = programPath;
}

std::string RawCommandLine() {
  return state.rawCommandLine;
}

std::string ProgramPath() {
  return state.programPath;
}

std::string ExeFileName(bool withoutExtension) {
  return withoutExtension ? FileTitle(state.programPath, false) : state.programPath;
}

std::string ExeFolder(bool withBackslash) {
  return SetTrailingBackslash(ExtractFilePath(state.programPath), withBackslash);
}

std::string CommandLineArgs() {
  std::string rest = state.rawCommandLine;
  const std::string name = ExtractFileName(state.programPath);
  int pos = 0;
  // The program's name may stand quoted, bare, or as the full path.
  if (!name.empty() && (pos = PosNoCase(name + '"', rest)) > 0) {
    rest.erase(0, static_cast<std::size_t>(pos) + name.size());
  } else if (!name.empty() && (pos = PosNoCase(name, rest)) > 0) {
    rest.erase(0, static_cast<std::size_t>(pos - 1) + name.size());
  } else if (!state.programPath.empty() && (pos = PosNoCase(state.programPath, rest)) > 0) {
    rest.erase(static_cast<std::size_t>(pos - 1), state.programPath.size());
  }
  rest = Trim(rest);
  // What is left of a lone closing quote is no argument.
  return rest.size() == 1 ? std::string() : rest;
}

std::string SwitchList(char switchChar, char separator) {
  std::string list = " " + CommandLineArgs();
  list = KeepChars(list, list, "\"");
  list = ReplaceText(list, std::string(" ") + switchChar, std::string(1, separator));
  return Enclose(list, separator);
}

std::string GetSwitchValue(const std::string& name, const std::string& def) {
  std::string key = Trim(name);
  if (key.empty()) return def;
  const char switchChar = key[0] == '-' ? '-' : '/';
  key = KeepChars(key, key, std::string(1, switchChar));
  if (key.empty() || key == "=") return def;
  // A marker that no value can hold tells an absent key from an empty value.
  static const std::string kAbsent(1, '\0');
  const std::string value = SUB::GetKeyValue(SwitchList(switchChar, kSwitchListSeparator), key, kAbsent);
  return value == kAbsent ? def : Trim(value);
}

std::int64_t GetSwitchInt(const std::string& name, std::int64_t def) {
  std::int64_t value = 0;
  return TryParseInt64(GetSwitchValue(name, ""), value) ? value : def;
}

bool HasSwitch(const std::string& sw) {
  const std::string trimmed = Trim(sw);
  if (trimmed.empty()) return false;
  return PosNoCase(trimmed + " ", CommandLineArgs() + " ") > 0;
}
