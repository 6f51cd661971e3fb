#pragma once
// The run mode of a process: which role it plays, chosen from its own package, its file
// name and its command line; the CD-spanning launcher's temporary copy; and the main
// window with its message loop, which every working role runs.
#include <windows.h>

#include <cstdint>
#include <string>

// Class of the main window: ".AutoUpdate." + file name without extension + "." + the
// digest of its folder for an agent (StubClassNameFor), else the program's full path.
// "ZorvikStub" until DoRunStubWin sets it.
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

// The working copy of this agent: its class (WorkingCopyClassName of the agent's name and
// path, the path in its long form), its file ("X_" + the agent's name beside this
// program) and its main window.
std::string WorkingCopyClass();
std::string WorkingCopyFile();
HWND FindWorkingCopyWindow();
// A top-level window of the class whose process runs exePath. Any program can make a
// window of a class it knows: one of another program is passed over, and named in the
// trace and the agent log, so that requests never go to it and it cannot pass for the
// agent.
HWND FindAgentWindow(const std::string& className, const std::string& exePath);

// Whether a host may register this client window and message (wm_LocalMsg, "/WM_MSG="):
// ClientRegistrationAllowed on the handle's low 32 bits, and the handle names a window.
bool ClientWindowAllowed(std::int64_t window, std::int64_t message);

// Window messages between stub processes, received by the main window.
constexpr UINT wm_ShutDown = 1123;
constexpr UINT wm_LocalMsg = 1124;
constexpr UINT wm_AgentMsg = 1125;

// ---- The main window (StubWinMain) ----
// The work sees it as the StatusView (ui/StatusView.h) that StubWinMain hands over: its
// window, progress bar, activity bar and status line (null while the main window does not
// exist) and the end flag (loopEnded: set by DestroyMainWindow; the message loop stops
// after the dispatch that set it). Status line "Static" at (70, 20) 340 x 18 (x 122 for
// right-to-left character sets); progress bar at (70, 38) 392 x 13; activity bar at
// (416, 20) 46 x 13 (x 70 for right-to-left), hidden until the install flow shows it.

// Sets the status line's text and font: face, character set, size in points.
// Character sets 177 and 178 (Hebrew, Arabic) make it right-to-left and right-aligned.
void SetStatusText(HWND statusLine, const std::string& text, const std::string& fontName, int charset,
                   int fontSize);

// The main window's close request: the first one only asks a running transfer to stop
// (sets the download-abort flag) and returns false; once the flag is set, true (close now).
bool CloseMainWindow();

// Tear-down: sets the abort flag, deletes SetupTempFolder, posts the quit message and
// sets the end flag.
void DestroyMainWindow();

// Creates the hidden main window (class StubClassName, title "s0" of the own package)
// with its 1-second timer and runs the thread's message loop until the window is
// destroyed or the end flag is set. Named apart from the program's entry point WinMain,
// which the system headers declare with C linkage.
void StubWinMain();

