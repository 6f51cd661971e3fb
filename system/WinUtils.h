#pragma once
// The Windows half of the toolbox: ini files, the registry, the executable's version,
// system folders and names, window queries and the millisecond clock. None of these
// throws; failures give the default or an empty text. The portable half is system/Utils.
#include <windows.h>

#include <cstdint>
#include <string>

// Size of the buffers for ini values and registry values.
constexpr DWORD kValueBufferSize = 10241;

// ---- Ini files (the system's private-profile functions) ----
// def when section or key is empty, the key is missing or its value is empty. Values of
// any length come back whole.
std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def);
// def when the value is not a decimal number.
std::int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                        std::int64_t def);
// False when file, section or key is empty or the system cannot write; an empty value
// writes "key=".
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, std::int64_t value);

// ---- Registry ----
// "HKEY_LOCAL_MACHINE" or "HKLM" (any case) and the other predefined roots; anything
// else is the current user.
HKEY RegRootFromName(const std::string& name);
struct RegPath {
  HKEY root;
  std::string subKey;
};
// "HKLM\Software\X" -> local machine, "Software\X"; a path that does not begin with "HK"
// is a sub-key of the current user.
RegPath SplitRegPath(const std::string& path);
// def unless the value exists and fits in kValueBufferSize bytes. A 4-byte DWORD gives
// its unsigned decimal text; a multi-string its items joined by "<0>"; any other type
// its bytes up to the first NUL.
std::string ReadRegString(const std::string& keyPath, const std::string& valueName, const std::string& def,
                          bool view64);
// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion" (without " NT"
// outside the NT family).
std::string WindowsVersionKey();
std::string RegisteredOwner();         // default: UserName()
std::string RegisteredOrganization();  // default: empty

// ---- Version and libraries ----
// "5.12.0.3" from the fixed file version of file (empty: the program's own file); with
// digits > 1 or parts < 4 passed through FormatVersion. Empty without a version block.
std::string GetExeVersion(const std::string& file = "", int digits = 1, int parts = 4);
// Address of procName in the system library libraryName (loaded from the system folder
// only); null when either is missing. module receives the library's handle (or null).
FARPROC LoadProc(const std::string& libraryName, const std::string& procName, HMODULE& module);

// ---- Clock, screen and windows ----
// Performance counter in milliseconds, rounded.
std::int64_t TickMs();
// Points to pixels at the screen's vertical resolution.
int PointsToPixels(int points);
// The shell's default action on file; true when the shell reports success (> 32).
bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand);
// Top-left corner of a width x height rectangle centred in the desktop work area.
void CenterInWorkArea(int width, int height, int& left, int& top);
// The same inside a given area (integer halves).
void CenterInArea(const RECT& area, int width, int height, int& left, int& top);
// The last window of the owner chain; null for null.
HWND TopOwner(HWND window);
std::string WindowClassName(HWND window);
std::string WindowText(HWND window);

// ---- System folders and names ----
std::string WindowsFolder(bool withBackslash = true);
std::string SystemFolder(bool withBackslash = true);
std::string TempFolder(bool withBackslash = true);
std::string UserName();
std::string ComputerName();
std::string UserDomain();
// The system's message for the thread's last error code.
std::string LastErrorText();
bool IsWindowsNT();
bool IsWindows8OrLater();
// The process runs with a full administrator token (elevated). When the system cannot
// say (no such query before Vista, a token that cannot be read), true: callers use it to
// decide whom to trust, and the stricter answer is the safe one.
bool ProcessIsElevated();
// "DVX" in the environment is exactly "432"; read once per process.
bool IsDeveloperMode();
// The user's date and time separators, for DateTimeToLogText.
char SystemDateSeparator();
char SystemTimeSeparator();

// ---- Process start-up ----
// Hands GetCommandLineA and the module's file name to the command-line parser.
void InitCommandLineFromProcess();
// Makes IsLeadByte use the system's code page.
void InstallLeadBytePredicate();
