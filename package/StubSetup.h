#pragma once
// The plain stub's installation: from the main window's first timer tick to the end.
// Chooses the temporary folder, checks the space, extracts the package, starts the setup
// engine with its command line, waits for it, hands on its exit code and removes the
// temporary files. The web install and the agent's update end in RunInstallFlow too.
#include <windows.h>

#include <cstdint>
#include <string>

class TGFileInfo;

// WM_TIMER handler of the plain stub's main window. Runs once: kills timer 1, runs the
// installation, deletes SetupTempFolder and posts the quit message.
void TimerTick(HWND window);
// Set while TimerTick runs the install: it removes the temporary folder itself when the
// work has stopped, so a close of the main window during the work does not wait for that
// removal.
extern bool InstallWorkRunning;

// The web half of TimerTick: writes the agent copy when the package asks for one, takes
// the setup file beside the stub (unless WebNoLocal) or from WebUrl and runs WebInstall.
void RunWebBranch();
// Fetches (or takes from base when it lies there) the setup file, checks that it carries
// the web stub's token and installs it like a local installation file, with the stub's
// own switches. Elevated, the download goes to a protected folder of its own
// (MakeProtectedSetupFolder); the setup file is held (HoldPath) from the token check to
// the end of the install, which reads it through that handle. A downloaded file is
// deleted afterwards; errors are shown in a box
// (exit code 1603, or 1602 when the user declined or aborted the download).
void WebInstall(const std::string& folder, const std::string& base, const std::string& setupFileName);

// Extracts the package file into folder (or into AltSetupTempFolder when the folder's
// drive is short and another fixed drive has more room) and runs its engine. Foreground:
// ask the space question, show the main window and the engine window. Arguments are
// appended to the engine's command line. An empty folder (an elevated stub that has no
// protected one) is refused with a box and kExitInstallFailed. True when the engine removed the shared atom
// (finished its work). When the installation does not run StubExitCode is set to
// kExitInstallCancelled (the user declined) or kExitInstallFailed (SetupLogic.h).
bool RunInstallFlow(const std::string& folder, const std::string& packageFile, const std::string& agentName,
                    bool foreground, const std::string& arguments);

// The package's SpaceNeeded on the folder's drive is below the drive's free space and
// the folder exists.
bool HasTempSpace(const std::string& folder, const std::string& packageFile);

// The space question: asked when the package shows the temp note or the space is short.
// True to go on (no question, or the user answered Yes).
bool CheckTempSpace(const std::string& folder, const std::string& packageFile, const TGFileInfo& info);

// HKCU\Software\Brenmoor\Zorvik\SpanDisk, value "ForcePrompt" is "1": ask for every
// further volume even when its file is already there.
bool ReadForcePrompt();

// Starts the command line (no inheritance) with the show state. applicationName, when
// given, names the program file so that blanks in its path are never ambiguous.
// The process handle (the caller closes it), or null when the start failed.
HANDLE RunProgram(const std::string& commandLine, int showState, const std::string& applicationName = "");

// Pumps messages until the process has ended (or its exit code cannot be read).
void WaitForProcess(HANDLE process);

// Alternative temporary folder on the fixed drive with the most room: the base (empty
// until FindAltTempBase found one) + "_" + a random number; made on first use. Elevated,
// MakeProtectedSetupFolder in the base (the drive's root), empty when it cannot be made.
// Empty without a base.
std::string AltSetupTempFolder();
// Probes the fixed drives C:, D: and E: (each call, until a base is found) and chooses
// the one with the most room as alternative base when it is not the temporary folder's
// drive (elevated: ProtectedTempBase's drive, each root's free space, nothing written). True when a base
// exists.
bool FindAltTempBase();
// Deletes AltSetupTempFolder with its content when there is an alternative base.
void CleanAltTempFolder();
