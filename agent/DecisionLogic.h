#pragma once
// The agent's update decision without the operating system: when a probe is due, the
// re-ask rule and the stage tests of the decision, each callable on plain values so that
// they can be tested on any record. The timer, the fetch and the messages use them.
#include <cstdint>
#include <functional>
#include <string>

#include "agent/DownloadToken.h"

// ---- Probe timing ----
// ShotTimeStatus results.
constexpr int kShotNotDue = 0;
constexpr int kShotDue = 1;
constexpr int kShotDueOnce = 2;  // due, and the record allows one probe per agent run
// The probe interval in test mode (seconds).
constexpr std::int64_t kTestModeProbeInterval = 5;

// The status of one tick, from the agent's flags and the record: 0 when neither a first
// probe is pending nor a probe forced; else due when now >= last + interval (5 s in test
// mode) or the last probe lies ahead of now, 2 instead of 1 for a stored interval of 0,
// never for a negative stored interval; a forced probe is always due. forceShot is
// cleared. All record values may be anything: the arithmetic saturates instead of
// overflowing.
int ShotTimeStatusFor(bool firstShotPending, bool& forceShot, bool testMode, std::int64_t now,
                      std::int64_t probeSecondsLast, std::int64_t probeSecondsInterval);

// ---- Test mode ----
// Where the values "TestMode", "TestModeDate" and "TestModeURL" are read. Test mode takes
// the ".info" record and the update from "TestModeURL", so an elevated agent (the stub's
// manifest asks for administrator rights) reads them only from the machine's key, which
// only administrators can write: any program of the user could write the user's key and
// point the agent at a folder of its own. An agent running without elevation (a
// developer's) reads the user's key, as it always did.
constexpr const char kTestModeMachineKey[] = "HKEY_LOCAL_MACHINE\\Software\\Brenmoor\\Zorvik\\AutoUpdate";
constexpr const char kTestModeUserKey[] = "HKEY_CURRENT_USER\\Software\\Brenmoor\\Zorvik\\AutoUpdate";
const char* TestModeRegistryKey(bool elevated);
// The registry is read again when forced or more than this long after the last check.
constexpr std::uint32_t kTestModeRecheckMs = 30000;
// Whether a check is due, from the millisecond tick counts (which wrap after 49.7 days).
bool TestModeCheckDue(bool force, std::uint32_t nowMs, std::uint32_t lastCheckMs);
// Test mode holds when the "TestMode" value is exactly "1" and "TestModeDate" is today's
// date as DD-MMM-YYYY (the form DateToText writes, compared exactly).
bool TestModeOn(const std::string& testMode, const std::string& testModeDate, const std::string& today);

// ---- Where a download is looked for ----
// Whether a download's base may be tried as a folder (base + "\" + name: a drive path or
// a share) before HTTP. The ".info" record comes from the package's own update address or
// the test-mode key, both set by whoever may write the machine: a folder there is theirs.
// The update and the news come from the record's DownloadURL_UPDATE: from a folder only in
// test mode or when the record itself was read from a folder. A record fetched over the
// network, which anyone can forge, never sends the elevated agent to a folder or a share
// (and its logon with the administrator's credentials).
bool FolderLookupAllowed(DownloadKind kind, bool testMode, bool infoFromFolder);

// ---- The decision's stage tests ----
// interval > 0 and now > last + interval (strictly), or the last time lies ahead of now.
bool ReAskDue(std::int64_t now, std::int64_t reAskSecondsLast, std::int64_t reAskSecondsInterval);
// validVersions empty, or "," + validVersions + "," contains "," + version + "," (plain,
// case-sensitive text search, no trimming).
bool ValidVersionOK(const std::string& validVersions, std::int32_t versionOriginal);
// Both sizes are known (not negative) and differ by less than 100 bytes in either
// direction (any values).
bool SizeWithinTolerance(std::int64_t expected, std::int64_t actual);
// The largest size SizeWithinTolerance accepts for expected (0 when none is).
std::uint64_t LargestSizeWithinTolerance(std::int64_t expected);
// Whether the record's SizeOfUpdateFile may be fetched at all: not above the largest setup
// file of the agent's package (TGFileInfo::LargestSetupFile), whatever the record says.
bool UpdateSizeAllowed(std::int64_t sizeOfUpdateFile, std::uint64_t largestSetupFile);
// The most bytes the agent's fetch of the kind takes: the ".info" record kMemoryDownloadCap
// (it is held in memory), the inform text kInformTextMax (as much as is read of it), the
// update the largest size the size stage accepts for sizeOfUpdateFile, never more than
// largestSetupFile.
std::uint64_t FetchLimit(DownloadKind kind, std::int64_t sizeOfUpdateFile, std::uint64_t largestSetupFile);

// What the decision looks at, read from the records once per probe.
struct DecisionRecord {
  bool infoOK = false;               // the ".info" fetch succeeded
  std::int32_t versionOriginal = 0;  // [OriginalSetup] VersionOriginal
  std::int32_t versionNew = 0;       // [NewSetup] VersionNew
  std::int64_t originalStamp = 0;    // [OriginalSetup] Stamp (compared only, so 64 bits)
  std::int64_t infoStamp = 0;        // [NewSetup] Stamp
  bool reAskDue = false;             // ReAskDue on the record's times
  bool manualCheck = false;          // a manual check runs at this tick
  std::string validVersions;         // [NewSetup] ValidVersions
};

// One test per stage: the decision goes on past stage n while test n passes.
bool InfoStageOK(const DecisionRecord& r);      // 0 -> 1
bool OriginalStageOK(const DecisionRecord& r);  // 1 -> 2: VersionOriginal > 0
bool StampStageOK(const DecisionRecord& r);     // 2 -> 3: new stamp, re-ask due or manual
bool VersionStageOK(const DecisionRecord& r);   // 3 -> 4: VersionNew > VersionOriginal
bool ValidStageOK(const DecisionRecord& r);     // 4 -> 5: ValidVersionOK

constexpr int kDecisionOK = 6;
// The stage reached (0..6); sizeOK (the file-size test, which may need the network) is
// called only when stage 5 is reached.
int DecisionStage(const DecisionRecord& record, const std::function<bool()>& sizeOK);
// The text of a stage ("Error downloading .INFO file" ... "OK"); empty outside 0..6.
std::string DecisionReason(int stage);
