#pragma once
// Names of the system's language: a built-in table of language names and their primary
// language numbers, and the name of the calling thread's language.
#include <string>

// "|AFRIKAANS    = 54|ALBANIAN     = 28|...": 51 rows "NAME = number", in table order.
extern const char kLanguageNameTable[];

// Name of the first row whose text contains the number in decimal (at least two digits)
// anywhere, without blanks; empty when no row does. So 10 gives "SPANISH" (before the
// rows of 1028, 1043 and 1046), 26 "CROATIAN", 40 nothing.
std::string LanguageNameForId(int primaryLanguage);

// LanguageNameForId of the thread locale's primary language (its low 10 bits; 9 when
// the locale has no language part). Windows: the thread locale; native builds: English.
std::string SysLanguageName();
