#include "driver/StubGlob.h"

#include <windows.h>

#include "driver/StubLogic.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
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

std::string MakeSetupTempFolder(const std::string& programPath) {
  std::string name = SetupTempFolderName(TempFolder(true), FileDosTime(programPath));
  // The span copy runs from this very folder (its name comes from the same file date):
  // it must not clear the folder it runs from.
  if (!SameText(ExtractFileDir(programPath), name)) DeleteTree(name, true);
  CreateDirectoryA(name.c_str(), nullptr);
  return name;
}

std::string SetupTempFolder() {
  static const std::string folder = MakeSetupTempFolder(ProgramPath());
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
