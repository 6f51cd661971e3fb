#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "agent/AgentStateLogic.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"
#include "driver/StubLogic.h"
#include "system/TestHooks.h"

namespace {

TEST(AgentState, StopCodeEndsAtTheNPlusFirstTick) {
  for (int n : {0, 1, 3}) {
    AgentVars agent;
    agent.StopCode = n;
    int ticks = 0;
    while (!CountDownStopCode(agent) && ticks < 100) ++ticks;
    EXPECT_EQ(ticks + 1, n + 1) << "StopCode " << n;
  }
  AgentVars unlimited;  // -1: never
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(CountDownStopCode(unlimited));
  EXPECT_EQ(unlimited.StopCode, -1);
}

TEST(AgentState, StartDelay) {
  AgentVars agent;
  EXPECT_EQ(agent.TimerCount, -3);  // the first chance to probe is the fourth tick
  ApplyStartDelay(agent, -1);
  EXPECT_EQ(agent.TimerCount, -3);
  ApplyStartDelay(agent, 5);
  EXPECT_EQ(agent.TimerCount, -5);
  ApplyStartDelay(agent, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(agent.TimerCount, -std::numeric_limits<std::int32_t>::max());
}

TEST(AgentState, StateCommands) {
  ResetOverrides();
  AgentVars agent;
  EXPECT_TRUE(StateCommand(agent, 30, 4));
  EXPECT_EQ(agent.StopCode, 4);
  EXPECT_FALSE(AgentStopRequested());  // a later stop does not cut a running wait short
  EXPECT_TRUE(StateCommand(agent, 30, 0));
  EXPECT_TRUE(AgentStopRequested());
  EXPECT_TRUE(StateCommand(agent, 30, -1));
  EXPECT_FALSE(AgentStopRequested());

  EXPECT_TRUE(StateCommand(agent, 31, 1));  // a silent forced probe
  EXPECT_TRUE(agent.ForceShot);
  EXPECT_EQ(agent.TimerCount, 1);
  EXPECT_EQ(agent.ManualCheck, kManualCheckNone);
  agent.TimerCount = 7;
  EXPECT_TRUE(StateCommand(agent, 31, 2));  // a manual check; a later count stays
  EXPECT_EQ(agent.TimerCount, 7);
  EXPECT_EQ(agent.ManualCheck, kManualCheckRequested);

  EXPECT_TRUE(StateCommand(agent, 32, 0));
  EXPECT_TRUE(agent.JustDownloadInfoFile);

  const struct { int type, override; } overrides[] = {{20, 1}, {21, 2}, {22, 4}, {23, 6}, {24, 7}, {25, 8}};
  for (const auto& c : overrides) {
    EXPECT_TRUE(StateCommand(agent, c.type, 1));
    EXPECT_EQ(Override(c.override), 1) << c.type;
  }
  EXPECT_TRUE(StateCommand(agent, 20, 300));  // outside one byte: unchanged
  EXPECT_EQ(Override(1), 1);
  for (int other : {0, 3, 6, 16, 19, 26, 29, 33, -1}) EXPECT_FALSE(StateCommand(agent, other, 1)) << other;
  ResetOverrides();
}

TEST(AgentState, ProbeQuestion) {
  const struct {
    const char* base;
    bool testMode;
    const char* text;
  } cases[] = {
      {"http://host/updates", false, "Check PROG_NAME? over the Internet. Go?"},
      {"C:\\updates", false, "Check PROG_NAME? Go?"},
      {"x", false, "Check PROG_NAME? Go?"},
      {"\\\\server\\share", true, "Check PROG_NAME? over the Internet. Go?"},
  };
  for (const auto& c : cases) {
    std::string expected = ReplaceProgName(std::string(c.text), "Editor");
    if (c.testMode) expected += kTestModeNote;
    EXPECT_EQ(ProbeQuestionText("Check PROG_NAME?", " over the Internet.", " Go?", c.base, c.testMode, "Editor"),
              expected)
        << c.base;
  }
}

TEST(AgentState, ManualCheckAnswer) {
  EXPECT_EQ(ChooseManualAnswer(false, false, "err"), ManualAnswer::NoConnection);
  EXPECT_EQ(ChooseManualAnswer(false, true, "err"), ManualAnswer::InfoError);
  EXPECT_EQ(ChooseManualAnswer(false, true, ""), ManualAnswer::NothingNew);
  EXPECT_EQ(ChooseManualAnswer(true, false, "err"), ManualAnswer::NothingNew);
  EXPECT_EQ(ManualAnswerDetail(3, "Too early"), "<P><P>(3 - Too early)   ");
}

TEST(AgentCopy, NamesSwitchesAndClient) {
  EXPECT_EQ(WorkingCopyPath("C:\\Program Files\\Ed\\Update.exe"), "C:\\Program Files\\Ed\\X_Update.exe");
  EXPECT_EQ(WorkingCopyParameters("", ""), "");
  EXPECT_EQ(WorkingCopyParameters("|1|255|", "5"), " /TRANSIENTx=|1|255| /SleepX=5");
  EXPECT_EQ(WorkingCopyParameters("", "5"), " /SleepX=5");
  EXPECT_EQ(WorkingCopyWaitMs(-4), 0);
  EXPECT_EQ(WorkingCopyWaitMs(10), 10000);
  EXPECT_EQ(WorkingCopyWaitMs(std::numeric_limits<std::int64_t>::max()), kMaxWaitSeconds * 1000);

  const struct {
    const char* value;
    std::int64_t window, message;
  } clients[] = {
      {"132456:32768", 132456, 32768}, {"132456", 132456, 0}, {"abc:12", 0, 12},
      {":", 0, 0},                      {"99999999999999:1", 0, 1},
  };
  for (const auto& c : clients) {
    const ClientSwitch parsed = ParseClientSwitch(c.value);
    EXPECT_EQ(parsed.window, c.window) << c.value;
    EXPECT_EQ(parsed.message, c.message) << c.value;
    EXPECT_EQ(parsed.list, std::string(":") + c.value + ":");
  }
}

}  // namespace

TEST(AgentState, RecordTimesRoundTripThroughMessages) {
  // Record seconds: 1 March 2026 00:00 and 1 January 2040 00:00 (past the 32-bit edge).
  constexpr std::int64_t k2026 = 3'981'484'800;
  constexpr std::int64_t k2040 = 4'418'150'400;
  struct Case {
    const char* name;
    std::int64_t stored, now;
  } cases[] = {
      {"a probe just now, 2026", k2026, k2026},
      {"a probe a year ago", k2026 - 365 * 86400LL, k2026},
      {"an old time", 1'000'000, k2026},
      {"just below 2^31", 2'147'483'647, k2026},
      {"a clock slightly ahead", k2026 + 3600, k2026},
      {"a probe just now, 2040", k2040, k2040},
      {"a probe before the 2036 edge, read in 2040", 4'294'000'000, k2040},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RecordTimeFromMessage(Cut32(c.stored), c.now), c.stored) << c.name;
  // The 2026 time reads as negative to a host that takes the answer as signed 32 bits.
  EXPECT_EQ(Cut32(k2026), -313'482'496);
  // Small values a host writes keep their meaning until 2036: 0 is long ago.
  EXPECT_EQ(RecordTimeFromMessage(0, k2026), 0);
  EXPECT_EQ(RecordTimeFromMessage(5, k2026), 5);
  // Any value and any clock give a time that is not negative.
  EXPECT_GE(RecordTimeFromMessage(-1, std::numeric_limits<std::int64_t>::max()), 0);
  EXPECT_GE(RecordTimeFromMessage(-1, std::numeric_limits<std::int64_t>::min()), 0);
}
