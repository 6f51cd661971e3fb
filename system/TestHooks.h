#pragma once
// Ways into branches that the test system never takes by itself (another Windows
// family, another process lookup), state that is read or kept once per process, and
// what the tests read of it. Only tests call these, and the units that define them
// include this header; the program never calls them. The first part is portable.
#include <functional>
#include <string>

// Receive every piece the debug stream flushes instead of SendDebugText (system/ZDebug).
// Empty restores.
void SetDebugPieceSink(std::function<void(const std::string&)> sink);
// Forgets the cached language entry (ui/LangStrings).
void ResetLangCache();
// Sets the override flags O1..O8 back to 255, as at process start (agent/SetupRecordsLogic).
void ResetOverrides();

#ifdef _WIN32
#include <windows.h>

#include "system/Process.h"

// WaitUntilProgramGone as on the NT family (ntFamily) or on the others.
void WaitUntilProgramGoneAs(bool ntFamily, const std::string& exe, DWORD timeoutMs);
// FindMainWindow with the process lookup of another Windows version.
HWND FindMainWindowVia(ProcessLookup lookup, const std::string& exe, bool fullPathOnly, bool fromEnd);
// The next IsDeveloperMode reads the environment again.
void ForgetDeveloperMode();
// Failed file writes of this process's extractions (only the first is shown), and back
// to none (package/UnPack).
int ExtractWriteFailures();
void ResetExtractWriteFailures();
#endif
