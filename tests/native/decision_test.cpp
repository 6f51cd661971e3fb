#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "agent/DecisionLogic.h"
#include "internet/InetHTTPLogic.h"
#include "package/PackX.h"

namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kNow = 4'000'000'000;

TEST(ShotTimeStatus, IntervalsAndFlags) {
  struct Case {
    const char* name;
    bool firstPending, force, testMode;
    std::int64_t last, interval;
    int status;
  } cases[] = {
      {"nothing pending", false, false, false, 0, 10, kShotNotDue},
      {"interval run out", true, false, false, kNow - 10, 10, kShotDue},
      {"interval not run out", true, false, false, kNow - 9, 10, kShotNotDue},
      {"interval 0: once per run", true, false, false, kNow, 0, kShotDueOnce},
      {"interval -1: never", true, false, false, 0, -1, kShotNotDue},
      {"interval -1 but forced", false, true, false, 0, -1, kShotDue},
      {"forced while not due", true, true, false, kNow, 3600, kShotDue},
      {"test mode: 5 s instead of an hour", true, false, true, kNow - 5, 3600, kShotDue},
      {"test mode: 4 s are too early", true, false, true, kNow - 4, 3600, kShotNotDue},
      {"test mode keeps -1", true, false, true, 0, -1, kShotNotDue},
      {"test mode keeps once-per-run", true, false, true, kNow - 5, 0, kShotDueOnce},
      // Every negative interval means "never", not "at every tick".
      {"interval -2: never", true, false, false, kNow - 10, -2, kShotNotDue},
      {"interval int64 min: never", true, false, true, 0, kMin64, kShotNotDue},
      {"interval -5 but forced", false, true, false, 0, -5, kShotDue},
      // A last probe ahead of now (the clock was set back) has run out.
      {"last probe an hour ahead", true, false, false, kNow + 3600, 86400, kShotDue},
      {"last probe ahead, once per run", true, false, false, kNow + 3600, 0, kShotDueOnce},
      {"last probe ahead, interval -1", true, false, false, kNow + 3600, -1, kShotNotDue},
      // Hostile records: no overflow, no wrap into "due".
      {"last at int64 max (ahead of now)", true, false, false, kMax64, 10, kShotDue},
      {"interval at int64 max", true, false, false, kNow, kMax64, kShotNotDue},
      {"last at int64 min", true, false, false, kMin64, kMax64, kShotDue},
  };
  for (const auto& c : cases) {
    bool force = c.force;
    EXPECT_EQ(ShotTimeStatusFor(c.firstPending, force, c.testMode, kNow, c.last, c.interval), c.status) << c.name;
    EXPECT_FALSE(force) << c.name;
  }
}

TEST(TestMode, OnlyOnTheRecordedDay) {
  EXPECT_TRUE(TestModeOn("1", "08-DEC-2026", "08-DEC-2026"));
  EXPECT_FALSE(TestModeOn("1", "07-DEC-2026", "08-DEC-2026"));  // yesterday's date
  EXPECT_FALSE(TestModeOn("1", "", "08-DEC-2026"));
  EXPECT_FALSE(TestModeOn("yes", "08-DEC-2026", "08-DEC-2026"));
  EXPECT_FALSE(TestModeOn("0", "08-DEC-2026", "08-DEC-2026"));
}

TEST(TestMode, RecheckedEveryThirtySecondsAcrossTheTickWrap) {
  EXPECT_TRUE(TestModeCheckDue(true, 1000, 1000));
  EXPECT_FALSE(TestModeCheckDue(false, 31000, 1000));
  EXPECT_TRUE(TestModeCheckDue(false, 31001, 1000));
  EXPECT_FALSE(TestModeCheckDue(false, 5000, 0xFFFFF000u));  // 9 s after the wrap
  EXPECT_TRUE(TestModeCheckDue(false, 40000, 0xFFFFF000u));
  EXPECT_TRUE(TestModeCheckDue(false, 40000, 0));  // the first check of the process
}

