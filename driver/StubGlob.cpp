#include "driver/StubGlob.h"

#include <windows.h>
// after windows.h
#include <ntsecapi.h>
#include <sddl.h>

#include "driver/StubLogic.h"
#include "driver/StubWin.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"

std::unique_ptr<TGFileInfo> OwnFileInfo;
bool ThisIs_AutoUpdateProg = false;
bool AgentLogOn = false;
std::string AgentLogIndent = kDefaultAgentLogIndent;
std::uint32_t StubExitCode = 0;

std::uint16_t FileDosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD dosDate = 0, dosTime = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return 0;
  return dosTime;
}

std::string MakeProtectedSetupFolder(const std::string& tempFolderWithBackslash) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
                                                            SDDL_REVISION_1, &descriptor, nullptr))
    return "";
  UniqueLocalMemory descriptorOwner(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint64_t random[2] = {};
    if (!RtlGenRandom(random, sizeof random)) return "";
    const std::string name =
        tempFolderWithBackslash + "SETUP_" + std::to_string(random[0]) + std::to_string(random[1]);
    // Fails on an existing name: a folder made by someone else is never taken.
    if (CreateDirectoryA(name.c_str(), &attributes)) return name;
  }
  return "";
}

namespace {

// The span launcher's copy runs from the launcher's SETUP_ folder and works in it.
bool IsInSetupFolder(const std::string& programPath) {
  const std::string prefix = TempFolder(true) + "SETUP_";
  const std::string folder = ExtractFileDir(programPath);
  return StartsWith(prefix, folder, true) && folder.size() > prefix.size() &&
         folder.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

}  // namespace

std::string MakeSetupTempFolder(const std::string& programPath) {
  std::string name = SetupTempFolderName(TempFolder(true), FileDosTime(programPath));
  // The span copy runs from this very folder (its name comes from the same file date):
  // it must not clear the folder it runs from.
  if (!SameText(ExtractFileDir(programPath), name)) DeleteTree(name, true);
  CreateDirectoryA(name.c_str(), nullptr);
  return name;
}

std::string SetupTempFolder() {
  static const std::string folder = [] {
    const std::string program = ProgramPath();
    if (ProcessIsElevated()) {
      if (IsSpanCopy() && IsInSetupFolder(program)) return ExtractFileDir(program);
      std::string name = MakeProtectedSetupFolder(TempFolder(true));
      if (!name.empty()) return name;
    }
    return MakeSetupTempFolder(program);
  }();
  return folder;
}

std::string AgentLogFileName() {
  static const std::string name = AgentLogFileNameFor(ProgramPath());
  return name;
}

void AgentLog(const std::string& text) {
  if (!AgentLogOn) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  double stamp = EncodeDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  std::string line = AgentLogLine(DateTimeToLogText(stamp, false, SystemDateSeparator(), SystemTimeSeparator()),
                                  GetCurrentThreadId(), AgentLogIndent, text);
  AppendTextFile(AgentLogFileName(), line, 0);  // failures are ignored: the log is a help only
}
