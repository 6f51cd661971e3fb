#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "folders/RunTimeDir.h"
#include "folders/ShellDirLogic.h"
#include "folders/VariablesLogic.h"
#include "system/Utils.h"

namespace {

// A machine made of a few folders: what the shell answers and which paths exist.
struct FakeMachine {
  std::map<int, std::string> shell, oldShell;
  std::set<std::string> folders;
  std::string windows = "C:\\Windows";
  std::string owner = "Ann";

  FolderSources Sources() const {
    FolderSources s;
    s.shellFolder = [this](int id) { return shell.count(id) ? shell.at(id) : std::string(); };
    s.oldShellFolder = [this](int id) { return oldShell.count(id) ? oldShell.at(id) : std::string(); };
    s.exists = [this](const std::string& path) { return folders.count(path) > 0; };
    s.windowsFolder = [this] { return windows; };
    s.registeredOwner = [this] { return owner; };
    return s;
  }
  std::string Path(SpecialFolder f, bool withBackslash = false) const {
    return SpecialFolderPath(f, Sources(), withBackslash);
  }
};

FakeMachine ModernMachine() {
  FakeMachine m;
  m.shell = {{csidl::kPersonalCreate, "C:\\Users\\Ann\\Documents"},
             {csidl::kAppDataCreate, "C:\\Users\\Ann\\AppData\\Roaming\\"},
             {csidl::kCommonAppDataCreate, "C:\\ProgramData"}};
  m.folders = {"C:\\Users\\Ann\\Documents", "C:\\Users\\Ann", "C:\\Users", "C:\\ProgramData", "C:",
               "C:\\Users\\Ann\\AppData\\Roaming", "C:\\Windows"};
  return m;
}

TEST(SpecialFolders, ParentsOfTheShellFolders) {
  const FakeMachine m = ModernMachine();
  EXPECT_EQ(m.Path(SpecialFolder::UserDir), "C:\\Users\\Ann");
  EXPECT_EQ(m.Path(SpecialFolder::DocumentsAndSettingsDir), "C:\\Users");
  EXPECT_EQ(m.Path(SpecialFolder::MyDocumentsDir, true), "C:\\Users\\Ann\\Documents\\");
  // The parent of C:\ProgramData loses its backslash, and gets it back when asked.
  EXPECT_EQ(m.Path(SpecialFolder::AllUsersDir), "C:");
  EXPECT_EQ(m.Path(SpecialFolder::AllUsersDir, true), "C:\\");
  EXPECT_EQ(m.Path(SpecialFolder::UserAppDataDir), "C:\\Users\\Ann\\AppData\\Roaming");
}

TEST(SpecialFolders, FallbacksWithoutTheShell) {
  FakeMachine m;  // no shell answers
  m.folders = {"C:\\Windows"};
  // No Profiles folder: the Windows folder stands in.
  EXPECT_EQ(ProfilesFolder(m.Sources()), "C:\\Windows");
  EXPECT_EQ(m.Path(SpecialFolder::UserAppDataDir), "C:\\Windows\\Application Data");
  EXPECT_EQ(m.Path(SpecialFolder::UserDir), "C:\\Windows");
  EXPECT_EQ(m.Path(SpecialFolder::AllUsersDir), "C:\\Windows");
  EXPECT_EQ(m.Path(SpecialFolder::AllUsersDocumentsDir), "C:\\Windows\\Documents");
  EXPECT_EQ(m.Path(SpecialFolder::MyDocumentsDir), "C:\\Windows\\My Documents");
  // The last fallback is the result even when it does not exist either.
  EXPECT_EQ(m.Path(SpecialFolder::UserStartMenuDir), "C:\\Windows\\Start Menu");
  EXPECT_EQ(m.Path(SpecialFolder::UserStartProgramMenuDir), "C:\\Windows\\Start Menu\\Programs");
  EXPECT_EQ(m.Path(SpecialFolder::AllUsersDesktopDir), "C:\\Windows\\Desktop");

  m.folders.insert("C:\\Windows\\Profiles\\Ann");
  EXPECT_EQ(m.Path(SpecialFolder::UserAppDataDir), "C:\\Windows\\Profiles\\Ann\\Application Data");
  EXPECT_EQ(m.Path(SpecialFolder::UserDir), "C:\\Windows\\Profiles\\Ann");
  // The user's start menu: from the user folder first, then the common one.
  m.folders.insert("C:\\Windows\\Profiles\\Ann\\Desktop");
  EXPECT_EQ(m.Path(SpecialFolder::UserDesktopDir), "C:\\Windows\\Profiles\\Ann\\Desktop");
  m.oldShell[csidl::kDesktopDirectory] = "D:\\Desk";
  m.folders.insert("D:\\Desk");
  EXPECT_EQ(m.Path(SpecialFolder::UserDesktopDir), "D:\\Desk");
}

TEST(SpecialFolders, System16Folder) {
  std::set<std::string> folders = {"C:\\Windows\\system"};
  auto exists = [&](const std::string& p) { return folders.count(p) > 0; };
  EXPECT_EQ(System16Folder("C:\\Windows\\system32", "C:\\Windows", exists), "C:\\Windows\\system");
  // Only the last "32" goes.
  folders = {"C:\\32Win\\system"};
  EXPECT_EQ(System16Folder("C:\\32Win\\system32\\", "C:\\32Win", exists), "C:\\32Win\\system");
  folders = {"C:\\Windows\\System"};
  EXPECT_EQ(System16Folder("C:\\Windows\\sys", "C:\\Windows", exists), "C:\\Windows\\System");
  folders.clear();
  EXPECT_EQ(System16Folder("C:\\Windows\\system32", "C:\\Windows", exists), "C:\\Windows\\system32");
}

TEST(RunTimeFolders, OriginAndNumberedFolders) {
  EXPECT_EQ(OriginExeFrom("", "C:\\Stub\\a.exe"), "C:\\Stub\\a.exe");
  EXPECT_EQ(OriginExeFrom("D:\\Setup.exe", "C:\\Stub\\a.exe"), "D:\\Setup.exe");
  for (int n = 0; n <= 9; ++n) EXPECT_EQ(RunTimeFolder(n), "") << n;
}

// ---- Variable expansion -------------------------------------------------------------

VariableValues SampleValues() {
  VariableValues v;
  v.date.now = {2026, 3, 7, 9, 5, 4};
  v.date.monthNames[3] = "March";
  v.date.dateSeparator = '.';
  v.date.timeSeparator = ':';
  v.loggedUserName = "ann";
  v.registeredOwner = "Ann Owner";
  v.registeredOrganization = "Org";
  v.computerName = "PC1";
  v.userDomain = "DOM";
  v.windowsFolder = "C:\\Windows";
  v.systemFolder = "C:\\Windows\\system32";
  v.system16Folder = "C:\\Windows\\system";
  v.originFolder = "E:\\Origin";
  v.srcFolder = "D:\\Agent";
  v.tempFolder = "C:\\Temp";
  v.programFilesFolder = "C:\\Program Files";
  v.userAppDataDir = "C:\\Users\\Ann\\AppData\\Roaming";
  v.allUsersDesktopDir = "C:\\Users\\Public\\Desktop";
  v.fullPath = [](const std::string& path) {
    // Enough of the system's resolution for these tests: "X\..\" pairs collapse.
    std::string p = path;
    for (std::size_t at; (at = p.find("\\..")) != std::string::npos;) {
      const std::size_t start = p.rfind('\\', at - 1);
      if (start == std::string::npos) break;
      p.erase(start, at + 3 - start);
    }
    return p;
  };
  return v;
}

std::string Expand(const std::string& text, const VariableValues& v = SampleValues()) {
  return ExpandVariablesWith(text, "\\", true, true, v);
}

TEST(Variables, FolderSeparatorRule) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"<WinDir>notepad.exe", "C:\\Windows\\notepad.exe"},
      {"<WinDir>\\notepad.exe", "C:\\Windows\\notepad.exe"},  // the doubled backslash collapses
      {"<WinDir>", "C:\\Windows"},
      {"<WinDir> notepad", "C:\\Windows notepad"},
      {"|<WinDir>|<TempDir>|", "|C:\\Windows|C:\\Temp|"},  // the list separator follows
      {"<windir>x", "C:\\Windows\\x"},
      {"<WINSYS32DIR>a.dll", "C:\\Windows\\system32\\a.dll"},
      {"<WinDir>a;<WinDir>", "C:\\Windows\\a;C:\\Windows\\"},  // decided once, on the first
      {"<NotAVariable>\\x", "<NotAVariable>\\x"},
      {"<RunTimeDir_2>x", "\\x"},
      {"<WinDrive>x <WinDisk>", "C:\\x C:"},
      {"<OriginDrive>|<SrcDir>x", "E:\\|D:\\Agent\\x"},
      {"<OriginDrive>|<SrcDir>", "E:\\|D:\\Agent"},
      {"<ServiceDir>s.exe", "D:\\Agent\\s.exe"},
      {"<UserAppDataDir>App", "C:\\Users\\Ann\\AppData\\Roaming\\App"},
      {"<AllUsersDesktopDir>", "C:\\Users\\Public\\Desktop"},
      {"<UnInstallExePath>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expected) << c.text;
}

