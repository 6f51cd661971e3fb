#pragma once
// What the agent may do to the program an update replaces, free of the OS: the shut-down
// method named by the ".info" record, the rule for the program it may stop and restart,
// and the process-wide request that ends the agent's waits.
#include <string>
#include <vector>

// ShutDownMethod, compared exactly; any other text (the empty one too) only waits.
enum class ShutDownKind { AskInBox, Close, Quit, Terminate, DontShutDown, WaitOnly };
ShutDownKind ShutDownKindOf(const std::string& method);

// RunningProcess comes from a downloaded record: the agent stops and restarts it only when
// it is a file inside one of folders (the product's recorded folders and the agent's own,
// expanded), never a folder's root nor a drive or share root: an absolute drive or network
// path, no "/" , no "." or ".." component, no stream, device, wildcard or control
// character. reason receives why not.
bool IsAllowedRunningProcess(const std::string& path, const std::vector<std::string>& folders,
                             std::string* reason = nullptr);

// The agent's waits for a program end at once when a stop is requested ("/STOP=", the
// main window closed). Process-wide; cleared by the caller before a new wait.
void RequestAgentStop(bool stop);
bool AgentStopRequested();
