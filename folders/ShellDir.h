#pragma once
// The running system's special folders, one operation per folder variable, each with the
// trailing-backslash flag. Shell folders come from the shell's functions (looked up by
// name when used; a missing library counts as failure) with the fallbacks of
// folders/ShellDirLogic; the rest from the registry and the system's directory functions.
// Nothing is cached.
#include <string>

#include "folders/ShellDirLogic.h"

// SHGetFolderPathA of "SHFolder.dll" and SHGetSpecialFolderPathA of "shell32.dll"; empty
// on failure.
std::string ShellFolder(int csidl);
std::string OldShellFolder(int csidl);
// The system's lookups as FolderSources.
FolderSources SystemFolderSources();

std::string UserDir(bool withBackslash = false);
std::string DocumentsAndSettingsDir(bool withBackslash = false);
std::string AllUsersDir(bool withBackslash = false);
std::string UserAppDataDir(bool withBackslash = false);
std::string UserLocalAppDataDir(bool withBackslash = false);
std::string AllUsersAppDataDir(bool withBackslash = false);
std::string MyDocumentsDir(bool withBackslash = false);
std::string AllUsersDocumentsDir(bool withBackslash = false);
std::string UserStartMenuDir(bool withBackslash = false);
std::string AllUsersStartMenuDir(bool withBackslash = false);
std::string UserStartProgramMenuDir(bool withBackslash = false);
std::string AllUsersStartProgramMenuDir(bool withBackslash = false);
std::string UserDesktopDir(bool withBackslash = false);
std::string AllUsersDesktopDir(bool withBackslash = false);

// From the registry (empty when the value is missing).
std::string ProgramFilesDir(bool withBackslash = false);
std::string CommonFilesDir(bool withBackslash = false);
std::string StartMenuDir(bool withBackslash = false);
// The registered font folder if it exists, else the Windows folder + "\Fonts".
std::string FontDir(bool withBackslash = false);
// System16Folder of the running system.
std::string WinSys16Dir(bool withBackslash = false);
