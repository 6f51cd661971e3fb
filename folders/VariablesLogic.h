#pragma once
// Expansion of the variables in recorded paths and texts ("<InstallDir>", "<WinDir>",
// "<Date=6>" ...) over values handed in, so that every rule can be tested without the
// operating system; folders/Variables fills the values from the running system.
// Variable names are matched without regard to case; unknown names in angle brackets
// stay as they are.
#include <functional>
#include <string>

#include "system/Utils.h"

struct DateValues {
  DateTimeParts now;
  std::string monthNames[13];  // 1..12: the months' full names in the user's language
  char dateSeparator = '/';
  char timeSeparator = ':';
};

// Every value the expansion may use. Folders have no trailing backslash.
struct VariableValues {
  DateValues date;
  std::string loggedUserName, registeredOwner, registeredOrganization, computerName, userDomain;
  std::string installFolder, commonFolder, auxiliaryFolder;
  std::string runTimeFolders[8];  // run-time folders 1..8
  std::string windowsFolder, systemFolder, system16Folder, originFolder, srcFolder;
  std::string startMenuFolder, programFilesFolder, commonFilesFolder, fontFolder, tempFolder;
  std::string userDir, userAppDataDir, userLocalAppDataDir, myDocumentsDir, userStartMenuDir,
      userStartProgramMenuDir, userDesktopDir, documentsAndSettingsDir, allUsersDir, allUsersAppDataDir,
      allUsersDocumentsDir, allUsersStartMenuDir, allUsersStartProgramMenuDir, allUsersDesktopDir;
  // The system's full path of a relative or dotted path (the text itself when it fails).
  std::function<std::string(const std::string&)> fullPath;
};

// Every occurrence of name (case ignored) replaced by value + separator. The separator is
// left out, for all occurrences, when the first occurrence ends the text, is followed by a
// blank, or is followed by the text's list separator (first and last characters equal,
// and neither "<" nor a letter).
std::string ReplaceFolderVariable(const std::string& text, const std::string& name, const std::string& value,
                                  const std::string& separator);
// The first "<Date=c>" of text (codes "#" and "0" to "7"); other codes leave it unchanged.
std::string ExpandDateVariable(const std::string& text, const DateValues& date);
// The value stage always; the folder stage with folders; "\.." and "..\" resolved with
// resolveDots (each item alone in a list beginning with "," or "|").
std::string ExpandVariablesWith(const std::string& text, const std::string& separator, bool resolveDots,
                                bool folders, const VariableValues& values);