TEST(Variables, InstallationFolders) {
  VariableValues v = SampleValues();
  v.installFolder = "C:\\Program Files";
  v.commonFolder = "C:\\Common";
  EXPECT_EQ(Expand("<InstallDir>\\App", v), "C:\\Program Files\\App");
  EXPECT_EQ(Expand("<InstallCommonDir>lib", v), "C:\\Common\\lib");
  EXPECT_EQ(Expand("<AbsoluteDir>D:\\x", v), "D:\\x");
  // A text with the long name loses its short one before that could be expanded.
  EXPECT_EQ(Expand("<Application Folder>a|<InstallDir>b", v), "C:\\Program Files\\a|b");
  EXPECT_EQ(Expand("<InstallDrive>", v), "C:\\");
}

TEST(Variables, ValueStage) {
  EXPECT_EQ(Expand("<LoggedUserName>/<UserName>/<CompanyName>/<ComputerName>/<CurrentDomainName>"),
            "ann/Ann Owner/Org/PC1/DOM");
  EXPECT_EQ(Expand("[<LastExecutableExitCode>,<ReqFreeDiskSpaceMB>,<ProjectName>,<SelectedLanguage>]"), "[0,0,,]");
  // Without the folder option the folders stay.
  EXPECT_EQ(ExpandVariablesWith("<WinDir>x <UserName>", "\\", false, false, SampleValues()), "<WinDir>x Ann Owner");
}

