#pragma once
// The decisions of the start routine that need no operating system: names derived from
// the program's own path, the role a process plays, the span copy's command line and the
// agent log's line form. Stub.cpp, StubWin.cpp and StubGlob.cpp apply them.
#include <cstdint>
#include <string>

constexpr const char kDefaultStubClassName[] = "ZorvikStub";
constexpr const char kAgentClassPrefix[] = ".AutoUpdate.";
constexpr const char kDefaultAgentLogIndent[] = "   ";
constexpr const char kWorkingCopyLogIndent[] = " X ";
constexpr std::int64_t kSpanLauncherLevel = 1;
constexpr std::int64_t kSpanCopyLevel = 2;

// The role DoRunStubWin runs, first match wins.
enum class StubRole {
  AlreadyRunning,    // a window of the own class exists: nothing to do
  StartWorkingCopy,  // plain agent: make and start the X_ copy
  WorkingCopy,       // X_ agent: the update cycle, then delete itself
  SpanLauncher,      // CD-spanning launcher: make and start the Y_ copy
  PlainStub,         // everything else (also the Y_ copy): WinMain
};
StubRole ChooseStubRole(bool ownWindowExists, bool plainAgent, bool workingCopy, bool needsSpanCopy);

// Whether the file-name part of programPath equals prefix + agentName (both trimmed,
// ASCII letters compared without case). An empty agent name never matches.
bool IsAgentExeName(const std::string& programPath, const std::string& agentName, const std::string& prefix);

// An agent's window classes are told apart by product:
// two products may both name their agent "Update.exe", and a class made of the name alone
// would let one product's agent take the other's working copy for its own. The names keep
// ".AutoUpdate." + the file name without its last extension as their prefix and add "."
// and this digest of the folder the agent lies in: 16 hex digits of the 64-bit FNV-1a
// hash of the folder (with its backslash) with the letters a..z in upper case. Give it the
// folder's final path (FinalPathOf), so that every spelling of the folder gives one digest.
std::string AgentFolderDigest(const std::string& programPath);

// For an agent ".AutoUpdate." + file name without its last extension + "." +
// AgentFolderDigest; else the path.
std::string StubClassNameFor(bool isAgent, const std::string& programPath);

// Class of the working copy of the agent agentName in the folder of programPath (the
// plain agent's or the copy's own path): ".AutoUpdate.X_" + agent name without its last
// extension + "." + AgentFolderDigest; the class the copy's main window has.
std::string WorkingCopyClassName(const std::string& agentName, const std::string& programPath);
// The file a working copy holds open, unshared, while it runs, so that a second copy of
// the same agent does not run: folder of programPath + "X_" + agent name without its last
// extension + ".lock". In the agent's own folder, where an ordinary program cannot create
// it first (a named object of the session could be taken by any program).
std::string WorkingCopyLockPath(const std::string& agentName, const std::string& programPath);

// "X_" + the program's file name (unless it already begins with "X_") with the extension
// ".log", in the program's folder.
std::string AgentLogFileNameFor(const std::string& programPath);

// One agent-log line: time stamp, blank, thread id right-aligned in 5, indent, text, CR LF.
std::string AgentLogLine(const std::string& timeStamp, unsigned long threadId, const std::string& indent,
                         const std::string& text);

// Where the span copy goes: folder + "\Y_" + the program's file name.
std::string SpanCopyPath(const std::string& folder, const std::string& programPath);
// The copy's arguments: the launcher's own, then the span level 2, the first volume
// (programPath + ".001") and the origin, both quoted; trimmed.
std::string SpanCopyArguments(const std::string& args, const std::string& programPath);

// tempFolderWithBackslash + "SETUP_" + the DOS time word in decimal.
std::string SetupTempFolderName(const std::string& tempFolderWithBackslash, std::uint16_t dosTime);

// ---- The agent's working copy ----
// Folder of programPath + "X_" + its file name.
std::string WorkingCopyPath(const std::string& programPath);
// The working copy's switches: " /TRANSIENTx=" + transient when given, then " /SleepX="
// + delay when given.
std::string WorkingCopyParameters(const std::string& transient, const std::string& delay);
// "/WAIT=" seconds as milliseconds, held to 0..kMaxWaitSeconds.
constexpr std::int64_t kMaxWaitSeconds = 3600;
int WorkingCopyWaitMs(std::int64_t seconds);
// The value of "/WM_MSG=" (window ":" message, both decimal): ":" + value + ":" read as a
// list, a missing or non-numeric item giving 0.
struct ClientSwitch {
  std::int64_t window = 0;
  std::int64_t message = 0;
  std::string list;  // the list as traced
};
ClientSwitch ParseClientSwitch(const std::string& value);
// Whether a client may be registered (wm_LocalMsg, "/WM_MSG="): the working copy runs
// elevated and posts the client message with codes and values of its own to the client
// window, past the system's filter of messages between integrity levels. So never to no
// window or the broadcast handle (0xFFFF: every top-level window of the session), and
// only a message number of the applications' own range, WM_USER (1024) to 0xFFFF, never
// a system message such as WM_CLOSE or WM_QUIT. window is the handle's low 32 bits,
// sign-extended (as a message carries it); the caller also checks that it is a window.
constexpr std::int64_t kFirstClientMessage = 0x0400;  // WM_USER
constexpr std::int64_t kLastClientMessage = 0xFFFF;
bool ClientRegistrationAllowed(std::int32_t window, std::int64_t message);
