#pragma once
// Process-wide state shared by the stub's roles: the own package, the agent flags, the
// exit code, the setup temporary folder and the agent log.
#include <cstdint>
#include <memory>
#include <string>

#include "package/PackX.h"

// Package information of the running executable. Set by the start routine before the
// role runs and freed after it; everything else only reads it.
extern std::unique_ptr<TGFileInfo> OwnFileInfo;
// The own trailer's ThisIsAgent byte is set: this executable is an auto-update agent.
extern bool ThisIs_AutoUpdateProg;
// The agent log is written (an agent whose package sets the agent-log flag).
extern bool AgentLogOn;
// Between the thread id and the text of agent-log lines: "   ", " X " in the working copy.
extern std::string AgentLogIndent;
// The process exit code; the install flow sets it to the setup engine's.
extern std::uint32_t StubExitCode;

// The system's temporary folder + "SETUP_" + the time word of the executable's DOS file
// date (no trailing backslash). Made on first use: a folder left by an earlier run is
// deleted with its content first. An elevated stub, which starts what it extracts with
// administrator rights, takes MakeProtectedSetupFolder(ProtectedTempBase()) instead (the
// span copy too, beside the launcher's folder it runs from), and when that fails an empty
// text: the caller refuses to run rather than use a place the user can reach.
std::string SetupTempFolder();
// The system's own temporary folder with a trailing backslash (the Windows folder +
// "Temp"), where ordinary programs may create but neither list nor remove what others
// made; empty when it cannot be told.
std::string ProtectedTempBase();
// A new folder tempFolderWithBackslash + "SETUP_" + 128 random bits in decimal, owned by
// the administrators, whose access list lets only administrators and SYSTEM in (nothing
// inherited); never an existing folder. It is checked and held as HoldCheckedFolder does.
// Empty when none could be made so.
std::string MakeProtectedSetupFolder(const std::string& tempFolderWithBackslash);
// Opens folder itself (no reparse point followed), checks through that handle that it is
// a folder, no reparse point, owned by the administrators, SYSTEM or the owner of the
// folder it lies in, and holds it for the process so it cannot be removed or replaced (HoldPath; DeleteTree
// lets go). False when a check fails.
bool HoldCheckedFolder(const std::string& folder);
// The work of SetupTempFolder's first use for the given executable, without the cache.
std::string MakeSetupTempFolder(const std::string& programPath);

// The agent log's path (computed once) and one line appended to it when AgentLogOn.
std::string AgentLogFileName();
void AgentLog(const std::string& text);

// The DOS time word of the file's last write (local time); 0 when it cannot be read.
std::uint16_t FileDosTime(const std::string& path);
