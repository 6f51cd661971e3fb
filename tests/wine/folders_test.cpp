#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "folders/RunTimeDir.h"
#include "folders/ShellDir.h"
#include "folders/Variables.h"
#include "system/CommandLine.h"
#include "system/Utils.h"
#include "system/WinUtils.h"

namespace {

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Environment(const char* name) {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string Upper(const std::string& text) { return UpperAscii(text); }

TEST(SpecialFoldersOnThePrefix, ShellFoldersAndTheirParents) {
  const std::string documents = MyDocumentsDir();
  ASSERT_TRUE(IsFolder(documents)) << documents;
  EXPECT_EQ(documents, ShellFolder(0x8005));
  EXPECT_EQ(UserDir(), ExtractFileDir(documents));
  EXPECT_EQ(DocumentsAndSettingsDir(), ExtractFileDir(UserDir()));
  // Common application data is C:\ProgramData: its parent is the drive.
  EXPECT_EQ(Upper(AllUsersAppDataDir()), "C:\\PROGRAMDATA");
  EXPECT_EQ(AllUsersDir(), "C:");
  EXPECT_EQ(AllUsersDir(true), "C:\\");
  for (const std::string& folder :
       {UserAppDataDir(), UserLocalAppDataDir(), AllUsersDocumentsDir(), UserStartMenuDir(), AllUsersStartMenuDir(),
        UserStartProgramMenuDir(), AllUsersStartProgramMenuDir(), UserDesktopDir(), AllUsersDesktopDir()}) {
    EXPECT_TRUE(IsFolder(folder)) << folder;
    EXPECT_NE(folder.back(), '\\') << folder;
  }
  EXPECT_EQ(UserStartProgramMenuDir(), UserStartMenuDir() + "\\Programs");
  EXPECT_EQ(UserAppDataDir(true), UserAppDataDir() + "\\");
}

TEST(SpecialFoldersOnThePrefix, RegistryAndSystemFolders) {
  // The process's own registry view gives the folders its environment names: a 32-bit
  // program's on the 32-bit flavour, a 64-bit program's on the 64-bit one.
  EXPECT_EQ(Upper(ProgramFilesDir()), Upper(Environment("ProgramFiles")));
  EXPECT_EQ(Upper(CommonFilesDir()), Upper(Environment("CommonProgramFiles")));
  EXPECT_TRUE(IsFolder(ProgramFilesDir())) << ProgramFilesDir();
  EXPECT_EQ(Upper(FontDir()), Upper(WindowsFolder() + "Fonts"));
  // The 16-bit system folder when the prefix has one (a prefix without 32-bit support has
  // none), else the system folder.
  const std::string system16 = WindowsFolder() + "system";
  EXPECT_EQ(Upper(WinSys16Dir()), Upper(IsFolder(system16) ? system16 : SystemFolder(false)));
  EXPECT_EQ(WinSys16Dir(true), WinSys16Dir() + "\\");
  const std::string startMenu = StartMenuDir();
  EXPECT_TRUE(startMenu.empty() || IsFolder(startMenu)) << startMenu;
}

TEST(SpecialFoldersOnThePrefix, OriginIsTheOwnFolderWithoutTheSwitch) {
  InitCommandLineFromProcess();
  EXPECT_EQ(OriginExe(), ProgramPath());
  EXPECT_EQ(OriginFolder(), ExeFolder(false));
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(RunTimeFolder(n), "");
}

TEST(VariablesOnThePrefix, FoldersAndNames) {
  InitCommandLineFromProcess();
  const std::string windows = WindowsFolder(false);
  EXPECT_EQ(ExpandVariables("<WinDir>notepad.exe", "\\", true, true), windows + "\\notepad.exe");
  EXPECT_EQ(ExpandVariables("<WinDir>\\notepad.exe", "\\", true, true), windows + "\\notepad.exe");
  EXPECT_EQ(ExpandVariables("<windir>", "\\", true, true), windows);
  EXPECT_EQ(ExpandVariables("<WinSys32Dir>kernel32.dll", "\\", true, true), SystemFolder() + "kernel32.dll");
  EXPECT_EQ(ExpandVariables("<TempDir>", "\\", true, true), TempFolder(false));
  EXPECT_EQ(ExpandVariables("<SrcDir>", "\\", true, true), ExeFolder(false));
  EXPECT_EQ(ExpandVariables("<UserAppDataDir>App", "\\", true, true), UserAppDataDir() + "\\App");
  EXPECT_EQ(ExpandVariables("<WinDrive>|<WinDisk>", "\\", true, true), windows.substr(0, 3) + "|" + windows.substr(0, 2));
  EXPECT_EQ(ExpandVariables("<LoggedUserName>@<ComputerName>", "\\", true, true), UserName() + "@" + ComputerName());
  EXPECT_EQ(ExpandVariables("<UserName>", "\\", true, true), RegisteredOwner());
  EXPECT_EQ(ExpandVariables("<Unknown>x", "\\", true, true), "<Unknown>x");

  SetInstallDirs("C:\\Program Files", "C:\\Common", "");
  EXPECT_EQ(ExpandVariables("<InstallDir>\\App\\app.exe", "\\", true, true), "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(ExpandVariables("<InstallDir>\\App\\..\\Other", "\\", true, true), "C:\\Program Files\\Other");
  SetInstallDirs("", "", "");
}

TEST(VariablesOnThePrefix, DateAndDots) {
  auto today = [] {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return "log-" + IntToZeroPadded(now.wYear, 4) + "-" + IntToZeroPadded(now.wMonth, 2) + "-" +
           IntToZeroPadded(now.wDay, 2) + ".txt";
  };
  const std::string before = today();
  const std::string expanded = ExpandVariables("log-<Date=6>.txt", "\\", false, false);
  // Around midnight the date may move on between the readings.
  EXPECT_TRUE(expanded == before || expanded == today()) << expanded;
  EXPECT_EQ(ExpandVariables("C:\\App\\..\\Other", "\\", true, false), "C:\\Other");
  EXPECT_EQ(ExpandVariables("|C:\\A\\..\\B|C:\\Keep|", "\\", true, false), "|C:\\B|C:\\Keep|");
}

}  // namespace
