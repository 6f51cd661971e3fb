#include "ui/LangStrings.h"

#include <climits>
#include <cstdint>

#include "system/Utils.h"
#include "system/TestHooks.h"
#include "system/ZSub.h"
#include "ui/SLangId.h"

namespace {

struct LangStringsState {
  // Empty until the first lookup, then the chosen entry or "*".
  std::string cachedEntry;
};
LangStringsState state;

struct KeyDefault {
  const char* key;
  const char* value;
};
const KeyDefault kDefaults[] = {
    {"s0", lang::kS0},   {"s1", lang::kS1},         {"s2", lang::kS2},
    {"s3", lang::kS3},   {"s4", lang::kS4},         {"s5", lang::kS5},
    {"s6", lang::kS6},   {"s7", lang::kS7},         {"s8", lang::kS8},
    {"s10", lang::kS10}, {"s11", lang::kS11},       {"s12", lang::kS12},
    {"BtnText", lang::kBtnText}, {"Error", lang::kError}, {"Attention", lang::kAttention},
    {"Confirm", lang::kConfirm}, {"Charset", "0"},  {"FontSize", "8"},
    {"FontName", lang::kFontName},
};

// Calls visit(item) for each item of a closed separator list, in order, until it returns
// true. One pass: tables may be large and are package bytes.
template <typename Visit>
void ForEachItem(const std::string& list, Visit visit) {
  if (list.size() < 2 || list.back() != list.front()) return;
  const char sep = list[0];
  std::size_t cur = 0;
  while (true) {
    const std::size_t next = list.find(sep, cur + 1);
    if (next == std::string::npos) return;
    if (visit(list.substr(cur + 1, next - cur - 1))) return;
    cur = next;
  }
}

int CountClosedItems(const std::string& list) {
  int n = 0;
  ForEachItem(list, [&n](const std::string&) { return ++n > 1; });
  return n;
}

// The entry as the key lookup reads it: "separator + blank" replaced by the separator,
// then every run of blanks before a "=" dropped (the rules of SUB::GetKeyValue, in one
// pass: an entry may be megabytes of package bytes).
std::string CleanEntry(const std::string& entry) {
  const char sep = entry[0];
  std::string clean;
  clean.reserve(entry.size());
  for (std::size_t i = 0; i < entry.size(); ++i) {
    const char ch = entry[i];
    if (ch == '=')
      while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    clean += ch;
    if (ch == sep && i + 1 < entry.size() && entry[i + 1] == ' ') ++i;
  }
  return clean;
}

int ToIntOr(const std::string& text, int def) {
  std::int64_t value = 0;
  if (!TryParseInt64(Trim(text), value) || value < INT_MIN || value > INT_MAX) return def;
  return static_cast<int>(value);
}

}  // namespace

std::string LangDefault(const std::string& key) {
  for (const KeyDefault& item : kDefaults)
    if (SameText(key, item.key)) return item.value;
  return "";
}

std::string FindLangEntry(const std::string& langTable, const std::string& name) {
  std::string result = "*";
  ForEachItem(langTable, [&](const std::string& entry) {
    if (entry.empty()) return false;  // an empty item is no entry (it has no name)
    if (!SameTextTrim(SUB::GetItem(entry, 0), name)) return false;
    result = entry;
    return true;
  });
  if (result == "*" && CountClosedItems(langTable) == 1) {
    ForEachItem(langTable, [&result](const std::string& entry) {
      if (!entry.empty()) result = entry;
      return true;
    });
  }
  return result;
}

std::string ChooseLangEntry(const std::string& langTable, const std::string& sysLanguage) {
  std::string entry = Trim(sysLanguage).empty() ? std::string("*") : FindLangEntry(langTable, sysLanguage);
  if (entry == "*") entry = FindLangEntry(langTable, "English");
  return entry;
}

std::string LangEntryString(const std::string& entry, const std::string& key, const std::string& def) {
  if (entry.size() <= 2 || entry.back() != entry.front() || key.empty()) return def;
  const char sep = entry[0];
  const std::string clean = CleanEntry(entry);
  std::string needle = sep + key;
  if (needle.back() != '=') needle += '=';
  const int pos = PosNoCase(needle, clean);
  if (pos == 0) return def;
  const std::size_t from = static_cast<std::size_t>(pos - 1) + needle.size();
  const std::size_t end = clean.find(sep, from);
  return clean.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

const std::string& CachedLangEntry(const std::string& langTable, const std::function<std::string()>& sysLanguage) {
  if (state.cachedEntry.empty()) {
    state.cachedEntry = ChooseLangEntry(langTable, sysLanguage ? sysLanguage() : std::string());
    if (state.cachedEntry.empty()) state.cachedEntry = "*";
  }
  return state.cachedEntry;
}

void ResetLangCache() {
  state.cachedEntry.clear();
}

std::string GetLangString(const std::string& langTable, const std::string& key, const std::string& def) {
  return LangEntryString(CachedLangEntry(langTable, SysLanguageName), key, def);
}

int GetLangCharset(const std::string& langTable) {
  return ToIntOr(GetLangString(langTable, "Charset", "0"), lang::kCharset);
}

int GetLangFontSize(const std::string& langTable) {
  return ToIntOr(GetLangString(langTable, "FontSize", "8"), lang::kFontSize);
}

std::string GetLangFontName(const std::string& langTable) {
  return GetLangString(langTable, "FontName", lang::kFontName);
}
