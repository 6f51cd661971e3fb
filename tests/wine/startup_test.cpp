// The process-wide pieces of the start routine that need Windows: the setup temporary
// folder and the agent log file.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "driver/StubGlob.h"
#include "system/CommandLine.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "tests/wine/TestSupport.h"

namespace {


bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// An executable whose last write lies at a fixed local time, so that the folder name
// its SetupTempFolder gets is known before the file is placed.
void SetLocalWriteTime(const std::string& path, WORD dosDate, WORD dosTime) {
  FILETIME local, utc;
  DosDateTimeToFileTime(dosDate, dosTime, &local);
  LocalFileTimeToFileTime(&local, &utc);
  UniqueHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.valid());
  SetFileTime(file.get(), nullptr, nullptr, &utc);
}

void Touch(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  UniqueHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TEST(SetupTempFolder, ClearsALeftoverFolderButNotTheOneTheCopyRunsFrom) {
  const WORD dosDate = (44 << 9) | (3 << 5) | 7;  // 7 March 2024
  const WORD dosTime = (13 << 11) | (25 << 5) | 10;
  const std::string folder = TempFolder(true) + "SETUP_" + std::to_string(dosTime);
  const std::string launcherFolder = TempFolder(true) + "zd_launcher";
  const std::string launcher = launcherFolder + "\\Setup.exe";
  CreateDirectoryA(launcherFolder.c_str(), nullptr);
  Touch(launcher);
  SetLocalWriteTime(launcher, dosDate, dosTime);
  ASSERT_EQ(FileDosTime(launcher), dosTime);

  // A folder left by an earlier run, with a read-only file in a sub-folder, is emptied.
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  Touch(folder + "\\sub\\old.txt", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(MakeSetupTempFolder(launcher), folder);
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_FALSE(Exists(folder + "\\sub"));

  // The span copy (same file date) lives in that folder and keeps it.
  const std::string copy = folder + "\\Y_Setup.exe";
  ASSERT_TRUE(CopyFileA(launcher.c_str(), copy.c_str(), FALSE));
  ASSERT_EQ(FileDosTime(copy), dosTime);
  EXPECT_EQ(MakeSetupTempFolder(copy), folder);
  EXPECT_TRUE(Exists(copy));

  // The cached folder of this very program is made once and then reused as it is.
  InitCommandLineFromProcess();
  const std::string own = SetupTempFolder();
  // Wine runs the tests elevated: then the folder is a protected one of a random name.
  if (ProcessIsElevated())
    EXPECT_NE(own, TempFolder(true) + "SETUP_" + std::to_string(FileDosTime(ProgramPath())));
  else
    EXPECT_EQ(own, TempFolder(true) + "SETUP_" + std::to_string(FileDosTime(ProgramPath())));
  Touch(own + "\\engine.exe");
  EXPECT_EQ(SetupTempFolder(), own);
  EXPECT_TRUE(Exists(own + "\\engine.exe"));

  DeleteFileA((own + "\\engine.exe").c_str());
  RemoveDirectoryA(own.c_str());
  DeleteFileA(copy.c_str());
  RemoveDirectoryA(folder.c_str());
  DeleteFileA(launcher.c_str());
  RemoveDirectoryA(launcherFolder.c_str());
}

namespace {

// Whether a folder made with a protected access list reads it back so.
bool KeepsSecurityDescriptors(const std::string& base) {
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;SY)", SDDL_REVISION_1, &made,
                                                            nullptr))
    return false;
  UniqueLocalMemory madeOwner(made);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, made, FALSE};
  const std::string probe = base + "zd_sd_probe_" + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(probe.c_str(), &attributes)) return false;
  PSECURITY_DESCRIPTOR read = nullptr;
  PACL dacl = nullptr;
  bool kept = false;
  if (GetNamedSecurityInfoA(probe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &read) == ERROR_SUCCESS) {
    UniqueLocalMemory readOwner(read);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    kept = GetSecurityDescriptorControl(read, &control, &revision) && (control & SE_DACL_PROTECTED);
  }
  RemoveDirectoryA(probe.c_str());
  return kept;
}

}  // namespace

// What an elevated stub extracts into: a fresh name each time, never an existing folder,
// and an access list of administrators and SYSTEM only, nothing inherited from the user's
// temporary folder.
TEST(SetupTempFolder, ProtectedFolderIsUnpredictableAndAdminOnly) {
  const std::string base = TempFolder(true);
  const std::string first = MakeProtectedSetupFolder(base);
  const std::string second = MakeProtectedSetupFolder(base);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(base + "SETUP_", 0), 0u) << first;
  EXPECT_GT(first.size(), base.size() + 6 + 30) << "fewer random digits than 128 bits give: " << first;

  // Wine keeps an access list only where the unix file system holds extended attributes.
  if (!KeepsSecurityDescriptors(base)) {
    RemoveDirectoryA(first.c_str());
    RemoveDirectoryA(second.c_str());
    GTEST_SKIP() << "this Wine prefix keeps no access lists of folders";
  }
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(first.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  UniqueLocalMemory owner(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  ASSERT_NE(dacl, nullptr);
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof size, AclSizeInformation));
  EXPECT_EQ(size.AceCount, 2u);
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID sid = &allowed->SidStart;
    EXPECT_TRUE(IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid))
        << i;
  }
  RemoveDirectoryA(first.c_str());
  RemoveDirectoryA(second.c_str());
}

TEST(AgentLog, WritesLinesOnlyWhenSwitchedOn) {
  InitCommandLineFromProcess();
  const std::string log = AgentLogFileName();
  DeleteFileA(log.c_str());

  AgentLogOn = false;
  AgentLog("silent");
  EXPECT_EQ(GetFileAttributesA(log.c_str()), INVALID_FILE_ATTRIBUTES);

  AgentLogOn = true;
  AgentLogIndent = " X ";
  AgentLog("WinMain");
  AgentLog("");
  AgentLogOn = false;
  AgentLogIndent = "   ";

  std::string content = ReadWholeFile(log);
  DeleteFileA(log.c_str());
  // "dd/mm/yy HH:NN:SS", blank, thread id right-aligned in 5, indent, text, CR LF.
  std::string tid = std::to_string(GetCurrentThreadId());
  std::string paddedTid = std::string(tid.size() < 5 ? 5 - tid.size() : 0, ' ') + tid;
  ASSERT_EQ(content.size(), 2 * (17 + 1 + paddedTid.size() + 3 + 2) + 7) << content;
  EXPECT_EQ(content.substr(17, 1 + paddedTid.size() + 3 + 7 + 2), " " + paddedTid + " X WinMain\r\n");
  EXPECT_EQ(content.substr(content.size() - (1 + paddedTid.size() + 3 + 2)), " " + paddedTid + " X \r\n");
}
