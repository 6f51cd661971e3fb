// Language strings: the language-name table, the choice of the language entry and the
// key lookup, the process-wide cache, and TGFileInfo's lookups on packages made by zpack.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/PackX.h"
#include "system/ZSub.h"
#include "tools/zpack/ZPack.h"
#include "ui/LangStrings.h"
#include "ui/SLangId.h"
#include "system/TestHooks.h"

namespace fs = std::filesystem;

namespace {

// The package's table separator (0x02) around entries.
std::string Table(const std::vector<std::string>& entries) {
  std::string table = "\x02";
  for (const std::string& entry : entries) table += entry + "\x02";
  return table;
}

std::string EntryName(const std::string& entry) { return entry == "*" ? "*" : SUB::GetItem(entry, 0); }

}  // namespace

TEST(LanguageNameTable, RowsAndPrimaryLanguageNumbers) {
  const std::string table = kLanguageNameTable;
  EXPECT_EQ(table.rfind("|AFRIKAANS    = 54|ALBANIAN     = 28|", 0), 0u);
  EXPECT_EQ(SUB::CountItems(table), 51);
  EXPECT_EQ(SUB::GetItem(table, 50), "SERBIAN(CYRILIC) = 3098");

  // The first row containing the digits wins: a substring test, not a number compare.
  const struct {
    int id;
    const char* name;
  } cases[] = {
      {9, "ENGLISH"},          {7, "GERMAN"},           {1, "ARABIC"},
      {13, "HEBREW"},          {10, "SPANISH"},         {26, "CROATIAN"},
      {43, "DUTCH(STANDARD)"}, {46, "PORTUGUESE(BRAZIL)"}, {52, "CHINESE(SIMPLIFIED)"},
      {67, "DUTCH(FLEMISH)"},  {70, "PORTUGUESE(PORTUGAL)"}, {74, "SERBIAN(LATIN)"},
      {98, "SERBIAN(CYRILIC)"}, {40, ""},               {23, ""},
      {0x3FF, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageNameForId(c.id), c.name) << "primary language " << c.id;
}

TEST(LangEntry, ChoosesSystemLanguageThenEnglishThenTheOnlyEntry) {
  const std::string english = "|English|s0=E|";
  const std::string german = "^Deutsch^s0=D^";
  const std::string spanish = "|  spanish  |s0=S|";
  const struct {
    std::vector<std::string> entries;
    const char* sysLanguage;
    const char* chosen;  // item 0 of the chosen entry, "*" for none
  } cases[] = {
      {{}, "ENGLISH", "*"},
      {{german}, "ENGLISH", "Deutsch"},           // one entry: used whatever its name
      {{english, german}, "GERMAN", "English"},   // no GERMAN entry: English
      {{german, spanish}, "GERMAN", "*"},         // neither: defaults
      {{english, spanish}, "SPANISH", "  spanish  "},  // trimmed, case ignored
      {{german, english}, "", "English"},         // unknown system language
      {{german, "|ENGLISH |s0=x|"}, "FRENCH", "ENGLISH "},
  };
  for (const auto& c : cases) {
    const std::string table = Table(c.entries);
    EXPECT_EQ(EntryName(ChooseLangEntry(table, c.sysLanguage)), c.chosen)
        << "table of " << c.entries.size() << " entries, system " << c.sysLanguage;
  }
  EXPECT_EQ(FindLangEntry(Table({german, english}), "deutsch"), german);
  EXPECT_EQ(FindLangEntry(Table({german, english}), "French"), "*");
}

TEST(LangEntry, KeyLookup) {
  const std::string entry = "|English|S7=Upper|s8 =Blank before|  s9=Two blanks|s10=|s11= a = b |s12=x|";
  const struct {
    const char* key;
    const char* expected;
  } cases[] = {
      {"s7", "Upper"},           // key case ignored
      {"s8", "Blank before"},    // blanks before "=" ignored
      {"s10", ""},               // present but empty: empty, not the default
      {"s11", " a= b "},         // the value keeps its blanks (those before "=" go)
      {"s1", "default"},         // absent
      {"s12", "x"},
      {"English", "default"},    // the name is no key
  };
  for (const auto& c : cases) EXPECT_EQ(LangEntryString(entry, c.key, "default"), c.expected) << c.key;
  // Only one blank after a separator is dropped.
  EXPECT_EQ(LangEntryString(entry, "s9", "default"), "default");
  EXPECT_EQ(LangEntryString(entry, " s9", "default"), "Two blanks");
  for (const char* none : {"*", "", "|", "||", "|English|s0=x"})
    EXPECT_EQ(LangEntryString(none, "s0", "default"), "default") << none;

  // Same answers as the list helper the rest of the stub uses.
  for (const char* key : {"s7", "s8", "s9", "s10", "s11", "s12", "s1"})
    EXPECT_EQ(LangEntryString(entry, key, "d"), SUB::GetKeyValue(entry, key, "d")) << key;
}

TEST(LangEntry, DefaultsOfEveryKey) {
  EXPECT_EQ(LangDefault("s0"), "Zorvik Installation Suite");
  EXPECT_EQ(LangDefault("S7"), "Bad CRC!<P>This indicates that your setup file might be corrupted...");
  EXPECT_EQ(LangDefault("s8"), "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
  EXPECT_EQ(LangDefault("BtnText"), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(LangDefault("Charset"), "0");
  EXPECT_EQ(LangDefault("FontSize"), "8");
  EXPECT_EQ(LangDefault("FontName"), "Tahoma");
  EXPECT_EQ(LangDefault("s9"), "");
}

TEST(LangCache, ChosenOnceForTheProcess) {
  ResetLangCache();
  int asked = 0;
  auto german = [&asked] {
    ++asked;
    return std::string("GERMAN");
  };
  const std::string first = Table({"|English|s0=E|", "^German^s0=G^"});
  EXPECT_EQ(CachedLangEntry(first, german), "^German^s0=G^");
  // A second package does not change the choice, and the system is not asked again.
  EXPECT_EQ(CachedLangEntry(Table({"|English|s0=other|"}), german), "^German^s0=G^");
  EXPECT_EQ(asked, 1);

  // No entry found: "*" is kept, so the table is not searched again either.
  ResetLangCache();
  EXPECT_EQ(CachedLangEntry(Table({"|French|s0=F|", "|Italian|s0=I|"}), german), "*");
  EXPECT_EQ(CachedLangEntry(Table({"|German|s0=G|"}), german), "*");
  EXPECT_EQ(asked, 2);
  ResetLangCache();
}

TEST(LangCache, MalformedAndLargeTablesGiveDefaults) {
  // Hundreds of entries, with the wanted one last.
  std::vector<std::string> many;
  for (int i = 0; i < 500; ++i) many.push_back("|Lang" + std::to_string(i) + "|s0=" + std::to_string(i) + "|");
  many.push_back("|English|s0=found|");
  EXPECT_EQ(LangEntryString(ChooseLangEntry(Table(many), "ENGLISH"), "s0", "d"), "found");

  const std::string megaBlanks(4 << 20, ' ');
  std::string blankEquals;
  for (int i = 0; i < (1 << 20); ++i) blankEquals += " =";
  const std::string cases[] = {
      "",                              // no table
      "\x02",                          // empty table
      "\x02\x02\x02",                  // empty entries only
      "\x02|English|s0=x",             // table not closed
      "|English|s0=x|",                // an entry without the table around it: item 0 "English"
      "\x02|English\x02",              // entry not closed
      "\x02" + megaBlanks + "\x02",    // a huge nameless entry
      "\x02|English|" + blankEquals + "|\x02",  // a huge entry of blanks before "="
  };
  for (const std::string& table : cases) {
    ResetLangCache();
    const auto start = std::chrono::steady_clock::now();
    const std::string& entry = CachedLangEntry(table, [] { return std::string("ENGLISH"); });
    EXPECT_EQ(LangEntryString(entry, "s1", lang::kS1), lang::kS1) << "table of " << table.size() << " bytes";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << table.size();
  }
  ResetLangCache();
}

class LangPackage : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lang_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
    // Enough of a Windows program for zpack: "MZ", and "PE\0\0" where bytes 60..63 point.
    std::ofstream(dir_ / "stub.exe", std::ios::binary)
        << "MZ" + std::string(58, 'S') + std::string("\x40\0\0\0PE\0\0", 8) + std::string(444, 'S');
    std::ofstream(dir_ / "engine.txt", std::ios::binary) << "engine";
    ResetLangCache();
  }
  void TearDown() override {
    ResetLangCache();
    fs::remove_all(dir_);
  }

  std::string Pack(const std::vector<std::string>& languages) {
    zpack::Options options;
    options.stub = (dir_ / "stub.exe").string();
    options.output = (dir_ / "setup.exe").string();
    options.languages = languages;
    options.inputs.push_back({(dir_ / "engine.txt").string(), "engine.txt", true, ""});
    std::vector<std::string> written;
    std::string error;
    EXPECT_TRUE(zpack::Build(options, written, error)) << error;
    return options.output;
  }

  fs::path dir_;
};

// Native builds answer SysLanguageName with ENGLISH.
TEST_F(LangPackage, LooksUpTheEnglishEntry) {
  TGFileInfo info(Pack({"|Deutsch|s0=Deutsches Setup|Charset=1|",
                        "|English|s0=My Setup|S7=|BtnText=^Ja^Nein^|Charset= 177|FontSize=10|FontName=Arial|"}));
  EXPECT_EQ(info.GetLangString("s0", lang::kS0), "My Setup");
  EXPECT_EQ(info.GetLangString("s7", lang::kS7), "");
  EXPECT_EQ(info.GetLangString("s1", lang::kS1), lang::kS1);
  EXPECT_EQ(info.GetLangString("BtnText", lang::kBtnText), "^Ja^Nein^");
  EXPECT_EQ(info.GetLangCharset(), 177);
  EXPECT_EQ(info.GetLangFontSize(), 10);
  EXPECT_EQ(info.GetLangFontName(), "Arial");
}

TEST_F(LangPackage, DefaultsWithoutTableOrWithBadNumbers) {
  {
    TGFileInfo info(Pack({}));
    EXPECT_EQ(info.GetLangString("s0", lang::kS0), lang::kS0);
    EXPECT_EQ(info.GetLangCharset(), 0);
    EXPECT_EQ(info.GetLangFontSize(), 8);
    EXPECT_EQ(info.GetLangFontName(), "Tahoma");
  }
  ResetLangCache();
  TGFileInfo info(Pack({"|English|Charset=Hebrew|FontSize=12pt|FontName=|"}));
  EXPECT_EQ(info.GetLangCharset(), 0);
  EXPECT_EQ(info.GetLangFontSize(), 8);
  EXPECT_EQ(info.GetLangFontName(), "");  // present but empty
}
