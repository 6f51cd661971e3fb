#pragma once
// Where the user's and the common special folders come from, without the operating
// system: the shell's answer, the parent steps and the fallbacks tried while the result
// does not exist. The lookups themselves are handed in (folders/ShellDir supplies the
// system's, tests their own). Every result has no trailing backslash unless asked for.
#include <functional>
#include <string>

// Shell folder identifiers (CSIDL values; 0x8000 asks the shell to create the folder).
namespace csidl {
constexpr int kPrograms = 2;
constexpr int kStartMenu = 11;
constexpr int kDesktopDirectory = 16;
constexpr int kCommonStartMenu = 22;
constexpr int kCommonPrograms = 23;
constexpr int kCommonDesktopDirectory = 25;
constexpr int kPersonalCreate = 0x8005;
constexpr int kAppDataCreate = 0x801A;
constexpr int kLocalAppDataCreate = 0x801C;
constexpr int kCommonAppDataCreate = 0x8023;
constexpr int kCommonDocumentsCreate = 0x802E;
}  // namespace csidl

struct FolderSources {
  // SHGetFolderPathA and SHGetSpecialFolderPathA: the folder, or empty on failure.
  std::function<std::string(int csidl)> shellFolder;
  std::function<std::string(int csidl)> oldShellFolder;
  // A non-empty path naming an existing directory.
  std::function<bool(const std::string& path)> exists;
  std::function<std::string()> windowsFolder;  // without trailing backslash
  std::function<std::string()> registeredOwner;
};

enum class SpecialFolder {
  UserDir,
  DocumentsAndSettingsDir,
  AllUsersDir,
  UserAppDataDir,
  UserLocalAppDataDir,
  AllUsersAppDataDir,
  MyDocumentsDir,
  AllUsersDocumentsDir,
  UserStartMenuDir,
  AllUsersStartMenuDir,
  UserStartProgramMenuDir,
  AllUsersStartProgramMenuDir,
  UserDesktopDir,
  AllUsersDesktopDir,
};

std::string SpecialFolderPath(SpecialFolder folder, const FolderSources& sources, bool withBackslash);
// The Windows folder + "\Profiles\" + the registered owner, or the Windows folder when
// that does not exist.
std::string ProfilesFolder(const FolderSources& sources);
// The path's directory part without its trailing backslash ("C:\ProgramData" -> "C:").
std::string ParentFolder(const std::string& path);

// The 16-bit system folder: the system folder without its last "32" if that exists, else
// the Windows folder + "\System" if that exists, else the system folder.
std::string System16Folder(const std::string& systemFolder, const std::string& windowsFolder,
                           const std::function<bool(const std::string&)>& exists);
