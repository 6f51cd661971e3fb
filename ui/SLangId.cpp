#include "ui/SLangId.h"

#include "system/Utils.h"

// Rows are found by a substring test on the whole row, so their order decides between
// numbers that contain each other (10 before 1028, 1043 and 1046).
const char kLanguageNameTable[] =
    "|"
    "AFRIKAANS    = 54|"
    "ALBANIAN     = 28|"
    "ARABIC       = 01|"
    "BASQUE       = 45|"
    "BELARUSIAN   = 35|"
    "BULGARIAN    = 02|"
    "CATALAN      = 03|"
    "CHINESE      = 04|"
    "CROATIAN     = 26|"
    "CZECH        = 05|"
    "DANISH       = 06|"
    "DUTCH        = 19|"
    "ENGLISH      = 09|"
    "ESTONIAN     = 37|"
    "FAEROESE     = 56|"
    "FARSI        = 41|"
    "FINNISH      = 11|"
    "FRENCH       = 12|"
    "GERMAN       = 07|"
    "GREEK        = 08|"
    "HEBREW       = 13|"
    "HUNGARIAN    = 14|"
    "ICELANDIC    = 15|"
    "INDONESIAN   = 33|"
    "ITALIAN      = 16|"
    "JAPANESE     = 17|"
    "KOREAN       = 18|"
    "LATVIAN      = 38|"
    "LITHUANIAN   = 39|"
    "NORWEGIAN    = 20|"
    "POLISH       = 21|"
    "PORTUGUESE   = 22|"
    "ROMANIAN     = 24|"
    "RUSSIAN      = 25|"
    "SERBIAN      = 26|"
    "SLOVAK       = 27|"
    "SLOVENIAN    = 36|"
    "SPANISH      = 10|"
    "SWEDISH      = 29|"
    "THAI         = 30|"
    "TURKISH      = 31|"
    "UKRAINIAN    = 34|"
    "VIETNAMESE   = 42|"
    "CHINESE(SIMPLIFIED) = 2052|"
    "CHINESE(TRADITIONAL) = 1028|"
    "DUTCH(FLEMISH) = 2067|"
    "DUTCH(STANDARD) = 1043|"
    "PORTUGUESE(PORTUGAL) = 2070|"
    "PORTUGUESE(BRAZIL) = 1046|"
    "SERBIAN(LATIN) = 2074|"
    "SERBIAN(CYRILIC) = 3098|";

std::string LanguageNameForId(int primaryLanguage) {
  const std::string digits = IntToZeroPadded(primaryLanguage, 2);
  const std::string table = kLanguageNameTable;
  std::size_t cur = 0;
  while (true) {
    const std::size_t next = table.find('|', cur + 1);
    if (next == std::string::npos) return "";
    const std::string row = table.substr(cur + 1, next - cur - 1);
    if (row.find(digits) != std::string::npos) return ReplaceText(TextBefore(row, "="), " ", "");
    cur = next;
  }
}
