#include "system/ZSub.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "system/Utils.h"

namespace {

// SetItem grows a list up to this index at most; larger indexes leave it unchanged
// rather than building a list of millions of empty items.
constexpr int kMaxGrowIndex = 1000000;

bool IsEmptyList(const std::string& list) { return list.empty() || (list.size() == 1 && list[0] == '\0'); }

// The closed items of a list: the texts between consecutive separators. Text after the
// last separator is no item.
std::vector<std::string> ClosedItems(const std::string& list) {
  std::vector<std::string> items;
  if (IsEmptyList(list)) return items;
  const char sep = list[0];
  std::size_t cur = 0;
  for (;;) {
    const std::size_t next = list.find(sep, cur + 1);
    if (next == std::string::npos) break;
    items.push_back(list.substr(cur + 1, next - cur - 1));
    cur = next;
  }
  return items;
}

// The items a list counts (CountItems): none when it is not closed by its separator.
std::vector<std::string> CountedItems(const std::string& list) {
  if (SUB::CountItems(list) == 0) return {};
  return ClosedItems(list);
}

std::string Join(char sep, const std::vector<std::string>& items) {
  std::string result(1, sep);
  for (const std::string& item : items) {
    result += item;
    result += sep;
  }
  return result;
}

}  // namespace

int SUB::CountItems(const std::string& list) {
  if (list.size() < 2 || list.back() != list.front()) return 0;
  std::size_t n = 0;
  for (std::size_t i = 1; i < list.size(); ++i)
    if (list[i] == list[0]) ++n;
  return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

std::string SUB::GetItem(const std::string& list, int index, const std::string& def) {
  if (IsEmptyList(list) || index < 0) return def;
  const char sep = list[0];
  std::size_t cur = 0;
  for (int item = 0;; ++item) {
    const std::size_t next = list.find(sep, cur + 1);
    if (next == std::string::npos) return def;
    if (item == index) return next - cur > 1 ? list.substr(cur + 1, next - cur - 1) : def;
    cur = next;
  }
}

int SUB::GetItemInt(const std::string& list, int index, int def) {
  std::int64_t value = 0;
  if (!TryParseInt64(GetItem(list, index, ""), value) || value < INT_MIN || value > INT_MAX) return def;
  return static_cast<int>(value);
}

int SUB::IndexOfItem(const std::string& list, const std::string& item, int def, bool prefixOnly) {
  // Only the item is trimmed: trimming the list would strip a separator below blank
  // (the switch list's code 1, code 0) together with the blanks.
  const std::string needleItem = UpperAscii(Trim(item));
  if (IsEmptyList(list) || needleItem.empty()) return def;
  const std::string upper = UpperAscii(list);
  const char sep = upper[0];
  std::string needle = sep + needleItem;
  if (!prefixOnly) needle += sep;
  const std::size_t p = upper.find(needle);
  if (p == std::string::npos) return def;
  int index = 0;
  for (std::size_t i = 1; i <= p; ++i)
    if (upper[i] == sep) ++index;
  return index;
}

bool SUB::ContainsItem(const std::string& list, const std::string& item, bool ignoreCase) {
  const std::string trimmed = Trim(item);
  if (IsEmptyList(list) || trimmed.empty()) return false;
  const std::string needle = list[0] + trimmed + list[0];
  return ignoreCase ? PosNoCase(needle, list) > 0 : list.find(needle) != std::string::npos;
}

std::string SUB::GetKeyValue(const std::string& list, const std::string& key, const std::string& def) {
  if (list.size() <= 2 || list.back() != list.front()) return def;
  const char sep = list[0];
  std::string needle = sep + key;
  if (needle.back() != '=') needle += '=';
  const std::string blankAfterSep = std::string(1, sep) + ' ';
  std::string clean = ReplaceText(list, blankAfterSep, std::string(1, sep));
  clean = ReplaceUntilGone(clean, " =", "=");
  const int pos = PosNoCase(needle, clean);
  if (pos == 0) return def;
  const std::size_t from = static_cast<std::size_t>(pos - 1) + needle.size();
  const std::size_t end = clean.find(sep, from);
  return clean.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string SUB::KeysOrValues(const std::string& list, char side) {
  std::vector<std::string> parts;
  for (const std::string& item : CountedItems(list)) {
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos)
      parts.emplace_back();
    else
      parts.push_back(side == 'L' ? item.substr(0, eq) : item.substr(eq + 1));
  }
  return Reseparate(Join(kAssemblySeparator, parts));
}

std::string SUB::Keys(const std::string& list) { return KeysOrValues(list, 'L'); }

std::string SUB::Values(const std::string& list) { return KeysOrValues(list, 'R'); }

void SUB::SplitKeyValues(const std::string& list, std::string& keys, std::string& values) {
  keys = Keys(list);
  values = Values(list);
}

std::string SUB::JoinKeyValues(const std::string& keys, const std::string& values, bool dropEmptyTail) {
  std::vector<std::string> k = CountedItems(dropEmptyTail ? TrimEmptyItems(keys, true, false) : keys);
  std::vector<std::string> v = CountedItems(dropEmptyTail ? TrimEmptyItems(values, true, false) : values);
  const std::size_t n = k.size() > v.size() ? k.size() : v.size();
  k.resize(n);
  v.resize(n);
  std::vector<std::string> items;
  items.reserve(n);
  for (std::size_t i = 0; i < n; ++i) items.push_back(k[i] + "=" + v[i]);
  return Reseparate(Join(kAssemblySeparator, items));
}

std::string SUB::DeleteItem(const std::string& list, int index) {
  if (IsEmptyList(list) || index < 0 || index >= CountItems(list)) return list;
  std::vector<std::string> items = ClosedItems(list);
  items.erase(items.begin() + index);
  return Join(list[0], items);
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
  if (index < 0 || index > kMaxGrowIndex) return list;
  const std::string source = list.empty() ? std::string("|") : list;
  const char sep = source[0];
  int n = CountItems(source);
  if (index >= n) n = index + 1;
  // Existing items as GetItem sees them: closed items only, whatever the count.
  std::vector<std::string> items = ClosedItems(source);
  items.resize(static_cast<std::size_t>(n));
  items[static_cast<std::size_t>(index)] = value;
  bool sepInText = false;
  for (const std::string& item : items)
    if (item.find(sep) != std::string::npos) sepInText = true;
  if (sepInText) return Reseparate(Join(kAssemblySeparator, items));
  return Join(sep, items);
}

std::string SUB::ReverseItems(const std::string& list) {
  if (list.empty()) return list;
  std::vector<std::string> items = ClosedItems(list);
  return Join(list[0], std::vector<std::string>(items.rbegin(), items.rend()));
}

std::string SUB::TrimEmptyItems(const std::string& list, bool fromEnd, bool fromStart) {
  if (CountItems(list) == 0) return list.size() == 1 ? std::string() : list;
  std::vector<std::string> items = ClosedItems(list);
  std::size_t begin = 0, end = items.size();
  if (fromEnd)
    while (end > begin && items[end - 1].empty()) --end;
  if (fromStart)
    while (begin < end && items[begin].empty()) ++begin;
  const std::string result = Join(list[0], std::vector<std::string>(items.begin() + begin, items.begin() + end));
  return result.size() == 1 ? std::string() : result;
}

std::string SUB::Reseparate(const std::string& list) {
  if (list.empty()) return list;
  std::string result = list;
  for (const char* c = kSeparators; *c; ++c) {
    if (list.find(*c) != std::string::npos) continue;
    const char old = list[0];
    for (char& ch : result)
      if (ch == old) ch = *c;
    break;
  }
  return result.size() == 1 ? std::string() : result;
}
