#include "folders/Variables.h"

#include <windows.h>

#include <vector>

#include "folders/RunTimeDir.h"
#include "folders/ShellDir.h"
#include "folders/VariablesLogic.h"
#include "system/CommandLine.h"
#include "system/WinUtils.h"

namespace {

// The folders SetInstallDirs was given.
struct VariablesState {
  std::string installFolder, commonFolder, auxiliaryFolder;
};
VariablesState state;

std::string MonthName(int month) {
  char buffer[80] = {};
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1 + month - 1, buffer, sizeof buffer);
  return length > 1 ? std::string(buffer, length - 1) : std::string();
}

// GetFullPathNameA against the current folder; the path itself when that fails.
std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<char> buffer(needed + 1);
  const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  return length == 0 || length >= buffer.size() ? path : std::string(buffer.data(), length);
}

}  // namespace

void SetInstallDirs(const std::string& installFolder, const std::string& commonFolder,
                    const std::string& auxiliaryFolder) {
  state.installFolder = installFolder;
  state.commonFolder = commonFolder;
  state.auxiliaryFolder = auxiliaryFolder;
}

VariableValues CurrentVariableValues() {
  VariableValues v;
  SYSTEMTIME now;
  GetLocalTime(&now);
  v.date.now = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  for (int month = 1; month <= 12; ++month) v.date.monthNames[month] = MonthName(month);
  v.date.dateSeparator = SystemDateSeparator();
  v.date.timeSeparator = SystemTimeSeparator();
  v.loggedUserName = UserName();
  v.registeredOwner = RegisteredOwner();
  v.registeredOrganization = RegisteredOrganization();
  v.computerName = ComputerName();
  v.userDomain = UserDomain();
  v.installFolder = state.installFolder;
  v.commonFolder = state.commonFolder;
  v.auxiliaryFolder = state.auxiliaryFolder;
  for (int n = 1; n <= kRunTimeFolderCount; ++n) v.runTimeFolders[n - 1] = RunTimeFolder(n);
  v.windowsFolder = WindowsFolder(false);
  v.systemFolder = SystemFolder(false);
  v.system16Folder = WinSys16Dir();
  v.originFolder = OriginFolder();
  v.srcFolder = ExeFolder(false);
  v.startMenuFolder = StartMenuDir();
  v.programFilesFolder = ProgramFilesDir();
  v.commonFilesFolder = CommonFilesDir();
  v.fontFolder = FontDir();
  v.tempFolder = TempFolder(false);
  v.userDir = UserDir();
  v.userAppDataDir = UserAppDataDir();
  v.userLocalAppDataDir = UserLocalAppDataDir();
  v.myDocumentsDir = MyDocumentsDir();
  v.userStartMenuDir = UserStartMenuDir();
  v.userStartProgramMenuDir = UserStartProgramMenuDir();
  v.userDesktopDir = UserDesktopDir();
  v.documentsAndSettingsDir = DocumentsAndSettingsDir();
  v.allUsersDir = AllUsersDir();
  v.allUsersAppDataDir = AllUsersAppDataDir();
  v.allUsersDocumentsDir = AllUsersDocumentsDir();
  v.allUsersStartMenuDir = AllUsersStartMenuDir();
  v.allUsersStartProgramMenuDir = AllUsersStartProgramMenuDir();
  v.allUsersDesktopDir = AllUsersDesktopDir();
  v.fullPath = FullPath;
  return v;
}

std::string ExpandVariables(const std::string& text, const std::string& separator, bool resolveDots, bool folders) {
  VariableValues values;
  // Without a variable only the dots may need the system.
  if (text.find('<') != std::string::npos)
    values = CurrentVariableValues();
  else
    values.fullPath = FullPath;
  return ExpandVariablesWith(text, separator, resolveDots, folders, values);
}
