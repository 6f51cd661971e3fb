#include "ui/SLangId.h"

// Native builds have no thread locale: they behave as an English system.
std::string SysLanguageName() { return LanguageNameForId(9); }
