#pragma once
// Ways into branches that the test system never takes by itself (another Windows
// family, another process lookup) or state that is read once per process. Only tests
// include this header; the program never calls these.
#include <windows.h>

#include <string>

#include "system/Process.h"

// WaitUntilProgramGone as on the NT family (ntFamily) or on the others.
void WaitUntilProgramGoneAs(bool ntFamily, const std::string& exe, DWORD timeoutMs);
// FindMainWindow with the process lookup of another Windows version.
HWND FindMainWindowVia(ProcessLookup lookup, const std::string& exe, bool fullPathOnly, bool fromEnd);
// The next IsDeveloperMode reads the environment again.
void ForgetDeveloperMode();
