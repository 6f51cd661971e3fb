#pragma once
// Other running programs: whether they run, their main window, asking them to close or
// quit, waiting for them to end, terminating them.
#include <windows.h>

#include <string>

#include "system/ProcessLogic.h"  // TAnalizer
#include "system/WinHandles.h"

// How FindMainWindow finds the process: chosen by the Windows version.
enum class ProcessLookup { Tasklist, Psapi, Toolhelp };
// Tasklist from 6.2 on, the process-status library on older NT, tool-help elsewhere.
ProcessLookup MainWindowLookup();

bool IsProgramRunning(const std::string& exe);
// Waits (pumping messages, in steps of a second) until exe has ended or timeoutMs has
// passed; 0 waits without limit. The NT family waits for the process that owns the
// program's windows, the others until the tool-help snapshot no longer lists it.
void WaitUntilProgramGone(const std::string& exe, DWORD timeoutMs);
// Waits without limit while a top-level window of className (and title, when given) exists.
void WaitWindowGone(const std::string& className, const std::string& title = "");

// The best-scored top-level window of the process; null when it has none worth taking.
HWND FindMainWindowOfPid(DWORD pid);
HWND FindMainWindow(const std::string& exe, bool fullPathOnly, bool fromEnd);

// Posts message to the program's main window; true when a window was found.
bool PostProcessMessage(const std::string& exe, bool fullPathOnly, UINT message, WPARAM wParam, LPARAM lParam);
// WM_CLOSE / WM_QUIT with wParam 15 and lParam 255.
void CloseProgram(const std::string& exe, bool fullPathOnly);
void QuitProgram(const std::string& exe, bool fullPathOnly);
// Terminates the program with exit code 0; true when that succeeded.
bool KillProgram(const std::string& exe, bool fullPathOnly);

// The desktop user's token: a primary copy of the token of the shell's process (the
// desktop's shell window), taken only when this process runs elevated, so that what it
// starts for the user runs with the user's rights. Invalid when this process is not
// elevated, the shell has no window or token to give, or its token is elevated itself or
// of another session (ShellTokenRefusal, traced): an elevated caller then starts nothing
// for the user.
UniqueHandle DesktopUserToken();
// Starts commandLine (applicationName when not empty) with token, without waiting. The
// process, or invalid when it could not be started.
UniqueHandle StartWithToken(HANDLE token, const std::string& commandLine, int showState,
                            const std::string& applicationName = "");
