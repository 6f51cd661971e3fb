#pragma once
// Stopping the program an update replaces, by the method the ".info" record names.
#include <string>
#include <vector>

// What the message-box method shows: the text (its "PROG_NAME" becomes the program's
// file name) and the box's caption, buttons and character set.
struct ShutDownBox {
  std::string text;
  std::string caption;
  std::string buttons;
  int charset = 0;
};

// Asks, closes, quits or terminates procPath (matched by its full path; the
// message box is shown again while it runs) by method, then
// waits for it to end, looking once a second, pumping messages. "Don't Shut Down" neither
// acts nor waits. Every wait ends early when AgentStopRequested() or the main window has
// gone. Writes the traces " ==== PerformAutoUpdate-8 ====" and "-9". True when the
// program no longer runs at the end.
bool ShutDownProcess(const std::string& procPath, const std::string& method, const ShutDownBox& box);

// Whether a process runs from exactly this file (full path, a-z case folded; the
// process-status library). IsProgramRunning also counts programs of the same file name.
bool IsProgramRunningAt(const std::string& procPath);

// True when a stop was requested or the main window (once it exists) has been destroyed.
bool AgentWaitStopped();

// The folders RunningProcess may lie in (IsAllowedRunningProcess): the setup record's
// TargetDir, SharedDir and AuxiliaryDir, expanded, and the agent's own folder.
std::vector<std::string> RunningProcessFolders();
