#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "system/CommandLine.h"
#include "system/Utils.h"
#include "system/ZSub.h"

namespace {

std::string AllBytesFrom(int first, int last) {
  std::string s;
  for (int b = first; b <= last; ++b) s += static_cast<char>(b);
  return s;
}

TEST(UtilsConstants, ListsAreWellFormed) {
  EXPECT_EQ(SUB::CountItems(kDefaultButtonList), 7);
  EXPECT_EQ(SUB::GetItem(kDefaultTitleList, 2, ""), "Confirm");
  EXPECT_EQ(SUB::GetItem(kMonthList, 3, ""), "MAR");
  EXPECT_EQ(SUB::GetItem(kMonthList, 12, ""), "DEC");
  EXPECT_EQ(std::string(kDigitTable).size(), 16u);
}

TEST(UtilsReplace, OccurrenceSelection) {
  struct Case { std::string text, pattern, replacement; int last, first; std::string expected; };
  const Case cases[] = {
      {"aaa", "a", "aa", 0, 0, "aaaaaa"},          // a replacement never re-matches
      {"a-a-a-a", "a", "b", 0, 0, "b-b-b-b"},
      {"a-a-a-a", "a", "b", 0, 2, "a-b-a-a"},      // only the 2nd
      {"a-a-a-a", "a", "b", 2, 0, "b-b-a-a"},      // the first two
      {"a-a-a-a", "a", "b", 3, 2, "a-b-b-a"},
      {"a-a", "a", "b", 0, 5, "a-a"},              // no 5th occurrence
      {"abc", "x", "y", 0, 0, "abc"},
      {"abc", "", "y", 0, 0, "abc"},
      {"aabb", "ab", "", 0, 0, "ab"},              // removal does not join into a new match
      {"", "a", "b", 0, 0, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplaceText(c.text, c.pattern, c.replacement, c.last, c.first), c.expected)
        << c.text << " " << c.last << "/" << c.first;

  EXPECT_EQ(ReplaceTextNoCase("AbxaB", "ab", "-"), "-x-");
  EXPECT_EQ(ReplaceText("AbxaB", "ab", "-"), "AbxaB");
}

TEST(UtilsReplace, PatternsCoveringAlmostEveryByte) {
  // Every byte but 255: text around it, including 255 itself, stays intact.
  const std::string pattern = AllBytesFrom(0, 254);
  const std::string text = "x" + pattern + "\xFF" + pattern + "\xFF";
  EXPECT_EQ(ReplaceText(text, pattern, "RR"), "xRR\xFFRR\xFF");
  EXPECT_EQ(ReplaceText(text, pattern, "R", 0, 2), "x" + pattern + "\xFFR\xFF");
  // All 256 bytes: no byte is free, yet replacement works and ends.
  const std::string all = AllBytesFrom(0, 255);
  EXPECT_EQ(ReplaceTextNoCase(all + all, all, "\xFF"), "\xFF\xFF");
}

TEST(UtilsReplace, UntilGone) {
  EXPECT_EQ(ReplaceUntilGone("  =", " =", "="), "=");
  EXPECT_EQ(ReplaceUntilGone("a   = b  =c", " =", "="), "a= b=c");
  EXPECT_EQ(ReplaceUntilGone("aaa", "a", "aa"), "aaa");  // replacement holds the pattern
  EXPECT_EQ(ReplaceUntilGone("aabb", "ab", ""), "");
  EXPECT_EQ(ReplaceUntilGone(std::string(50000, ' ') + "=", " =", "="), "=");
}

TEST(UtilsText, PiecesAndStripping) {
  EXPECT_EQ(TextBefore("key=value=x", "=", "d"), "key");
  EXPECT_EQ(TextAfter("key=value=x", "=", "d"), "value=x");
  EXPECT_EQ(TextBefore("key", "=", "d"), "d");
  EXPECT_EQ(TextAfter("key", "", "d"), "d");
  EXPECT_EQ(ReplaceChar("a.b.c", '.', '\\'), "a\\b\\c");
  EXPECT_EQ(KeepChars("v5.1-beta2", "0123456789.", "."), "512");

  struct Case { std::string text; bool always, once; std::string expected; };
  const Case cases[] = {
      {"\"", false, false, ""},
      {"\"\"a\"\"", false, false, "a"},
      {"\"\"a\"\"", false, true, "\"a\""},
      {"\"a", false, false, "\"a"},     // not enclosed: untouched
      {"\"a", true, false, "a"},
      {"a\"\"", true, true, "a\""},
      {"", true, false, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(StripChar(c.text, '"', c.always, c.once), c.expected) << c.text;

  EXPECT_EQ(Enclose("a", '.'), ".a.");
  EXPECT_EQ(Enclose("..a.", '.', true), ".a.");
  EXPECT_EQ(Unquote("  \"C:\\My Files\"  "), "C:\\My Files");
  EXPECT_EQ(Quote(" \"x\" "), "\"x\"");
  EXPECT_EQ(Quote("x"), "\"x\"");
  EXPECT_EQ(ReverseText("abc"), "cba");
}

TEST(UtilsText, CaseAndTrim) {
  EXPECT_EQ(UpperAscii("az\xE4Z1"), "AZ\xE4Z1");  // only a..z change
  EXPECT_EQ(Trim("\t\x01 a b \r\n"), "a b");
  EXPECT_EQ(Trim("\xA0" "a"), "\xA0" "a");        // above blank: kept
  EXPECT_TRUE(SameTextTrim(" Abc\t", "aBC"));
  EXPECT_FALSE(SameText("\xE4", "\xC4"));
}

TEST(UtilsText, Positions) {
  EXPECT_EQ(LastPos("ab", "abxab"), 4);
  EXPECT_EQ(LastPos("q", "abxab"), 0);
  EXPECT_EQ(ReversePosNoCase("ZZ", "setup.exe"), 0);
  EXPECT_EQ(ReversePosNoCase(".EXE", "setup.exe"), 1);
  EXPECT_EQ(ReversePosNoCase("SETUP", "setup.exe"), 5);
  EXPECT_TRUE(EndsWith(".EXE", "a.exe", true));
  EXPECT_FALSE(EndsWith(".EXE", "a.exe", false));
  EXPECT_FALSE(EndsWith("long.exe", ".exe", true));
  EXPECT_TRUE(StartsWith("x_", "X_Update.exe", true));
  EXPECT_FALSE(StartsWith("x_", "X_Update.exe", false));
  EXPECT_EQ(PosNoCase("UPD", "x_update"), 3);

  struct Case { std::string sub, text; int start; bool noCase; int expected; };
  const Case cases[] = {
      {"a", "abca", -5, false, 1}, {"a", "abca", 2, false, 4}, {"A", "abca", 2, true, 4},
      {"a", "abca", 4, false, 4},  {"a", "abca", 5, false, 0}, {"a", "abca", INT_MAX, false, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(PosFrom(c.sub, c.text, c.start, c.noCase), c.expected) << c.start;
  EXPECT_EQ(PosFromNoCase("B", "abcb", 3), 4);
}

TEST(UtilsFormat, Padding) {
  struct Case { std::string text; int width; std::string expected; };
  const Case cases[] = {
      {"abc", 5, "__abc"}, {"abc", 2, "abc"},       {"abc", 0, "abc"},
      {"abc", -1, "abc"},  {"abc", -2, "abc"},       {"abcdef", -4, "abc."},
      {"ab", -4, "__ab"},  {"abcd", -4, "abcd"},     {"abcdef", -3, "ab."},
      {"abc", INT_MIN, "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(PadLeft(c.text, c.width, '_'), c.expected) << c.width;
  EXPECT_EQ(ZeroPad("7", 3), "007");
  EXPECT_EQ(ZeroPad("7", -3), "7");
  EXPECT_EQ(IntToZeroPadded(42, 5), "00042");
  EXPECT_EQ(IntToZeroPadded(-5, 4), "-005");
  EXPECT_EQ(IntToZeroPadded(INT64_MIN, 1), "-9223372036854775808");
  EXPECT_EQ(FloatToFixed(3.14159, 2), "3.14");
  EXPECT_EQ(FloatToFixed(1234.5, 1), "1234.5");
  EXPECT_EQ(FloatToFixed(7, -3), "7");
  EXPECT_EQ(FloatToFixed(NAN, 2), "NAN");
  EXPECT_EQ(BoolToText(true) + BoolToText(false), "TRUEFALSE");
  EXPECT_EQ(std::string(1, BoolToDigit(true)) + BoolToDigit(false), "10");
}

TEST(UtilsNumbers, FloatToFixedIsPrintfFixedNotationExactly) {
  struct Case {
    double value;
    int decimals;
    const char* expected;
  } cases[] = {
      {0.125, 2, "0.12"},    {0.375, 2, "0.38"},  // exact halves go to the even digit
      {2.5, 0, "2"},         {3.5, 0, "4"},        {0.0, 3, "0.000"},
      {-0.0, 1, "-0.0"},     {-0.04, 1, "-0.0"},   // the sign stays when the digits round to 0
      {999.9996, 3, "1000.000"},                  // the carry runs into a new digit
      {0.1, 18, "0.100000000000000006"},          // the double's own digits, not 0.1's
      {1e22, 0, "10000000000000000000000"},       {5e-324, 3, "0.000"},
      {123456789.987654321, 5, "123456789.98765"}, {-1.005, 2, "-1.00"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToFixed(c.value, c.decimals), c.expected) << c.value;

  // Any double, any count of decimals: the C library's own text.
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 2000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value) || std::isinf(value)) continue;
    const int decimals = static_cast<int>(bits % 19);
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
    ASSERT_EQ(FloatToFixed(value, decimals), expected) << bits;
  }
}

TEST(UtilsNumbers, ParseNumberAndHex) {
  struct Case { std::string text; int base; std::int64_t expected; };
  const Case cases[] = {
      {"1G", 16, -1},  {"ff", 16, 255}, {" 12 ", 10, 12}, {"", 10, 0},
      {"19", 8, 17},   // digits are not checked against the base
      {"-1", 10, -1},  // a sign is no digit
      {"FFFFFFFFFFFFFFFF", 16, -1},           // 2^64 - 1 read as signed
      {"10000000000000000", 16, 0},           // wraps around modulo 2^64
  };
  for (const Case& c : cases) EXPECT_EQ(ParseNumber(c.text, c.base), c.expected) << c.text;
  // Overflowing decimal input gives some value (wrapped), never undefined behaviour.
  (void)ParseNumber("99999999999999999999999", 10);
  (void)ParseNumber("FF", INT_MIN);

  EXPECT_EQ(HexToInt("0xff"), 255);
  EXPECT_EQ(HexToInt("0XFF"), 255);
  EXPECT_EQ(HexToInt("ff"), 255);
  EXPECT_EQ(HexToInt("0x"), 0);
  EXPECT_EQ(HexToInt("0xg1"), -1);
}

TEST(UtilsNumbers, TryParseInt64RefusesOverflow) {
  struct Case { std::string text; bool ok; std::int64_t value; };
  const Case cases[] = {
      {"9223372036854775807", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"-9223372036854775809", false, 0},
      {"99999999999999999999", false, 0},
      {"  17", true, 17},
      {"+5", true, 5},
      {"17 ", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"1x", false, 0},
      {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    std::int64_t v = 0;
    EXPECT_EQ(TryParseInt64(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(UtilsNumbers, BytesAndHex) {
  EXPECT_EQ(BytesToHex("\x01\xAB"), "01AB");
  EXPECT_EQ(BytesToHex("\x01\xAB", false, true), "0x010xAB");
  EXPECT_EQ(BytesToHex(std::string(9, '\x10'), true, false), "10 10 10 10 10 10 10 10  10 ");
  EXPECT_EQ(HexToBytes("01ab"), "\x01\xAB");
  EXPECT_EQ(HexToBytes("abc"), "\xAB\x0C");  // a lone last digit is a byte of its own
  EXPECT_EQ(HexToBytes("zz"), "\xFF");        // not hex: -1, cut to a byte
  EXPECT_EQ(HexToBytes(""), "");
  const std::string all = AllBytesFrom(0, 255);
  EXPECT_EQ(HexToBytes(BytesToHex(all)), all);
}

TEST(UtilsNumbers, ThousandsAndSizes) {
  struct Case { std::string text, expected; };
  const Case cases[] = {
      {"7654321.5", "7,654,321.5"}, {"123", "123"},         {"1234", "1,234"},
      {"123456", "123,456"},        {"-1234567", "-1,234,567"}, {"", ""},
      {"1234.5678", "1,234.5678"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatThousands(c.text), c.expected);

  EXPECT_EQ(FormatSize(0, false, 1025, 1024), "2");
  EXPECT_EQ(FormatSize(0, false, 1024, 1024), "1");
  EXPECT_EQ(FormatSize(0, false, 0, 1024), "0");
  EXPECT_EQ(FormatSize(1, false, 0, 1024), "0.0");
  EXPECT_EQ(FormatSize(2, false, 1536, 1024), "1.5");
  EXPECT_EQ(FormatSizeKB(0, true, 3221225472LL), "3,145,728");
  EXPECT_EQ(FormatSizeMB(1, true, 2684354560LL), "2,560.0");
  EXPECT_EQ(FormatSize(0, false, 5, 0), "5");  // no division by zero
}

TEST(UtilsNumbers, RangesAndRandom) {
  EXPECT_EQ(EnsureRange(5, 1, 3), 3);
  EXPECT_EQ(EnsureRange(-5, 1, 3), 1);
  EXPECT_EQ(MinInt64(INT64_MIN, 0), INT64_MIN);
  EXPECT_EQ(MaxInt64(INT64_MAX, 0), INT64_MAX);
  for (int i = 0; i < 50; ++i) {
    const std::int64_t r = RandomRange(33, 122);
    EXPECT_GE(r, 33);
    EXPECT_LE(r, 122);
  }
  EXPECT_EQ(RandomRange(9, 2), 9);
  (void)RandomRange(INT64_MIN, INT64_MAX);
  EXPECT_EQ(RandomRangeText(4, 4), "4");
  EXPECT_EQ(IfThenText(false, "a", "b"), "b");
  EXPECT_EQ(IfThenInt64(true, 1, 2), 1);
  EXPECT_EQ(IfThenInt(false, 1, 2), 2);
}

TEST(UtilsDates, EncodeDecode) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDateTime(2024, 3, 3), 45354.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6), -1.25);

  struct Case { int y, mo, d, h, mi, s; };
  const Case cases[] = {{2024, 2, 29, 23, 59, 59}, {1899, 12, 29, 6, 0, 0}, {1600, 3, 1, 12, 30, 1}, {9999, 12, 31, 0, 0, 0}};
  for (const Case& c : cases) {
    const DateTimeParts p = DecodeDateTime(EncodeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s));
    EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, p.hour, p.minute, p.second}),
              std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s}));
  }
  // Just below midnight rounds into the next day, not to hour 24.
  const DateTimeParts carry = DecodeDateTime(EncodeDateTime(2024, 3, 3) + 0.99999999999);
  EXPECT_EQ(std::vector<int>({carry.day, carry.hour}), std::vector<int>({4, 0}));
  // Out of range and not a number: the epoch.
  for (double bad : {double(NAN), double(INFINITY), 1e300, -1e300}) EXPECT_EQ(DecodeDateTime(bad).year, 1899);
}

TEST(UtilsDates, Texts) {
  const double when = EncodeDateTime(2024, 3, 3, 13, 5, 9);
  EXPECT_EQ(DateToText(EncodeDateTime(2024, 3, 3)), "03-MAR-2024");
  EXPECT_EQ(DateTimeToText(when), "03-MAR-2024 13:05:09");
  EXPECT_EQ(DateTimeToLogText(when), "03/03/24 13:05:09");
  EXPECT_EQ(DateTimeToLogText(when, true, '.', '-'), "03.03.2024 13-05-09");
  EXPECT_EQ(DateToText(NAN), "30-DEC-1899");
}

TEST(UtilsVersion, FormatVersion) {
  struct Case { std::string version; int digits, parts; std::string expected; };
  const Case cases[] = {
      {"5.12.0.3", 2, 3, "05.12.00"}, {"5.12.0.3", 1, 4, "5.12.0.3"}, {"5,12", 1, 4, "5.12.0.0"},
      {"v1.2b", 1, 2, "1.2"},         {"", 1, 2, "0.0"},              {"1..3", 1, 3, "1.0.3"},
      {"99999999999999999999.1", 1, 2, "0.1"},  {"5.1", 3, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatVersion(c.version, c.digits, c.parts), c.expected) << c.version;
}

TEST(UtilsScramble, RoundTripsAndKnownForm) {
  for (bool hex : {false, true}) {
    for (const std::string& plain : {std::string("secret token"), AllBytesFrom(0, 255), std::string("x")}) {
      const std::string scrambled = ScrambleText(plain, true, hex);
      ASSERT_NE(scrambled, plain);
      if (hex) {
        EXPECT_EQ(KeepChars(scrambled, kDigitTable), scrambled);
      } else {
        ASSERT_EQ(scrambled.compare(0, 12, "Scrambled=01"), 0);
        const int key = static_cast<unsigned char>(scrambled[12]);
        EXPECT_GE(key, 33);
        EXPECT_LE(key, 122);
      }
      EXPECT_EQ(ScrambleText(scrambled, false, hex), plain) << hex;
      if (!hex) {
        EXPECT_EQ(ScrambleText(scrambled, true, false), scrambled);  // already scrambled
      }
    }
  }
  // Key 'A' (65): 'a'^66, 'b'^(2-65 mod 256 = 193), 'c'^68.
  EXPECT_EQ(ScrambleText("Scrambled=01A#\xA3'", false, false), "abc");
  EXPECT_EQ(ScrambleText("plain", false, false), "plain");
  EXPECT_EQ(ScrambleText("", true, true), "");
  EXPECT_EQ(ScrambleText("Scrambled=01", false, false), "");  // prefix without key or text
}

bool LeadIs81(unsigned char ch) { return ch == 0x81; }

struct LeadBytes81 {
  LeadBytes81() { SetLeadBytePredicate(LeadIs81); }
  ~LeadBytes81() { SetLeadBytePredicate(nullptr); }
};

TEST(UtilsPaths, TrailingBackslash) {
  struct Case { std::string path; bool add; std::string expected; };
  const Case cases[] = {
      {"C:\\dir", true, "C:\\dir\\"}, {"C:\\dir\\", true, "C:\\dir\\"}, {"C:\\dir\\", false, "C:\\dir"},
      {"C:\\", false, "C:"},          {"C:", true, "C:\\"},             {"\\", true, "\\"},
      {"", true, "\\"},               {"", false, ""},                  {"C:\\dir\\\\", false, "C:\\dir\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetTrailingBackslash(c.path, c.add), c.expected) << c.path;
  EXPECT_EQ(RemoveTrailingBackslash("\\"), "");
  EXPECT_EQ(RemoveTrailingBackslash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(RemoveTrailingBackslash("C:\\a"), "C:\\a");

  LeadBytes81 lead;
  // The backslash after a lead byte is the second half of a character.
  EXPECT_EQ(RemoveTrailingBackslash("C:\\\x81\\"), "C:\\\x81\\");
  EXPECT_EQ(SetTrailingBackslash("C:\\\x81\\", true), "C:\\\x81\\\\");
}

TEST(UtilsPaths, CollapseBackslashes) {
  struct Case { std::string path; bool removeTrailing; std::string expected; };
  const Case cases[] = {
      {"\\\\server\\share\\\\dir\\", false, "\\\\server\\share\\dir\\"},
      {"\\\\server\\share\\\\dir\\", true, "\\\\server\\share\\dir"},
      {"C:\\a\\\\\\b\\\\", false, "C:\\a\\b\\"},
      {"\\\\\\x", false, "\\\\x"},
      {"\"\\\\server\\share\\\\x\"", false, "\"\\\\server\\share\\x\""},  // quoted network path
      {"\"C:\\\\a\"", false, "\"C:\\a\""},
      {"\"a\" \"\\\\srv\\x\"", false, "\"a\" \"\\\\srv\\x\""},          // pair after an inner quote
      {"ab", false, "ab"},
      {"\\\\", false, "\\\\"},
      {"\\\\", true, "\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(CollapseBackslashes(c.path, c.removeTrailing), c.expected) << c.path;

  LeadBytes81 lead;
  EXPECT_EQ(CollapseBackslashes("C:\\\x81\\\\x", false), "C:\\\x81\\\\x");
}

TEST(UtilsPaths, NamesAndExtensions) {
  EXPECT_EQ(FileTitle("C:\\d.x\\a.tar.gz"), "a.tar");
  EXPECT_EQ(FileTitle("C:\\d.x\\a.tar.gz", true), "a");
  EXPECT_EQ(FileTitle("C:\\d.x\\noext"), "noext");
  EXPECT_EQ(ExtractFileName("C:\\dir\\Update.exe"), "Update.exe");
  EXPECT_EQ(ExtractFileName("C:Update.exe"), "Update.exe");
  EXPECT_EQ(ExtractFilePath("C:\\dir\\Update.exe"), "C:\\dir\\");
  EXPECT_EQ(ExtractFilePath("Update.exe"), "");
  EXPECT_EQ(ExtractFileDir("C:\\dir\\Update.exe"), "C:\\dir");
  EXPECT_EQ(ExtractFileDir("C:\\Update.exe"), "C:\\");
  EXPECT_EQ(ExtractFileExt("C:\\d.x\\a"), "");
  EXPECT_EQ(ExtractFileExt("a.b.LOG"), ".LOG");
  EXPECT_EQ(ChangeFileExt("C:\\d.x\\X_Update.exe", ".log"), "C:\\d.x\\X_Update.log");
  EXPECT_EQ(ChangeFileExt("C:\\d.x\\a", ".log"), "C:\\d.x\\a.log");

  LeadBytes81 lead;
  EXPECT_EQ(ExtractFileName("C:\\\x81\\a.exe"), "\x81\\a.exe");
}

// Hostile inputs through every routine: nothing may crash, hang or read outside a string
// (the sanitizers watch); a few invariants are checked on the way.
TEST(Robustness, HostileInputs) {
  const std::vector<std::string> texts = {
      "", std::string(1, '\0'), "\xFF", "|", "||", "|a", "=", " =", "\"", "0x", "zz", "abc",
      "Scrambled=01", "Scrambled=01" + std::string(300, '\xFF'), "-", "99999999999999999999999",
      "\\", "\\\\\\\\\\", "\"\\\\\"", "\x81", "\x81\\", AllBytesFrom(0, 255),
      std::string(100000, '|'), std::string(100000, '\\'), std::string(30000, ' ') + std::string(30000, '='),
      "|" + std::string(50000, 'a') + "=" + std::string(50000, ' '),
  };
  const int numbers[] = {INT_MIN, -3, -2, -1, 0, 1, 2, 3, 1000, INT_MAX};
  LeadBytes81 lead;
  for (const std::string& t : texts) {
    for (const std::string& u : {std::string(), std::string("|"), std::string(" ="), t}) {
      (void)ReplaceText(t, u, "<>");
      (void)ReplaceTextNoCase(t, u, "");
      (void)ReplaceUntilGone(t, u, "=");
      (void)TextBefore(t, u);
      (void)TextAfter(t, u);
      (void)LastPos(u, t);
      (void)ReversePosNoCase(u, t);
      (void)SUB::GetKeyValue(t, u);
      (void)SUB::IndexOfItem(t, u, -1, true);
      (void)SUB::ContainsItem(t, u, true);
      (void)SUB::JoinKeyValues(t, u, true);
    }
    for (int n : numbers) {
      (void)SUB::GetItem(t, n);
      (void)SUB::GetItemInt(t, n, 0);
      (void)SUB::DeleteItem(t, n);
      (void)PosFrom("a", t, n, true);
      EXPECT_LE(PadLeft(t, n, ' ').size(), std::max<std::size_t>(t.size(), 1u << 20));
      (void)ZeroPad(t, n);
      (void)FloatToFixed(n * 1e300, n);
      (void)FormatSize(n, true, n, n);
      (void)FormatVersion(t, n, n);
      (void)ParseNumber(t, n);
    }
    EXPECT_LE(SUB::SetItem(t, INT_MAX, "x").size(), t.size());  // refused, not grown
    (void)SUB::SetItem(t, 3, t);
    (void)SUB::CountItems(t);
    (void)SUB::Keys(t);
    (void)SUB::Values(t);
    (void)SUB::ReverseItems(t);
    (void)SUB::TrimEmptyItems(t, true, true);
    (void)SUB::Reseparate(t);
    (void)StripChar(t, '"', true, true);
    (void)Unquote(t, true);
    (void)HexToInt(t);
    (void)HexToBytes(t);
    (void)FormatThousands(t);
    (void)ScrambleText(t, false, true);
    (void)ScrambleText(t, false, false);
    if (t.compare(0, 12, "Scrambled=01") != 0) {
      EXPECT_EQ(ScrambleText(ScrambleText(t, true, true), false, true), t);
    }
    (void)SetTrailingBackslash(t, true);
    (void)RemoveTrailingBackslash(t);
    (void)CollapseBackslashes(t, true);
    (void)FileTitle(t, true);
    (void)ExtractFileDir(t);
    (void)ChangeFileExt(t, ".x");
    std::int64_t v = 0;
    (void)TryParseInt64(t, v);
    SetCommandLineSource(t, t);
    (void)GetSwitchValue(t, "d");
    (void)GetSwitchInt("/x", 0);
    (void)HasSwitch(t);
    (void)ExeFolder(false);
  }
  SetCommandLineSource("", "");
}

}  // namespace