TEST(ReAskDue, StrictlyAfterAPositiveInterval) {
  EXPECT_TRUE(ReAskDue(kNow, kNow - 11, 10));
  EXPECT_FALSE(ReAskDue(kNow, kNow - 10, 10));  // strictly later
  EXPECT_FALSE(ReAskDue(kNow, 0, 0));           // 0: never ask again
  EXPECT_FALSE(ReAskDue(kNow, 0, -5));
  EXPECT_FALSE(ReAskDue(kNow, kNow, kMax64));
  EXPECT_TRUE(ReAskDue(kNow, kMin64, 1));
  // A last answer ahead of now (the clock was set back) has run out ...
  EXPECT_TRUE(ReAskDue(kNow, kNow + 3600, 86400));
  EXPECT_TRUE(ReAskDue(kNow, kMax64, kMax64));
  // ... but an interval of 0 or below still never asks again.
  EXPECT_FALSE(ReAskDue(kNow, kNow + 3600, 0));
}

TEST(ValidVersionOK, PlainSearchBetweenCommas) {
  EXPECT_TRUE(ValidVersionOK("", 10));
  EXPECT_TRUE(ValidVersionOK("100,101", 101));
  EXPECT_TRUE(ValidVersionOK("100,101", 100));
  EXPECT_FALSE(ValidVersionOK("100,101", 10));
  EXPECT_FALSE(ValidVersionOK("100, 101", 101));  // no trimming
  EXPECT_FALSE(ValidVersionOK("1001", 1));
  EXPECT_TRUE(ValidVersionOK("-3", -3));
  EXPECT_TRUE(ValidVersionOK(std::string(1 << 20, ',') + "7", 7));
}

