// The update decision fed with hostile record values: versions, stamps, times and
// intervals as the record readers make them from any text, the valid-versions list and
// the test-mode values. The arithmetic saturates; stages stay in range and in order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/DecisionLogic.h"
#include "agent/SetupRecordsLogic.h"
#include "tests/fuzz/FuzzFields.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 1) return 0;
  const unsigned char bits = data[0];
  const std::vector<std::string> f = FuzzFields(data + 1, size - 1, 12);
  DecisionRecord record;
  record.infoOK = bits & 1;
  record.manualCheck = bits & 2;
  record.versionOriginal = RecordInt32(f[0], 0);
  record.versionNew = RecordInt32(f[1], 0);
  record.originalStamp = RecordInt64(f[2], 0);
  record.infoStamp = RecordInt64(f[3], 0);
  record.validVersions = f[4];
  const std::int64_t now = RecordInt64(f[5], 0);
  record.reAskDue = ReAskDue(now, RecordInt64(f[6], 0), RecordInt64(f[7], 0));
  bool sizeAsked = false;
  const bool sizeOK = SizeWithinTolerance(RecordInt64(f[8], 0), RecordInt64(f[9], 0));
  const int stage = DecisionStage(record, [&] {
    sizeAsked = true;
    return sizeOK;
  });
  if (stage < 0 || stage > kDecisionOK || DecisionReason(stage).empty()) std::abort();
  // The size is asked only once every record test passed, and decides the last stage.
  const bool recordPassed = InfoStageOK(record) && OriginalStageOK(record) && StampStageOK(record) &&
                            VersionStageOK(record) && ValidStageOK(record);
  if (sizeAsked != recordPassed) std::abort();
  if ((stage == kDecisionOK) != (recordPassed && sizeOK)) std::abort();
  if (stage == kDecisionOK && record.versionNew <= record.versionOriginal) std::abort();

  bool force = bits & 4;
  const bool forced = force;
  const int shot = ShotTimeStatusFor(bits & 8, force, bits & 16, now, RecordInt64(f[10], 0), RecordInt64(f[6], 0));
  if (force || shot < kShotNotDue || shot > kShotDueOnce || (forced && shot != kShotDue)) std::abort();
  (void)TestModeOn(f[10], f[11], f[4]);
  return 0;
}