TEST(Variables, DateVariable) {
  const DateValues date = SampleValues().date;
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"<Date=#>", "07.March.2026"},
      {"<Date=1>", "07-03-26"},
      {"<Date=2>", "03-07-26"},
      {"<Date=3>", "26-03-07"},
      {"<Date=4>", "07-03-2026"},
      {"<Date=5>", "03-07-2026"},
      {"a<date=6>b", "a2026-03-07b"},
      {"<Date=7>", "2026-03-07 09:05:04"},
      {"<Date=9>", "<Date=9>"},
      {"<Date=6><Date=6>", "2026-03-07<Date=6>"},  // only the first
      {"<Date=>", "<Date=>"},
      {"<Date=6", "<Date=6"},    // no ">" follows
      {"<Date=", "<Date="},
      {"<Date=6x>", "2026-03-07>"},  // the character after the code goes, whatever it is
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandDateVariable(c.text, date), c.expected) << c.text;

  DateValues jan2 = date;
  jan2.now = {2000, 1, 2, 12};
  EXPECT_EQ(ExpandDateVariable("<Date=0>", jan2), "1");
}

TEST(Variables, ResolveDots) {
  EXPECT_EQ(Expand("C:\\App\\..\\Other"), "C:\\Other");
  EXPECT_EQ(Expand("|C:\\A\\..\\B|C:\\Keep|"), "|C:\\B|C:\\Keep|");
  EXPECT_EQ(ExpandVariablesWith("C:\\App\\..\\Other", "\\", false, true, SampleValues()), "C:\\App\\..\\Other");
  // A resolved item holding the list separator gives the list another separator.
  VariableValues v = SampleValues();
  v.fullPath = [](const std::string&) { return std::string("C:\\a,b"); };
  EXPECT_EQ(Expand(",x\\..,y,", v), "|C:\\a,b|y|");
}

TEST(Variables, HostileTextsStayLinear) {
  // A huge list of dotted items and a text full of variables finish quickly.
  std::string list = "|";
  for (int i = 0; i < 200000; ++i) list += "C:\\a\\..\\b|";
  const std::string resolved = Expand(list);
  EXPECT_EQ(resolved.substr(0, 9), "|C:\\b|C:\\");
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "<WinDir><Date=6><InstallDir>";
  EXPECT_FALSE(Expand(many).empty());
}

}  // namespace
