#include <windows.h>

#include "ui/SLangId.h"

std::string SysLanguageName() {
  int primary = PRIMARYLANGID(LANGIDFROMLCID(GetThreadLocale()));
  if (primary == 0) primary = LANG_ENGLISH;
  return LanguageNameForId(primary);
}
