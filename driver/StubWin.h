#pragma once
// The run mode of a process: which role it plays, chosen from its own package, its file
// name and its command line, and the CD-spanning launcher's temporary copy.
#include <string>

// Class of the main window: ".AutoUpdate." + file name without extension for an agent,
// else the program's full path. "ZorvikStub" until DoRunStubWin sets it.
extern std::string StubClassName;

// Chooses the role and runs it; returns when the role has ended.
void DoRunStubWin();

// Copies the executable to SetupTempFolder as "Y_" + its name and starts the copy with
// the span switches, without waiting. Failures are ignored: the launcher ends anyway.
void CreateAndRun_Y_Exe();

// Trailer bit 2 (CD-spanning launcher) and "/SpanCdLvl=" is 1 (or absent).
bool NeedsSpanCopy();
// "/SpanCdLvl=2": this process is the launcher's temporary copy.
bool IsSpanCopy();

// An agent running under the agent's own name, or as "X_" + that name.
bool ThisIs_Plain_AutoUpdate_Exe();
bool ThisIs_X_AutoUpdate_Exe();
// A window of the working copy's class exists (checked in every process).
bool X_ExeIsRunning();

// Roles built elsewhere later; until then each traces that it ran and returns.
// StubWinMain is the main window and its message loop (named apart from the program's
// entry point WinMain, which the system headers declare with C linkage).
void StubWinMain();
void CreateAndRun_X_Exe();
void HandleParamOK(bool xExeIsRunning);
void CheckTestMode(bool forceReread);
