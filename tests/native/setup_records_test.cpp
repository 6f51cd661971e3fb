#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "agent/SetupRecordsLogic.h"
#include "system/Utils.h"
#include "system/TestHooks.h"

namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();

class Overrides : public ::testing::Test {
 protected:
  void SetUp() override { ResetOverrides(); }
  void TearDown() override { ResetOverrides(); }
};

TEST(RecordValues, NumbersFallBackToTheDefaultOnAnythingButADecimal) {
  struct Case {
    std::string text;
    std::int64_t as64;
    std::int32_t as32;
  } cases[] = {
      {"42", 42, 42},
      {" -7 ", -7, -7},
      {"", 5, 5},
      {"12abc", 5, 5},
      {"0x10", 5, 5},
      {"<B>1</B>", 5, 5},
      {"9223372036854775807", kMax64, 5},
      {"9223372036854775808", 5, 5},  // one past int64
      {"-9223372036854775809", 5, 5},
      {"2147483647", 2147483647, 2147483647},
      {"2147483648", 2147483648LL, 5},  // a version past 32 bits is no version, not a small one
      {"4294967297", 4294967297LL, 5},
      {std::string(100000, '9'), 5, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecordInt64(c.text, 5), c.as64) << c.text.substr(0, 30);
    EXPECT_EQ(RecordInt32(c.text, 5), c.as32) << c.text.substr(0, 30);
  }
}

TEST(RecordValues, FlagsAreTrueOnlyForExactlyOne) {
  EXPECT_TRUE(RecordFlag("1"));
  for (const char* text : {"0", "", "yes", "true", "TRUE", "01", "1 ", "2", "-1"}) EXPECT_FALSE(RecordFlag(text)) << text;
}

TEST(RecordValues, AgentTextDefaultsAndProgramName) {
  EXPECT_EQ(AgentTextDefault("s3"), "File Download Aborted!");
  EXPECT_EQ(AgentTextDefault("s31"), "Downloading INFO File...");
  EXPECT_EQ(AgentTextDefault("s35"), "Download");
  EXPECT_EQ(AgentTextDefault("s2"), "");
  EXPECT_EQ(AgentTextDefault("s21"), "");
  EXPECT_EQ(AgentTextDefault("s99"), "");
  // Case-sensitive, every occurrence, no new match from the name itself.
  EXPECT_EQ(ReplaceProgName("PROG_NAME: update PROG_NAME, not prog_name", "PROG_NAME X"),
            "PROG_NAME X: update PROG_NAME X, not prog_name");
}

TEST(RecordTime, SecondsSince1899AndTheirText) {
  EXPECT_EQ(RecordSecondsFromDateTime(0.0), 0);
  const double noon = EncodeDateTime(2026, 12, 8, 12, 0, 1);
  const std::int64_t seconds = RecordSecondsFromDateTime(noon);
  EXPECT_EQ(seconds % 86400, 12 * 3600 + 1);
  EXPECT_EQ(RecordTimeText(seconds), "08-DEC-2026 12:00:01");
  // Hostile stored values: any int64 gives some text, any double a saturated number.
  EXPECT_FALSE(RecordTimeText(kMax64).empty());
  EXPECT_FALSE(RecordTimeText(kMin64).empty());
  EXPECT_EQ(RecordSecondsFromDateTime(1e300), kMax64);
  EXPECT_EQ(RecordSecondsFromDateTime(-1e300), kMin64);
  EXPECT_EQ(RecordSecondsFromDateTime(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(RecordTime, SaturatingAdd) {
  EXPECT_EQ(SaturatingAdd(5, 7), 12);
  EXPECT_EQ(SaturatingAdd(kMax64, 1), kMax64);
  EXPECT_EQ(SaturatingAdd(kMax64, kMax64), kMax64);
  EXPECT_EQ(SaturatingAdd(kMin64, -1), kMin64);
  EXPECT_EQ(SaturatingAdd(kMin64, kMax64), -1);
}

TEST_F(Overrides, StartUnsetAndLeaveTheRecordFlag) {
  EXPECT_EQ(OverridesToText(), "|255|255|255|255|255|255|255|255|");
  EXPECT_TRUE(FlagWithOverride(2, true));
  EXPECT_FALSE(FlagWithOverride(2, false));
  // O1 has no record key: unset means no question before a probe.
  EXPECT_FALSE(FlagWithOverride(1, false));
}

TEST_F(Overrides, SetValuesReplaceTheRecordFlag) {
  ASSERT_TRUE(SetOverride(2, 0));
  EXPECT_FALSE(FlagWithOverride(2, true));  // O2 at 0 suppresses the download question
  ASSERT_TRUE(SetOverride(6, 1));
  EXPECT_TRUE(FlagWithOverride(6, false));
  ASSERT_TRUE(SetOverride(7, 7));  // not 1: false
  EXPECT_FALSE(FlagWithOverride(7, true));
  // Only O1, O2, O4, O6, O7, O8, with one-byte values.
  EXPECT_FALSE(SetOverride(3, 1));
  EXPECT_FALSE(SetOverride(5, 1));
  EXPECT_FALSE(SetOverride(0, 1));
  EXPECT_FALSE(SetOverride(9, 1));
  EXPECT_FALSE(SetOverride(8, 256));  // not cut to 0
  EXPECT_FALSE(SetOverride(8, -1));
  EXPECT_FALSE(SetOverride(8, 257));  // not cut to 1
  EXPECT_EQ(Override(8), kOverrideNotSet);
}

TEST_F(Overrides, TransferListOrder) {
  SetOverride(2, 1);
  EXPECT_EQ(OverridesToText(), "|255|1|255|255|255|255|255|255|");
  ResetOverrides();
  // The list order is O1, O2, O4, O6, O7, O8, O3, O5.
  OverridesFromText("|1|2|4|6|7|8|3|5|");
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(Override(n), n) << "O" << n;
  EXPECT_EQ(OverridesToText(), "|1|2|4|6|7|8|3|5|");
}

TEST_F(Overrides, TransferListKeepsWhatIsNotANumber) {
  SetOverride(2, 1);
  SetOverride(6, 0);
  OverridesFromText("|1|x|0|||||");
  EXPECT_EQ(Override(1), 1);
  EXPECT_EQ(Override(2), 1);  // "x" keeps it
  EXPECT_EQ(Override(4), 0);
  EXPECT_EQ(Override(6), 0);
  EXPECT_EQ(Override(3), kOverrideNotSet);

  const std::string before = OverridesToText();
  for (const std::string& hostile : {std::string(), std::string("|"), std::string("garbage"),
                                     std::string("|256|-1|99999999999999999999|1e3| 0x1|"),
                                     "|" + std::string(1 << 20, '7') + "|"})
    OverridesFromText(hostile);
  EXPECT_EQ(OverridesToText(), before);
  // Blanks around a number are tolerated (the command line trims the whole value only).
  OverridesFromText("| 0 |");
  EXPECT_EQ(Override(1), 0);
}

}  // namespace
