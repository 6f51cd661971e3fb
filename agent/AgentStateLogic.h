#pragma once
// The agent's process-wide state and the parts of its tick and its commands that need
// no operating system: the stop countdown, the start delay, the state commands (30 to 32
// and the override commands), the probe question's text and the answer to a manual check.
// agent/AgentTick and agent/AgentCommands apply them to the process-wide Agent.
#include <cstdint>
#include <string>

// Values of AgentVars::AgentState (also the answer to agent command 7).
constexpr std::int32_t kAgentIdle = 0;
constexpr std::int32_t kAgentProbing = 1;
constexpr std::int32_t kAgentFetching = 2;
constexpr std::int32_t kAgentInstalling = 3;

// ManualCheck: requested by command 31 with value 2, running at this tick, none.
constexpr std::int32_t kManualCheckRequested = 2;
constexpr std::int32_t kManualCheckRunning = 1;
constexpr std::int32_t kManualCheckNone = 0;

// Ticks before the first chance to probe when no "/SleepX=" is given.
constexpr std::int32_t kDefaultStartTicks = 3;

struct AgentVars {
  bool Busy = false;                 // a tick is being handled; further ticks return at once
  std::int32_t TimerCount = -kDefaultStartTicks;  // probing starts when it exceeds 0
  bool FirstShotPending = true;      // cleared after a probe with ProbeSecondsInterval 0
  bool ForceShot = false;            // probe at the next tick regardless of timing
  std::int32_t ManualCheck = kManualCheckNone;
  std::int32_t StopCode = -1;        // ticks left before the agent quits; -1 = no limit
  bool JustDownloadInfoFile = false;  // the next tick only fetches the ".info" file
  std::int32_t AgentState = kAgentIdle;
  bool TestMode = false;
  bool InfoFromFolder = false;  // the last ".info" record was read from a folder, not HTTP
  std::string TestModeURL;
  std::uint32_t LastTestModeCheck = 0;  // tick count (ms) of the last CheckTestMode
};

// The agent state of this process.
extern AgentVars Agent;

// "/SleepX=" v >= 0 delays the first probe: TimerCount = -v (held inside 32 bits);
// a negative v leaves it unchanged.
void ApplyStartDelay(AgentVars& agent, std::int64_t sleepX);

// Step 5 of the tick: true when the agent must quit now (StopCode 0); a StopCode of 0 or
// more counts down by one, so n ends the agent at the (n + 1)-th tick from now.
bool CountDownStopCode(AgentVars& agent);

// The agent commands that only change the agent's own state: 20..25 (overrides), 30
// (StopCode), 31 (ForceShot, TimerCount at least 1, value 2 = manual check), 32
// (JustDownloadInfoFile). True when type is one of them; the command's result is 0.
bool StateCommand(AgentVars& agent, std::int32_t type, std::int64_t value);

// A 64-bit value as the 32 bits a message result carries (its low 32 bits).
std::int32_t Cut32(std::int64_t value);
// Record times travel through messages in 32 bits (commands 10 and 11 answer Cut32 of the
// time; 14 and 15 carry a time to write). The time a value stands for is the one with
// those low 32 bits in the 2^32-second window (136 years) that ends a day after now, and
// never before the record epoch: until February 2036 that is the value read as unsigned
// (0 stays 0), later the high part comes from now. So every time a host reads is written
// back unchanged, as long as it lies in that window (all times the agent writes do).
std::int64_t RecordTimeFromMessage(std::int32_t value, std::int64_t now);

// The override number (1..8) an agent command sets; 0 for other types.
int OverrideOfCommand(std::int32_t type);

// The probe question: s22 + s23 + s24, s23 left out when the base is shorter than two
// characters or a drive path; the test-mode note appended; PROG_NAME replaced.
std::string ProbeQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& base, bool testMode, const std::string& programName);
// Appended to the probe question in test mode.
constexpr const char kTestModeNote[] = "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";

// The answer to a manual check that performed nothing.
enum class ManualAnswer { NoConnection, InfoError, NothingNew };
ManualAnswer ChooseManualAnswer(bool testMode, bool connected, const std::string& infoError);
// The developer's suffix of the "nothing new" answer: "<P><P>(" + stage + " - " + reason + ")   ".
std::string ManualAnswerDetail(int stage, const std::string& reason);
