#include "driver/StubGlob.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>
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

std::string ProtectedTempBase() {
  char windows[MAX_PATH + 1];
  const UINT n = GetSystemWindowsDirectoryA(windows, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string()
                                 : SetTrailingBackslash(std::string(windows, n), true) + "Temp\\";
}

bool HoldCheckedFolder(const std::string& folder) {
  // Data access (listing) makes the handle count against removal and renaming; the
  // folder itself is opened, never what a reparse point at its name leads to.
  UniqueHandle handle(CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!handle || !GetFileInformationByHandle(handle.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
          FILE_ATTRIBUTE_DIRECTORY ||
      GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  UniqueLocalMemory descriptorOwner(descriptor);
  // Owned by the administrators or SYSTEM, or by whoever owns the folder it lies in (who
  // could replace that folder as a whole anyway; under Wine, which keeps no owners,
  // every folder reports the user).
  PSID parentOwner = nullptr;
  PSECURITY_DESCRIPTOR parentDescriptor = nullptr;
  GetNamedSecurityInfoA(ExtractFileDir(folder).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &parentOwner, nullptr, nullptr, nullptr, &parentDescriptor);
  UniqueLocalMemory parentDescriptorOwner(parentDescriptor);
  if (!owner || !(IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                  IsWellKnownSid(owner, WinLocalSystemSid) || (parentOwner && EqualSid(owner, parentOwner))))
    return false;
  return HoldPath(folder, std::move(handle));
}

std::string MakeProtectedSetupFolder(const std::string& tempFolderWithBackslash) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (tempFolderWithBackslash.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
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
    if (!CreateDirectoryA(name.c_str(), &attributes)) continue;
    if (HoldCheckedFolder(name)) return name;
    RemoveDirectoryA(name.c_str());
    return "";
  }
  return "";
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
  static const std::string folder = [] {
    const std::string program = ProgramPath();
    if (ProcessIsElevated()) {
      // Empty when no protected folder can be had: never a place the user can reach. The
      // span copy makes one of its own too (the launcher's stays with the copy's file).
      return MakeProtectedSetupFolder(ProtectedTempBase());
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