TEST(SizeWithinTolerance, TheUpdatesDownloadBoundIsTheLargestSizeAccepted) {
  for (std::int64_t expected : {std::int64_t(0), std::int64_t(1'000'000), std::int64_t(5'000'000'000)}) {
    const auto largest = static_cast<std::int64_t>(LargestSizeWithinTolerance(expected));
    EXPECT_TRUE(SizeWithinTolerance(expected, largest)) << expected;
    EXPECT_FALSE(SizeWithinTolerance(expected, largest + 1)) << expected;
  }
  EXPECT_EQ(LargestSizeWithinTolerance(-1), 0u);
  // The agent's fetches: the update by its size stage, the inform text no more than is read
  // of it (it had no bound when a length was sent), the record as much as memory takes.
  const std::uint64_t cap = kDefaultLargestSetupFile;
  EXPECT_EQ(FetchLimit(DownloadKind::Update, 1'000'000, cap), 1'000'099u);
  EXPECT_EQ(FetchLimit(DownloadKind::Inform, 5'000'000, cap), std::uint64_t(kInformTextMax));
  EXPECT_EQ(FetchLimit(DownloadKind::Info, 5'000'000, cap), kMemoryDownloadCap);
}

// SizeOfUpdateFile is the record's number: anyone who forges a record names any size (near
// the drive's free space, 2^62). The agent's own package bounds it.
TEST(SizeWithinTolerance, TheRecordsSizeIsBoundedByThePackage) {
  const struct {
    std::int64_t recorded;
    std::uint64_t largest;
    bool allowed;
    std::uint64_t limit;
  } cases[] = {
      {1'000'000, kDefaultLargestSetupFile, true, 1'000'099},
      {std::int64_t(kDefaultLargestSetupFile), kDefaultLargestSetupFile, true, kDefaultLargestSetupFile},
      {std::int64_t(kDefaultLargestSetupFile) + 1, kDefaultLargestSetupFile, false, kDefaultLargestSetupFile},
      {std::int64_t(1) << 40, kDefaultLargestSetupFile, false, kDefaultLargestSetupFile},
      {INT64_MAX, kDefaultLargestSetupFile, false, kDefaultLargestSetupFile},
      {std::int64_t(1) << 40, std::uint64_t(1) << 41, true,
       (std::uint64_t(1) << 40) + 99},  // the vendor's own cap
      {50'000'000, 10'000'000, false, 10'000'000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpdateSizeAllowed(c.recorded, c.largest), c.allowed) << c.recorded;
    EXPECT_EQ(FetchLimit(DownloadKind::Update, c.recorded, c.largest), c.limit) << c.recorded;
  }
}

TEST(SizeWithinTolerance, BelowAHundredEitherWay) {
  EXPECT_TRUE(SizeWithinTolerance(1'000'000, 1'000'099));
  EXPECT_FALSE(SizeWithinTolerance(1'000'000, 1'000'100));
  EXPECT_TRUE(SizeWithinTolerance(1'000'000, 999'901));
  EXPECT_FALSE(SizeWithinTolerance(1'000'000, 999'900));
  EXPECT_TRUE(SizeWithinTolerance(3'000'000'000, 3'000'000'050));  // over 2 GiB
  // An unknown size (-1: no file, no answer, no length) matches nothing.
  EXPECT_FALSE(SizeWithinTolerance(0, -1));
  EXPECT_FALSE(SizeWithinTolerance(50, -1));
  EXPECT_FALSE(SizeWithinTolerance(-1, -1));
  EXPECT_FALSE(SizeWithinTolerance(kMin64, -1));
  EXPECT_FALSE(SizeWithinTolerance(kMax64, -1));
  EXPECT_FALSE(SizeWithinTolerance(kMin64, kMax64));
  EXPECT_TRUE(SizeWithinTolerance(kMax64, kMax64 - 99));
}

DecisionRecord PassingRecord() {
  DecisionRecord r;
  r.infoOK = true;
  r.versionOriginal = 100;
  r.versionNew = 101;
  r.originalStamp = 5;
  r.infoStamp = 6;
  r.validVersions = "99,100";
  return r;
}

TEST(DecisionStage, EachStageReachedByARecordMadeForIt) {
  struct Case {
    const char* name;
    void (*change)(DecisionRecord&);
    bool sizeOK;
    int stage;
  } cases[] = {
      {"fetch failed", [](DecisionRecord& r) { r.infoOK = false; }, true, 0},
      {"no .original version", [](DecisionRecord& r) { r.versionOriginal = 0; }, true, 1},
      {"negative .original version", [](DecisionRecord& r) { r.versionOriginal = -4; }, true, 1},
      {"same stamp, no re-ask", [](DecisionRecord& r) { r.infoStamp = r.originalStamp; }, true, 2},
      {"same stamp, re-ask due",
       [](DecisionRecord& r) {
         r.infoStamp = r.originalStamp;
         r.reAskDue = true;
       },
       true, 6},
      {"same stamp, manual check",
       [](DecisionRecord& r) {
         r.infoStamp = r.originalStamp;
         r.manualCheck = true;
       },
       true, 6},
      {"same version", [](DecisionRecord& r) { r.versionNew = r.versionOriginal; }, true, 3},
      {"older version", [](DecisionRecord& r) { r.versionNew = 1; }, true, 3},
      {"not a valid version", [](DecisionRecord& r) { r.validVersions = "99, 100"; }, true, 4},
      {"size differs", [](DecisionRecord&) {}, false, 5},
      {"all passed", [](DecisionRecord&) {}, true, 6},
  };
  for (const auto& c : cases) {
    DecisionRecord record = PassingRecord();
    c.change(record);
    int sizeCalls = 0;
    const int stage = DecisionStage(record, [&] {
      ++sizeCalls;
      return c.sizeOK;
    });
    EXPECT_EQ(stage, c.stage) << c.name;
    // The size test (which may go to the network) runs only when the rest passed.
    EXPECT_EQ(sizeCalls, stage >= 5 ? 1 : 0) << c.name;
  }
}

TEST(DecisionStage, ReasonTexts) {
  EXPECT_EQ(DecisionReason(0), "Error downloading .INFO file");
  EXPECT_EQ(DecisionReason(1), "Error reading .ORIGINAL file");
  EXPECT_EQ(DecisionReason(2), "Too early for retesting");
  EXPECT_EQ(DecisionReason(3), "New version is not higher then old version");
  EXPECT_EQ(DecisionReason(4), "\"Valid for version\" mismatch");
  EXPECT_EQ(DecisionReason(5), "Download file size error");
  EXPECT_EQ(DecisionReason(6), "OK");
  EXPECT_EQ(DecisionReason(7), "");
  EXPECT_EQ(DecisionReason(-1), "");
}

}  // namespace
