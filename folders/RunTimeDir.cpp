#include "folders/RunTimeDir.h"

#include "system/CommandLine.h"
#include "system/Utils.h"

namespace {

// Definitions of the run-time folders; none in the setup stub.
const char* const kRunTimeDefinitions[kRunTimeFolderCount] = {"", "", "", "", "", "", "", ""};
constexpr const char kNotResolved[] = "*";

// A definition resolves to itself with its trailing backslash removed.
std::string ResolveRunTimeDefinition(const std::string& definition) { return SetTrailingBackslash(definition, false); }

}  // namespace

std::string OriginExeFrom(const std::string& switchValue, const std::string& programPath) {
  return switchValue.empty() ? programPath : switchValue;
}

std::string OriginExe() {
  static const std::string origin = OriginExeFrom(GetSwitchValue("/OriginExe"), ProgramPath());
  return origin;
}

std::string OriginFolder() {
  static const std::string folder = SetTrailingBackslash(ExtractFilePath(OriginExe()), false);
  return folder;
}

std::string RunTimeFolder(int n) {
  static std::string cache[kRunTimeFolderCount] = {kNotResolved, kNotResolved, kNotResolved, kNotResolved,
                                                   kNotResolved, kNotResolved, kNotResolved, kNotResolved};
  if (n < 1 || n > kRunTimeFolderCount) return std::string();
  std::string& value = cache[n - 1];
  if (value == kNotResolved) value = ResolveRunTimeDefinition(kRunTimeDefinitions[n - 1]);
  return value;
}
