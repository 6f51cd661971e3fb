#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "system/CommandLine.h"
#include "system/TestHooks.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"

namespace {

std::string ThisProgram() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// ZStub.exe is built into the same folder as this test program.
std::string StubPath() { return ExtractFilePath(ThisProgram()) + "ZStub.exe"; }

// A private folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name)
      : path_(TempFolder() + name + "." + std::to_string(GetCurrentProcessId()) + "\\") {
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(FindFirstFileA((path_ + "*").c_str(), &data));
    if (find) {
      do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((path_ + data.cFileName).c_str());
      } while (FindNextFileA(find.get(), &data));
    }
    find.reset();
    RemoveDirectoryA(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

// ---- Ini files ---------------------------------------------------------------------------

TEST(IniFiles, RoundTripsThroughThePrivateProfileFunctions) {
  ScratchFolder folder("ini");
  const std::string ini = folder.path() + "setup.original";

  EXPECT_TRUE(WriteIniString(ini, "OriginalSetup", "Name", "Zorvik Demo 1.2"));
  EXPECT_EQ(ReadIniString(ini, "OriginalSetup", "Name", "x"), "Zorvik Demo 1.2");
  EXPECT_EQ(ReadIniString(ini, "originalsetup", "NAME", "x"), "Zorvik Demo 1.2");  // the system ignores case

  // A key written with an empty value is present in the file but reads as the default.
  EXPECT_TRUE(WriteIniString(ini, "OriginalSetup", "Empty", ""));
  EXPECT_NE(FileContents(ini).find("Empty="), std::string::npos);
  EXPECT_EQ(ReadIniString(ini, "OriginalSetup", "Empty", "dflt"), "dflt");

  EXPECT_TRUE(WriteIniInt(ini, "AutoUpdate", "Big", -9000000000123LL));
  EXPECT_EQ(ReadIniInt(ini, "AutoUpdate", "Big", 5), -9000000000123LL);
  EXPECT_TRUE(WriteIniString(ini, "AutoUpdate", "NotNumber", "12abc"));
  EXPECT_EQ(ReadIniInt(ini, "AutoUpdate", "NotNumber", 7), 7);
  EXPECT_EQ(ReadIniInt(ini, "AutoUpdate", "Missing", 8), 8);
  EXPECT_EQ(ReadIniString(ini, "NoSection", "Name", "d"), "d");
}

TEST(IniFiles, ValuesLongerThanTheBufferComeBackWhole) {
  ScratchFolder folder("ini");
  const std::string ini = folder.path() + "long.ini";
  for (std::size_t length : {std::size_t{kValueBufferSize} - 1, std::size_t{kValueBufferSize},
                             std::size_t{kValueBufferSize} + 1, std::size_t{30000}}) {
    // Wine's profile reader drops values of 32767 characters or more; Windows keeps them.
    std::string value(length, 'v');
    value.back() = 'E';
    ASSERT_TRUE(WriteIniString(ini, "S", "Long", value));
    EXPECT_EQ(ReadIniString(ini, "S", "Long", "d"), value) << "length " << length;
  }
  // A long default of a missing key is not cut either.
  std::string longDefault(20000, 'd');
  EXPECT_EQ(ReadIniString(ini, "S", "Missing", longDefault), longDefault);
}

TEST(IniFiles, EmptyNamesAndMissingFilesGiveTheDefault) {
  ScratchFolder folder("ini");
  const std::string ini = folder.path() + "names.ini";
  EXPECT_FALSE(WriteIniString("", "S", "K", "v"));
  EXPECT_FALSE(WriteIniString(ini, "", "K", "v"));
  EXPECT_FALSE(WriteIniString(ini, "S", "", "v"));
  EXPECT_EQ(GetFileAttributesA(ini.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing was written

  ASSERT_TRUE(WriteIniString(ini, "S", "K", "v"));
  EXPECT_EQ(ReadIniString(ini, "", "K", "d"), "d");
  EXPECT_EQ(ReadIniString(ini, "S", "", "d"), "d");
  EXPECT_EQ(ReadIniString(folder.path() + "missing.ini", "S", "K", "d"), "d");
  EXPECT_EQ(ReadIniInt(folder.path() + "missing.ini", "S", "K", -3), -3);
}

// ---- Registry ----------------------------------------------------------------------------

TEST(Registry, RootNamesAndPaths) {
  const struct {
    const char* name;
    HKEY root;
  } roots[] = {
      {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {"hkcr", HKEY_CLASSES_ROOT},
      {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {"HkLm", HKEY_LOCAL_MACHINE},
      {"HKEY_USERS", HKEY_USERS},
      {"HKU", HKEY_USERS},
      {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
      {"HKCC", HKEY_CURRENT_CONFIG},
      {"HKEY_DYN_DATA", HKEY_DYN_DATA},
      {"HKDD", HKEY_DYN_DATA},
      {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"HKEY_PERFORMANCE_DATA", HKEY_CURRENT_USER},  // not in the table
      {"HKLM2", HKEY_CURRENT_USER},
      {"", HKEY_CURRENT_USER},
  };
  for (const auto& c : roots) EXPECT_EQ(RegRootFromName(c.name), c.root) << c.name;

  const struct {
    const char* path;
    HKEY root;
    const char* subKey;
  } paths[] = {
      {"  HKLM\\Software\\Zorvik\\SpanDisk ", HKEY_LOCAL_MACHINE, "Software\\Zorvik\\SpanDisk"},
      {"hkey_users", HKEY_USERS, ""},
      {"Software\\Zorvik", HKEY_CURRENT_USER, "Software\\Zorvik"},
      {"HKXX\\Software\\Zorvik", HKEY_CURRENT_USER, "Software\\Zorvik"},
      {"", HKEY_CURRENT_USER, ""},
  };
  for (const auto& c : paths) {
    RegPath split = SplitRegPath(c.path);
    EXPECT_EQ(split.root, c.root) << c.path;
    EXPECT_EQ(split.subKey, c.subKey) << c.path;
  }
}

namespace {

// A key of its own under HKEY_CURRENT_USER, deleted with its values at the end.
class TestKey {
 public:
  TestKey() : subKey_("Software\\ZorvikTest\\" + std::to_string(GetCurrentProcessId())) {
    RegCreateKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.receive(),
                    nullptr);
  }
  ~TestKey() {
    key_.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZorvikTest");
  }
  bool Set(const char* name, DWORD type, const std::string& bytes) {
    return RegSetValueExA(key_.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }
  const std::string& subKey() const { return subKey_; }

 private:
  std::string subKey_;
  UniqueHKey key_;
};

}  // namespace

TEST(Registry, ReadsEachValueTypeFromTheRealRegistry) {
  TestKey key;
  const std::string dword("\xFF\xFF\xFF\xFF", 4);
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"Text", REG_SZ, std::string("Zorvik\0", 7), "Zorvik"},
      {"Dword", REG_DWORD, dword, "4294967295"},  // unsigned
      {"DwordSmall", REG_DWORD, std::string("\x2A\0\0\0", 4), "42"},
      {"Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9), "one<0>two"},
      {"MultiEmptyItem", REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), "a<0><0>b"},
      {"MultiShort", REG_MULTI_SZ, std::string("x\0", 2), "x"},
      {"Expand", REG_EXPAND_SZ, std::string("%TEMP%\\z\0", 9), "%TEMP%\\z"},  // not expanded
      {"Binary", REG_BINARY, std::string("ab\0cd", 5), "ab"},
      {"BinaryNoNul", REG_BINARY, std::string("abcd", 4), "abcd"},
      {"EmptyText", REG_SZ, std::string("\0", 1), ""},
  };
  for (const auto& c : cases) ASSERT_TRUE(key.Set(c.name, c.type, c.bytes)) << c.name;
  for (const auto& c : cases)
    EXPECT_EQ(ReadRegString("HKEY_CURRENT_USER\\" + key.subKey(), c.name, "d", false), c.expected) << c.name;

  // Every way of naming the current user reaches the same key; so does an unknown root.
  for (std::string root : {"HKCU\\", "hkey_current_user\\", "", "HKEY_PERFORMANCE_DATA\\"})
    EXPECT_EQ(ReadRegString(root + key.subKey(), "Text", "d", false), "Zorvik") << root;

  // The default value of the key, a missing value and a missing key.
  ASSERT_TRUE(key.Set("", REG_SZ, std::string("dv\0", 3)));
  EXPECT_EQ(ReadRegString("HKCU\\" + key.subKey(), "", "d", false), "dv");
  EXPECT_EQ(ReadRegString("HKCU\\" + key.subKey(), "Missing", "d", false), "d");
  EXPECT_EQ(ReadRegString("HKCU\\" + key.subKey() + "\\Missing", "Text", "d", false), "d");
}

TEST(Registry, ValuesLargerThanTheBufferGiveTheDefault) {
  TestKey key;
  std::string fits(kValueBufferSize - 1, 'f');
  std::string tooLong(kValueBufferSize + 100, 'L');
  ASSERT_TRUE(key.Set("Fits", REG_SZ, fits + std::string(1, '\0')));
  ASSERT_TRUE(key.Set("TooLong", REG_SZ, tooLong + std::string(1, '\0')));
  ASSERT_TRUE(key.Set("TooLongBinary", REG_BINARY, tooLong));
  ASSERT_TRUE(key.Set("TooLongMulti", REG_MULTI_SZ, tooLong + std::string(2, '\0')));
  // Exactly the buffer's size with no NUL at all: read up to the end of the data.
  ASSERT_TRUE(key.Set("FullNoNul", REG_BINARY, std::string(kValueBufferSize, 'n')));
  const std::string path = "HKCU\\" + key.subKey();
  EXPECT_EQ(ReadRegString(path, "Fits", "d", false), fits);
  EXPECT_EQ(ReadRegString(path, "TooLong", "d", false), "d");
  EXPECT_EQ(ReadRegString(path, "TooLongBinary", "d", false), "d");
  EXPECT_EQ(ReadRegString(path, "TooLongMulti", "d", false), "d");
  EXPECT_EQ(ReadRegString(path, "FullNoNul", "d", false), std::string(kValueBufferSize, 'n'));
}

TEST(Registry, LocalMachineByLongAndShortName) {
  ASSERT_TRUE(IsWindowsNT());
  EXPECT_EQ(WindowsVersionKey(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  const std::string longName = ReadRegString(WindowsVersionKey(), "CurrentVersion", "", false);
  EXPECT_FALSE(longName.empty());
  EXPECT_EQ(ReadRegString("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", "", false),
            longName);
  // The 64-bit view of the same key on a 64-bit system.
  EXPECT_EQ(ReadRegString(WindowsVersionKey(), "CurrentVersion", "", true), longName);
}

namespace {

// A value of the Windows version key set for a test in both registry views, and the
// earlier state put back afterwards.
class VersionKeyValue {
 public:
  explicit VersionKeyValue(const char* name) : name_(name) {
    for (int i = 0; i < 2; ++i) {
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_READ | KEY_SET_VALUE | kViews[i], &keys_[i]);
      char value[1024] = {};
      DWORD size = sizeof value - 1;
      had_[i] = keys_[i] && RegQueryValueExA(keys_[i], name_, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                             &size) == ERROR_SUCCESS;
      old_[i] = value;
    }
  }
  ~VersionKeyValue() {
    for (int i = 0; i < 2; ++i) {
      if (!keys_[i]) continue;
      if (had_[i])
        Set(i, old_[i]);
      else
        RegDeleteValueA(keys_[i], name_);
      RegCloseKey(keys_[i]);
    }
  }
  bool Set(const std::string& value) {
    bool ok = true;
    for (int i = 0; i < 2; ++i) ok = Set(i, value) && ok;
    return ok;
  }
  bool Remove() {
    for (HKEY key : keys_)
      if (key) RegDeleteValueA(key, name_);
    return keys_[0] != nullptr;
  }

 private:
  bool Set(int i, const std::string& value) {
    return keys_[i] && RegSetValueExA(keys_[i], name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }
  static constexpr REGSAM kViews[2] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  const char* name_;
  HKEY keys_[2] = {};
  bool had_[2] = {};
  std::string old_[2];
};

std::string LogonName() {
  char name[256] = {};
  DWORD size = sizeof name;
  return GetUserNameA(name, &size) ? name : "";
}

}  // namespace

TEST(Registry, RegisteredOwnerAndOrganisation) {
  VersionKeyValue owner("RegisteredOwner"), organisation("RegisteredOrganization");
  ASSERT_TRUE(owner.Set("  Ada Owner \t"));
  ASSERT_TRUE(organisation.Set(" Brenmoor Test Ltd "));
  EXPECT_EQ(RegisteredOwner(), "Ada Owner");
  EXPECT_EQ(RegisteredOrganization(), "Brenmoor Test Ltd");
  // Without the values: the logon name, and no organisation.
  ASSERT_TRUE(owner.Remove());
  ASSERT_TRUE(organisation.Remove());
  EXPECT_EQ(RegisteredOwner(), LogonName());
  EXPECT_EQ(RegisteredOrganization(), "");
}

// ---- Version and resources of the stub ---------------------------------------------------

TEST(StubResources, VersionIconAndManifest) {
  const std::string stub = StubPath();
  EXPECT_EQ(GetExeVersion(stub), "1.0.0.1");
  EXPECT_EQ(GetExeVersion(stub, 2, 3), "01.00.00");
  EXPECT_EQ(GetExeVersion(stub, 1, 2), "1.0");

  UniqueLibrary module(LoadLibraryExA(stub.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  EXPECT_NE(FindResourceA(module.get(), "MainIcon", MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  HANDLE icon = LoadImageA(module.get(), "MainIcon", IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(icon, nullptr);
  if (icon) DestroyIcon(static_cast<HICON>(icon));

  HRSRC manifest = FindResourceA(module.get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(manifest, nullptr);
  HGLOBAL data = LoadResource(module.get(), manifest);
  ASSERT_NE(data, nullptr);
  std::string text(static_cast<const char*>(LockResource(data)), SizeofResource(module.get(), manifest));
  EXPECT_NE(text.find("requireAdministrator"), std::string::npos);
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

TEST(GetExeVersion, FilesWithoutAVersionBlock) {
  // This test program carries no version resource; an empty name means the own file.
  EXPECT_EQ(GetExeVersion(ThisProgram()), "");
  EXPECT_EQ(GetExeVersion(""), "");
  EXPECT_EQ(GetExeVersion(TempFolder() + "no-such-file.exe"), "");
  ScratchFolder folder("ver");
  std::ofstream(folder.path() + "junk.exe", std::ios::binary) << "MZ not really";
  EXPECT_EQ(GetExeVersion(folder.path() + "junk.exe", 2, 3), "");
  // A system library has one.
  EXPECT_FALSE(GetExeVersion(SystemFolder() + "kernel32.dll").empty());
}

TEST(LoadProc, FindsEntryPointsOfSystemLibrariesOnly) {
  HMODULE module = nullptr;
  EXPECT_NE(LoadProc("version.dll", "VerQueryValueA", module), nullptr);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(LoadProc("version.dll", "NoSuchEntryPoint", module), nullptr);
  EXPECT_EQ(LoadProc("no-such-library.dll", "Anything", module), nullptr);
  EXPECT_EQ(module, nullptr);
  // Names with a path are refused: they would be looked up outside the system folder.
  EXPECT_EQ(LoadProc(".\\version.dll", "VerQueryValueA", module), nullptr);
  EXPECT_EQ(LoadProc(SystemFolder() + "version.dll", "VerQueryValueA", module), nullptr);
}

// ---- Process, environment and system ----------------------------------------------------

TEST(DeveloperMode, OnlyTheExactValueAndReadOnce) {
  const struct {
    const char* value;  // null: not set
    bool on;
  } cases[] = {{"432", true}, {"4321", false}, {" 432", false}, {"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SetEnvironmentVariableA("DVX", c.value);
    ForgetDeveloperMode();
    EXPECT_EQ(IsDeveloperMode(), c.on) << (c.value ? c.value : "(unset)");
  }
  SetEnvironmentVariableA("DVX", "432");
  ForgetDeveloperMode();
  ASSERT_TRUE(IsDeveloperMode());
  SetEnvironmentVariableA("DVX", nullptr);
  EXPECT_TRUE(IsDeveloperMode());  // cached for the life of the process
  ForgetDeveloperMode();
}

TEST(SystemQueries, FoldersNamesAndErrorTexts) {
  for (auto folder : {WindowsFolder, SystemFolder, TempFolder}) {
    std::string with = folder(true);
    std::string without = folder(false);
    ASSERT_FALSE(without.empty());
    EXPECT_EQ(with, without + "\\");
    DWORD attributes = GetFileAttributesA(without.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << without;
  }
  EXPECT_TRUE(StartsWith(WindowsFolder(), SystemFolder(), true));
  EXPECT_FALSE(UserName().empty());
  EXPECT_FALSE(ComputerName().empty());
  // A local account's domain is the computer's name.
  EXPECT_FALSE(UserDomain().empty());
  EXPECT_TRUE(IsWindowsNT());

  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = LastErrorText();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  SetLastError(0x2000ABCD);  // a customer code without a system message
  EXPECT_EQ(LastErrorText(), "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"");

  for (char separator : {SystemDateSeparator(), SystemTimeSeparator()})
    EXPECT_TRUE(separator != 0 && !std::isalnum(static_cast<unsigned char>(separator))) << int(separator);
  EXPECT_EQ(PointsToPixels(0), 0);
  EXPECT_GE(PointsToPixels(72), 72);  // at least 96 pixels per inch under Wine and Windows
}

TEST(SystemQueries, CommandLineComesFromTheProcess) {
  InitCommandLineFromProcess();
  EXPECT_EQ(RawCommandLine(), GetCommandLineA());
  EXPECT_EQ(ProgramPath(), ThisProgram());
  EXPECT_TRUE(EndsWith("wine_tests.exe", ExeFileName(), true));
}

TEST(TickMs, MonotonicAndInMilliseconds) {
  std::int64_t previous = TickMs();
  for (int i = 0; i < 1000; ++i) {
    std::int64_t now = TickMs();
    ASSERT_GE(now, previous);
    previous = now;
  }
  std::int64_t start = TickMs();
  Sleep(200);
  std::int64_t elapsed = TickMs() - start;
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 2000);
}

// ---- Windows ------------------------------------------------------------------------------

TEST(Windows, CentringUsesIntegerHalvesOfTheArea) {
  const RECT area = {10, 20, 1010, 720};  // 1000 x 700
  const struct {
    int width, height, left, top;
  } cases[] = {
      {200, 100, 410, 320},
      {201, 101, 409, 319},   // odd remainders round towards zero
      {1000, 700, 10, 20},    // exactly the area
      {1201, 801, -90, -30},  // larger than the area: overhangs on both sides
  };
  for (const auto& c : cases) {
    int left = 0, top = 0;
    CenterInArea(area, c.width, c.height, left, top);
    EXPECT_EQ(left, c.left) << c.width;
    EXPECT_EQ(top, c.top) << c.height;
  }
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  int left = 0, top = 0;
  CenterInWorkArea(300, 200, left, top);
  EXPECT_EQ(left, work.left + (work.right - work.left - 300) / 2);
  EXPECT_EQ(top, work.top + (work.bottom - work.top - 200) / 2);
}

TEST(Windows, ClassNameTextAndOwnerChain) {
  UniqueWindow top(CreateWindowExA(0, "STATIC", "Zorvik top", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(top);
  UniqueWindow middle(
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, top.get(), nullptr, nullptr, nullptr));
  UniqueWindow bottom(
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, middle.get(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(middle && bottom);
  EXPECT_EQ(TopOwner(bottom.get()), top.get());
  EXPECT_EQ(TopOwner(top.get()), top.get());
  EXPECT_EQ(TopOwner(nullptr), nullptr);

  EXPECT_TRUE(SameText(WindowClassName(top.get()), "Static"));
  EXPECT_EQ(WindowText(top.get()), "Zorvik top");
  EXPECT_EQ(WindowClassName(nullptr), "");
  EXPECT_EQ(WindowText(nullptr), "");
  std::string longTitle(3000, 't');
  SetWindowTextA(top.get(), longTitle.c_str());
  EXPECT_EQ(WindowText(top.get()), longTitle.substr(0, 1023));  // title buffer of 1024
}

TEST(ShellOpen, RunsTheDefaultActionAndReportsFailure) {
  ScratchFolder folder("shell");
  const std::string batch = folder.path() + "mark.bat";
  const std::string marker = folder.path() + "marker.txt";
  std::ofstream(batch) << "@echo done> \"" << marker << "\"\r\n";
  ASSERT_TRUE(ShellOpen(batch, "", SW_HIDE));
  for (int i = 0; i < 100 && GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ShellOpen(folder.path() + "missing.txt", "", SW_HIDE));
}
