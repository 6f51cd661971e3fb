#include "agent/SetupRecordsLogic.h"

#include <cmath>
#include <limits>

#include "system/TestHooks.h"
#include "system/Utils.h"
#include "system/ZSub.h"

namespace {

// [AutoUpdate] texts that have a default; every other id defaults to the empty text.
constexpr struct {
  const char* id;
  const char* text;
} kAgentTextDefaults[] = {
    {"s3", "File Download Aborted!"},
    {"s4", "File not Found!"},
    {"s5", "Unable to Download File!"},
    {"s31", "Downloading INFO File..."},
    {"s32", "Downloading UPDATE File..."},
    {"s33", "Downloading INFORM File..."},
    {"s34", "New Version"},
    {"s35", "Download"},
    {"s37", "Please start PROG_NAME again:"},
};

constexpr std::int64_t kSecondsPerDay = 86400;

// Position of O1..O8 in the transfer list (0-based item index), by override number.
constexpr int kTransferIndex[kOverrideCount + 1] = {-1, 0, 1, 6, 2, 7, 3, 4, 5};

std::uint8_t g_overrides[kOverrideCount + 1] = {kOverrideNotSet, kOverrideNotSet, kOverrideNotSet,
                                                kOverrideNotSet, kOverrideNotSet, kOverrideNotSet,
                                                kOverrideNotSet, kOverrideNotSet, kOverrideNotSet};

bool ValidOverride(int n) { return n >= 1 && n <= kOverrideCount; }

bool ByteValue(const std::string& text, std::uint8_t& value) {
  std::int64_t number = 0;
  if (!TryParseInt64(Trim(text), number) || number < 0 || number > 255) return false;
  value = static_cast<std::uint8_t>(number);
  return true;
}

}  // namespace

std::string AgentTextDefault(const std::string& id) {
  for (const auto& entry : kAgentTextDefaults)
    if (SameText(id, entry.id)) return entry.text;
  return std::string();
}

std::string ReplaceProgName(const std::string& text, const std::string& name) {
  return ReplaceText(text, records::kProgNamePlaceholder, name);
}

std::int64_t RecordInt64(const std::string& text, std::int64_t def) {
  std::int64_t value = 0;
  return TryParseInt64(Trim(text), value) ? value : def;
}

std::int32_t RecordInt32(const std::string& text, std::int32_t def) {
  const std::int64_t value = RecordInt64(text, def);
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return def;
  return static_cast<std::int32_t>(value);
}

bool RecordFlag(const std::string& text) { return text == "1"; }

std::int64_t RecordSecondsFromDateTime(double dateTime) {
  const double seconds = std::round(dateTime * static_cast<double>(kSecondsPerDay));
  if (std::isnan(seconds)) return 0;
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  constexpr double kLimit = 9223372036854775808.0;
  if (seconds >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (seconds < -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(seconds);
}

std::string RecordTimeText(std::int64_t seconds) {
  return DateTimeToText(static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay));
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

std::uint8_t Override(int n) { return ValidOverride(n) ? g_overrides[n] : kOverrideNotSet; }

void ResetOverrides() {
  for (auto& value : g_overrides) value = kOverrideNotSet;
}

bool SetOverride(int n, std::int64_t value) {
  // O3 and O5 (the forced notices) come only with the transfer list.
  if (!ValidOverride(n) || n == 3 || n == 5 || value < 0 || value > 255) return false;
  g_overrides[n] = static_cast<std::uint8_t>(value);
  return true;
}

bool FlagWithOverride(int n, bool recordFlag) {
  const std::uint8_t value = Override(n);
  return value == kOverrideNotSet ? recordFlag : value == 1;
}

std::string OverridesToText() {
  std::string items[kOverrideCount];
  for (int n = 1; n <= kOverrideCount; ++n) items[kTransferIndex[n]] = std::to_string(g_overrides[n]);
  std::string text = "|";
  for (const auto& item : items) text += item + "|";
  return text;
}

void OverridesFromText(const std::string& text) {
  for (int n = 1; n <= kOverrideCount; ++n) {
    std::uint8_t value = 0;
    if (ByteValue(SUB::GetItem(text, kTransferIndex[n], ""), value)) g_overrides[n] = value;
  }
}
