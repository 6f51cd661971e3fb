#include "agent/AgentStateLogic.h"

#include <limits>

#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"

AgentVars Agent;

void ApplyStartDelay(AgentVars& agent, std::int64_t sleepX) {
  if (sleepX < 0) return;
  const std::int64_t limit = std::numeric_limits<std::int32_t>::max();
  agent.TimerCount = static_cast<std::int32_t>(-(sleepX > limit ? limit : sleepX));
}

bool CountDownStopCode(AgentVars& agent) {
  const bool quit = agent.StopCode == 0;
  if (agent.StopCode >= 0) agent.StopCode -= 1;
  return quit;
}

std::int32_t Cut32(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

std::int64_t RecordTimeFromMessage(std::int32_t value, std::int64_t now) {
  constexpr std::int64_t kCycle = std::int64_t{1} << 32;
  constexpr std::int64_t kAhead = 86400;  // a day: a clock a little ahead of the host's
  constexpr std::int64_t kLatestNow = std::numeric_limits<std::int64_t>::max() / 2;
  if (now > kLatestNow) now = kLatestNow;
  if (now < 0) now = 0;
  std::int64_t lowest = now + kAhead - kCycle;
  if (lowest < 0) lowest = 0;
  const std::int64_t low = static_cast<std::uint32_t>(value);
  std::int64_t time = (lowest & ~(kCycle - 1)) | low;
  if (time < lowest) time += kCycle;
  return time;
}

int OverrideOfCommand(std::int32_t type) {
  switch (type) {
    case 20: return 1;
    case 21: return 2;
    case 22: return 4;
    case 23: return 6;
    case 24: return 7;
    case 25: return 8;
    default: return 0;
  }
}

bool StateCommand(AgentVars& agent, std::int32_t type, std::int64_t value) {
  if (const int n = OverrideOfCommand(type)) {
    SetOverride(n, value);  // a value outside one byte changes nothing
    return true;
  }
  switch (type) {
    case 30:
      // The message carries 32 bits; a value outside them cannot come from it.
      agent.StopCode = static_cast<std::int32_t>(value);
      // A wait for the program an update stops must not hold up a stop asked for now; a
      // later one (the end of a "/TEST=" cycle) lets the update finish first.
      RequestAgentStop(agent.StopCode == 0);
      return true;
    case 31:
      agent.ForceShot = true;
      if (agent.TimerCount < 1) agent.TimerCount = 1;
      if (value == 2) agent.ManualCheck = kManualCheckRequested;
      return true;
    case 32:
      agent.JustDownloadInfoFile = true;
      return true;
    default:
      return false;
  }
}

std::string ProbeQuestionText(const std::string& s22, const std::string& s23, const std::string& s24,
                              const std::string& base, bool testMode, const std::string& programName) {
  const bool drivePath = base.size() < 2 || base[1] == ':';
  std::string text = s22 + (drivePath ? std::string() : s23) + s24;
  if (testMode) text += kTestModeNote;
  return ReplaceProgName(text, programName);
}

ManualAnswer ChooseManualAnswer(bool testMode, bool connected, const std::string& infoError) {
  if (!testMode && !connected) return ManualAnswer::NoConnection;
  if (!testMode && !infoError.empty()) return ManualAnswer::InfoError;
  return ManualAnswer::NothingNew;
}

std::string ManualAnswerDetail(int stage, const std::string& reason) {
  return "<P><P>(" + std::to_string(stage) + " - " + reason + ")   ";
}
