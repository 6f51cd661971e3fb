#pragma once
// The process's command line and its switches ("/Name=value", "-Name=value", bare "/hide").
// Only the raw command-line string is parsed; the program path (argument 0) comes with it.
// Both are injected: Windows start-up passes GetCommandLineA and the module path, tests
// pass their own. Before the first call both are empty.
#include <cstdint>
#include <string>

constexpr char kSwitchListSeparator = '\x01';

void SetCommandLineSource(const std::string& rawCommandLine, const std::string& programPath);
std::string RawCommandLine();
// Argument 0: the program's own full path.
std::string ProgramPath();

// The program's own path, or with withoutExtension its file name without extension.
std::string ExeFileName(bool withoutExtension = false);
// Folder of the program's own file, with or without trailing backslash.
std::string ExeFolder(bool withBackslash = true);

// The raw command line without the program's own name, trimmed.
std::string CommandLineArgs();
// The switches as a delimited list: quotes removed, each " /" (" -") becomes separator.
std::string SwitchList(char switchChar = '/', char separator = kSwitchListSeparator);
// Value of a switch; the name may carry its "/" or "-" and a trailing "=". Absent: def;
// present without value: empty. The value is trimmed.
std::string GetSwitchValue(const std::string& name, const std::string& def = "");
// The switch value as a decimal 64-bit integer; def when absent or not a number.
std::int64_t GetSwitchInt(const std::string& name, std::int64_t def);
// Bare switch given with its switch character ("/hide"), ignoring case.
bool HasSwitch(const std::string& sw);
