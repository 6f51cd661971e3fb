#pragma once
// Finding running programs: top-level windows with their processes, and process ids by
// executable from tasklist, the tool-help snapshot, the process-status library or the
// window list. Programs are compared by path or file name (trimmed, ignoring case) and
// by the short (8.3) form of the path. Every lookup gives 0 when it finds nothing.
#include <windows.h>

#include <string>
#include <vector>

// One enumeration of the top-level windows: seven "|" lists with one item per recorded
// window, in enumeration order.
struct TProcessData {
  bool allWindows = false;  // record every window; else the first of each executable
  std::string targetName;   // without allWindows: stop at this executable ...
  DWORD targetPid = 0;      // ... or at this process
  std::string pids = "|", names = "|", classes = "|", handles = "|", threads = "|", titles = "|", visible = "|";
};

// Executable name of the process that owns window (tool-help snapshot); empty when unknown.
std::string ExeNameOfWindow(HWND window);
void EnumWindowsData(bool allWindows, const std::string& targetName, DWORD targetPid, TProcessData& data);
// Every window as executable=pid (withPids), executable=handle (withHandles), or the
// executable names alone.
std::string ListProcessWindows(bool withPids, bool withHandles);

// From "tasklist.exe /FO csv" (by file name only); fromEnd takes the last listed match.
DWORD FindPidByTasklist(const std::string& exeName, bool fromEnd);
// From the tool-help snapshot; fullPathOnly ignores file-name matches; the last match
// wins unless stopAtFirst.
DWORD FindPidByToolhelp(const std::string& exe, bool fullPathOnly, bool stopAtFirst);
// From the process-status library, walking the ids from the last; the first match found
// wins unless keepLast (then the one nearest the start of the list).
DWORD FindPidByPsapi(const std::string& exe, bool fullPathOnly, bool keepLast);
// From the window list (by file name, newest window first).
DWORD FindPidByWindows(const std::string& exe);

std::vector<DWORD> EnumProcessIds();
bool IsPidAlive(DWORD pid);

// Short (8.3) form of path; empty when the system has none for it.
std::string ShortPathOf(const std::string& path);
