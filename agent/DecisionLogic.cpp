#include "agent/DecisionLogic.h"

#include <algorithm>

#include "agent/SetupRecordsLogic.h"
#include "internet/InetHTTPLogic.h"
#include "system/ZSub.h"

namespace {

constexpr const char kDecisionReasons[] =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch|Download file size error|OK|";

constexpr std::int64_t kSizeTolerance = 100;

}  // namespace

int ShotTimeStatusFor(bool firstShotPending, bool& forceShot, bool testMode, std::int64_t now,
                      std::int64_t probeSecondsLast, std::int64_t probeSecondsInterval) {
  if (!firstShotPending && !forceShot) {
    forceShot = false;
    return kShotNotDue;
  }
  const std::int64_t interval = testMode ? kTestModeProbeInterval : probeSecondsInterval;
  // A last probe ahead of now (a clock once set forward, a time-zone or daylight-saving
  // shift) has run out: waiting for the clock to pass it could take years.
  int status = probeSecondsLast > now || now >= SaturatingAdd(probeSecondsLast, interval) ? kShotDue : kShotNotDue;
  if (probeSecondsInterval == 0 && status == kShotDue) status = kShotDueOnce;
  // -1 is the documented "never"; any other negative interval means the same, not "at
  // every tick".
  if (probeSecondsInterval < 0) status = kShotNotDue;
  if (forceShot) status = kShotDue;
  forceShot = false;
  return status;
}

const char* TestModeRegistryKey(bool elevated) { return elevated ? kTestModeMachineKey : kTestModeUserKey; }

bool TestModeCheckDue(bool force, std::uint32_t nowMs, std::uint32_t lastCheckMs) {
  // Unsigned difference: correct across the wrap of the tick count.
  return force || nowMs - lastCheckMs > kTestModeRecheckMs;
}

bool TestModeOn(const std::string& testMode, const std::string& testModeDate, const std::string& today) {
  return testMode == "1" && testModeDate == today;
}

bool FolderLookupAllowed(DownloadKind kind, bool testMode, bool infoFromFolder) {
  return kind == DownloadKind::Info || testMode || infoFromFolder;
}

bool ReAskDue(std::int64_t now, std::int64_t reAskSecondsLast, std::int64_t reAskSecondsInterval) {
  // A last answer ahead of now has run out, like a last probe.
  return reAskSecondsInterval > 0 &&
         (reAskSecondsLast > now || now > SaturatingAdd(reAskSecondsLast, reAskSecondsInterval));
}

bool ValidVersionOK(const std::string& validVersions, std::int32_t versionOriginal) {
  if (validVersions.empty()) return true;
  return ("," + validVersions + ",").find("," + std::to_string(versionOriginal) + ",") != std::string::npos;
}

bool SizeWithinTolerance(std::int64_t expected, std::int64_t actual) {
  // An unknown size (-1: no file, no answer, no length) matches nothing, not even a
  // missing SizeOfUpdateFile (0).
  if (actual < 0 || expected < 0) return false;
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(actual, expected, &difference)) return false;
  return difference > -kSizeTolerance && difference < kSizeTolerance;
}

std::uint64_t LargestSizeWithinTolerance(std::int64_t expected) {
  if (expected < 0) return 0;
  return static_cast<std::uint64_t>(expected) + (kSizeTolerance - 1);
}

bool UpdateSizeAllowed(std::int64_t sizeOfUpdateFile, std::uint64_t largestSetupFile) {
  return sizeOfUpdateFile < 0 || static_cast<std::uint64_t>(sizeOfUpdateFile) <= largestSetupFile;
}

std::uint64_t FetchLimit(DownloadKind kind, std::int64_t sizeOfUpdateFile, std::uint64_t largestSetupFile) {
  switch (kind) {
    case DownloadKind::Info:
      return kMemoryDownloadCap;
    case DownloadKind::Update:
      return std::min(LargestSizeWithinTolerance(sizeOfUpdateFile), largestSetupFile);
    default:
      return static_cast<std::uint64_t>(kInformTextMax);
  }
}

bool InfoStageOK(const DecisionRecord& r) { return r.infoOK; }
bool OriginalStageOK(const DecisionRecord& r) { return r.versionOriginal > 0; }
bool StampStageOK(const DecisionRecord& r) { return r.infoStamp != r.originalStamp || r.reAskDue || r.manualCheck; }
bool VersionStageOK(const DecisionRecord& r) { return r.versionNew > r.versionOriginal; }
bool ValidStageOK(const DecisionRecord& r) { return ValidVersionOK(r.validVersions, r.versionOriginal); }

int DecisionStage(const DecisionRecord& record, const std::function<bool()>& sizeOK) {
  bool (*const kTests[])(const DecisionRecord&) = {InfoStageOK, OriginalStageOK, StampStageOK, VersionStageOK,
                                                   ValidStageOK};
  int stage = 0;
  for (auto test : kTests) {
    if (!test(record)) return stage;
    ++stage;
  }
  return sizeOK && sizeOK() ? kDecisionOK : stage;
}

std::string DecisionReason(int stage) {
  if (stage < 0 || stage > kDecisionOK) return std::string();
  return SUB::GetItem(kDecisionReasons, stage, "");
}
