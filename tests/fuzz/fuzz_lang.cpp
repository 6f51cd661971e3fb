// The package's language table on arbitrary bytes: the entry chosen is "*" or a piece of
// the table, a key's value is the default or shorter than its entry and free of its
// separator, and the cached lookups
// give numbers for the font whatever the table holds.
#include <cstdlib>
#include <string>
#include <vector>

#include "system/Utils.h"
#include "system/ZSub.h"
#include "tests/fuzz/FuzzFields.h"
#include "ui/LangStrings.h"
#include "system/TestHooks.h"

namespace {
const std::string kDefault = "\x01" "default";
}

// Fields (split at 0x00): the table, a language name and a key.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::vector<std::string> f = FuzzFields(data, size, 3, '\0');
  const std::string& table = f[0];
  // A named entry found is that name's, unless it is the table's only one.
  const std::string found = FindLangEntry(table, f[1]);
  if (found != "*" && !SameTextTrim(SUB::GetItem(found, 0), f[1]) && table != table[0] + found + table[0])
    std::abort();
  for (const std::string& entry : {found, ChooseLangEntry(table, f[1])}) {
    if (entry != "*" && table.find(entry) == std::string::npos) std::abort();
    const std::string value = LangEntryString(entry, f[2], kDefault);
    if (value != kDefault && (value.size() >= entry.size() || value.find(entry[0]) != std::string::npos))
      std::abort();
    if (entry == "*" && value != kDefault) std::abort();
  }
  ResetLangCache();
  (void)GetLangString(table, f[2], kDefault);
  (void)GetLangCharset(table);
  (void)GetLangFontSize(table);
  (void)GetLangFontName(table);
  (void)LangDefault(f[2]);
  ResetLangCache();
  return 0;
}
