#include "folders/ShellDir.h"

#include <windows.h>
#include <shlobj.h>

#include "system/DllSafety.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/Win64.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"

namespace {

// The shell functions write up to MAX_PATH characters; the buffer leaves room to spare.
constexpr std::size_t kShellBufferSize = 1025;

constexpr const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char kShellFoldersKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string BufferText(const char* buffer) { return std::string(buffer, strnlen(buffer, kShellBufferSize)); }

std::string Special(SpecialFolder folder, bool withBackslash) {
  return SpecialFolderPath(folder, SystemFolderSources(), withBackslash);
}

std::string Registered(const char* key, const char* value, bool withBackslash) {
  const std::string path = ReadRegString(key, value, "", UseRegistry64View);
  return path.empty() ? path : SetTrailingBackslash(path, withBackslash);
}

}  // namespace

std::string ShellFolder(int csidl) {
  HMODULE module = nullptr;
  auto get = Z_LOAD_PROC("SHFolder.dll", SHGetFolderPathA, module);
  UniqueLibrary library(module);
  if (!get) return std::string();
  char buffer[kShellBufferSize] = {};
  return get(nullptr, csidl, nullptr, 0, buffer) == 0 ? BufferText(buffer) : std::string();
}

std::string OldShellFolder(int csidl) {
  HMODULE module = nullptr;
  auto get = Z_LOAD_PROC("shell32.dll", SHGetSpecialFolderPathA, module);
  UniqueLibrary library(module);
  if (!get) return std::string();
  char buffer[kShellBufferSize] = {};
  return get(nullptr, buffer, csidl, FALSE) ? BufferText(buffer) : std::string();
}

FolderSources SystemFolderSources() {
  FolderSources sources;
  sources.shellFolder = ShellFolder;
  sources.oldShellFolder = OldShellFolder;
  sources.exists = FolderExists;
  sources.windowsFolder = [] { return WindowsFolder(false); };
  sources.registeredOwner = RegisteredOwner;
  return sources;
}

std::string UserDir(bool b) { return Special(SpecialFolder::UserDir, b); }
std::string DocumentsAndSettingsDir(bool b) { return Special(SpecialFolder::DocumentsAndSettingsDir, b); }
std::string AllUsersDir(bool b) { return Special(SpecialFolder::AllUsersDir, b); }
std::string UserAppDataDir(bool b) { return Special(SpecialFolder::UserAppDataDir, b); }
std::string UserLocalAppDataDir(bool b) { return Special(SpecialFolder::UserLocalAppDataDir, b); }
std::string AllUsersAppDataDir(bool b) { return Special(SpecialFolder::AllUsersAppDataDir, b); }
std::string MyDocumentsDir(bool b) { return Special(SpecialFolder::MyDocumentsDir, b); }
std::string AllUsersDocumentsDir(bool b) { return Special(SpecialFolder::AllUsersDocumentsDir, b); }
std::string UserStartMenuDir(bool b) { return Special(SpecialFolder::UserStartMenuDir, b); }
std::string AllUsersStartMenuDir(bool b) { return Special(SpecialFolder::AllUsersStartMenuDir, b); }
std::string UserStartProgramMenuDir(bool b) { return Special(SpecialFolder::UserStartProgramMenuDir, b); }
std::string AllUsersStartProgramMenuDir(bool b) { return Special(SpecialFolder::AllUsersStartProgramMenuDir, b); }
std::string UserDesktopDir(bool b) { return Special(SpecialFolder::UserDesktopDir, b); }
std::string AllUsersDesktopDir(bool b) { return Special(SpecialFolder::AllUsersDesktopDir, b); }

std::string ProgramFilesDir(bool b) { return Registered(kCurrentVersionKey, "ProgramFilesDir", b); }
std::string CommonFilesDir(bool b) { return Registered(kCurrentVersionKey, "CommonFilesDir", b); }
std::string StartMenuDir(bool b) {
  return Registered(kShellFoldersKey, "Start Menu", b);
}
std::string FontDir(bool b) {
  const std::string fonts = Registered(kShellFoldersKey, "Fonts", false);
  return SetTrailingBackslash(FolderExists(fonts) ? fonts : WindowsFolder(true) + "Fonts", b);
}
std::string WinSys16Dir(bool b) {
  return SetTrailingBackslash(System16Folder(SystemFolder(false), WindowsFolder(false), FolderExists), b);
}
