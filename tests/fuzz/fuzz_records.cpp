// The agent's setup records as read from ".original" and ".info": every value an ini line
// may hold, through the value readers, the override transfer list, the shut-down method
// and the running-process rule. The Win32 profile functions do the ini reading itself;
// what they hand on is any text without line breaks, which is what the input is cut into.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"
#include "system/Utils.h"
#include "tests/fuzz/FuzzFields.h"
#include "system/TestHooks.h"

namespace {

void CheckNumbers(const std::string& value) {
  const std::int64_t a = RecordInt64(value, 7), b = RecordInt64(value, -7);
  // A value either parses (both defaults give the same number) or gives its default.
  if (a != b && (a != 7 || b != -7)) std::abort();
  const std::int32_t small = RecordInt32(value, 7);
  if (small != 7 && small != a) std::abort();
  if (RecordFlag(value) != (value == "1")) std::abort();
  if (a == b && RecordInt64(std::to_string(a), 0) != a) std::abort();
  (void)RecordTimeText(a);
  (void)SaturatingAdd(a, RecordInt64(value, 0));
}

void CheckOverrides(const std::string& list) {
  ResetOverrides();
  OverridesFromText(list);
  // Whatever the list held, the overrides it set travel unchanged through their own text.
  const std::string text = OverridesToText();
  std::uint8_t before[kOverrideCount + 1];
  for (int n = 1; n <= kOverrideCount; ++n) before[n] = Override(n);
  ResetOverrides();
  OverridesFromText(text);
  for (int n = 1; n <= kOverrideCount; ++n)
    if (Override(n) != before[n]) std::abort();
  if (OverridesToText() != text) std::abort();
  ResetOverrides();
}

}  // namespace

// Fields: a value, a transfer list, a ShutDownMethod, a RunningProcess, a program name and
// the folders the running process may lie in.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::vector<std::string> f = FuzzFields(data, size, 8);
  CheckNumbers(f[0]);
  CheckOverrides(f[1]);
  (void)ShutDownKindOf(f[2]);
  const std::vector<std::string> folders(f.begin() + 5, f.end());
  std::string reason;
  if (IsAllowedRunningProcess(f[3], folders, &reason)) {
    if (!reason.empty()) std::abort();
    // Allowed only below a folder, never as a folder or root itself.
    bool inside = false;
    for (const std::string& folder : folders)
      inside = inside || (f[3].size() > RemoveTrailingBackslash(folder).size() + 1);
    const std::string components = "\\" + f[3] + "\\";
    if (!inside || components.find("\\..\\") != std::string::npos || f[3].find('/') != std::string::npos)
      std::abort();
  } else if (reason.empty()) {
    std::abort();
  }
  const std::string replaced = ReplaceProgName(f[0], f[4]);
  if (f[0].find(records::kProgNamePlaceholder) == std::string::npos && replaced != f[0]) std::abort();
  (void)AgentTextDefault(f[0]);
  return 0;
}
