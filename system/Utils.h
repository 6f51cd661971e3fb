#pragma once
// The portable toolbox: text, number, date and path helpers over 8-bit ANSI strings.
// Positions are 1-based (0 = not found). Case-insensitive comparisons fold a..z only.
// No function throws; every one tolerates any input.
#include <cstdint>
#include <string>

// Default captions of the message box: OK, Cancel, Yes, No, Abort, Retry, Ignore.
constexpr const char kDefaultButtonList[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
// Default titles of the message box by kind 0, 1, 2.
constexpr const char kDefaultTitleList[] = "|Error|Attention|Confirm|";
// Item 1..12 is the month's abbreviation; item 0 is empty.
constexpr const char kMonthList[] = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";
// A digit's value is its place in this table.
constexpr const char kDigitTable[] = "0123456789ABCDEF";

// ---- Double-byte lead bytes ----
// The system's lead-byte test; no lead bytes until a predicate is installed.
bool IsLeadByte(char ch);
// nullptr restores the default.
void SetLeadBytePredicate(bool (*predicate)(unsigned char));

// ---- Case and trimming ----
char UpperAscii(char ch);
std::string UpperAscii(const std::string& text);
// Removes characters <= ' ' (blanks and control characters) from the ends.
std::string Trim(const std::string& text);
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);
// Equal ignoring case.
bool SameText(const std::string& a, const std::string& b);
// Equal after trimming both and ignoring case.
bool SameTextTrim(const std::string& a, const std::string& b);

// ---- Replacement ----
// Replaces occurrences last/first-wise: last = first = 0 all of them; last = 0, first = n
// only the n-th; last = n, first = 0 the first n. A replacement never creates a new match.
std::string ReplaceTextEx(const std::string& text, const std::string& pattern,
                          const std::string& replacement, bool ignoreCase, int last = 0, int first = 0);
std::string ReplaceText(const std::string& text, const std::string& pattern,
                        const std::string& replacement, int last = 0, int first = 0);
std::string ReplaceTextNoCase(const std::string& text, const std::string& pattern,
                              const std::string& replacement, int last = 0, int first = 0);
// Replaces the first occurrence again and again until none is left (only when the
// replacement does not contain the pattern).
std::string ReplaceUntilGone(const std::string& text, const std::string& pattern,
                             const std::string& replacement);
std::string ReplaceChar(const std::string& text, char oldCh, char newCh);

// ---- Pieces of text ----
std::string TextBefore(const std::string& text, const std::string& separator, const std::string& def = "");
std::string TextAfter(const std::string& text, const std::string& separator, const std::string& def = "");
// Deletes every character not in (allowed minus excluded).
std::string KeepChars(const std::string& text, const std::string& allowed, const std::string& excluded = "");
// A text equal to ch becomes empty; otherwise, when always or the text both begins and
// ends with ch, leading and trailing ch go (all, or one at each end with onlyOnce).
std::string StripChar(const std::string& text, char ch, bool always = false, bool onlyOnce = false);
std::string Enclose(const std::string& text, char ch, bool stripFirst = false);
std::string Unquote(const std::string& text, bool always = false);
std::string Quote(const std::string& text);
std::string ReverseText(const std::string& text);

// ---- Positions (1-based, 0 = absent) ----
int LastPos(const std::string& sub, const std::string& text);
// 1 exactly when text ends with sub ignoring case; 0 when absent.
int ReversePosNoCase(const std::string& sub, const std::string& text);
bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase);
bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase);
int PosNoCase(const std::string& sub, const std::string& text);
// Position of sub at or after start (start <= 1: from the beginning).
int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase = false);
int PosFromNoCase(const std::string& sub, const std::string& text, int start);

// ---- Padding and simple formatting ----
// Fill in front up to width. Width w < -2: a text longer than -w is cut to -w - 1
// characters plus ".", then filled up to -w. Widths -1 and -2 leave the text as it is.
std::string PadLeft(const std::string& text, int width, char fill = ' ');
std::string ZeroPad(const std::string& text, int width);
std::string IntToZeroPadded(std::int64_t number, int width);
// Fixed notation, "." as decimal point, the given number of decimals.
std::string FloatToFixed(double value, int decimals);
std::string BoolToText(bool value);  // "TRUE" / "FALSE"
char BoolToDigit(bool value);        // '1' / '0'

// ---- Numbers ----
std::int64_t MinInt64(std::int64_t a, std::int64_t b);
std::int64_t MaxInt64(std::int64_t a, std::int64_t b);
// max(low, value), then at most high.
std::int64_t EnsureRange(std::int64_t value, std::int64_t low, std::int64_t high);
// low + random(high - low + 1), re-seeded from the clock; low when high <= low.
std::int64_t RandomRange(std::int64_t low, std::int64_t high);
std::string RandomRangeText(std::int64_t low, std::int64_t high);
std::string IfThenText(bool condition, const std::string& a, const std::string& b);
std::int64_t IfThenInt64(bool condition, std::int64_t a, std::int64_t b);
int IfThenInt(bool condition, int a, int b);

// Digits from the digit table (after upper-casing and trimming), weighted by base from
// the last one; any other character gives -1; empty gives 0. Too many digits wrap around
// modulo 2^64 (no overflow check).
std::int64_t ParseNumber(const std::string& text, int base);
// Optional "0x" (any case), then ParseNumber base 16.
std::int64_t HexToInt(const std::string& text);
// Strict decimal reader: optional leading blanks, optional sign, digits, nothing else;
// false on anything else or on overflow.
bool TryParseInt64(const std::string& text, std::int64_t& value);
// Two upper-case hex digits per byte; "0x" before each with prefixed; with spaced a
// blank after each byte and another after every 8th.
std::string BytesToHex(const std::string& bytes, bool spaced = false, bool prefixed = false);
// Every two characters (HexToInt) become one byte; a lone last character counts alone.
std::string HexToBytes(const std::string& text);
// "," every three digits left of the "." (or of the end): '7654321.5' -> '7,654,321.5'.
std::string FormatThousands(const std::string& numberText);
// decimals < 1: ceiling of bytes / unit; else bytes / unit with one decimal.
std::string FormatSize(int decimals, bool thousands, std::int64_t bytes, std::int64_t unit);
std::string FormatSizeKB(int decimals, bool thousands, std::int64_t bytes);
std::string FormatSizeMB(int decimals, bool thousands, std::int64_t bytes);

// ---- Dates: days since 30 December 1899, fraction = time of day ----
struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
double EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int millisecond = 0);
double EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(double dateTime);
// '03-MAR-2024'.
std::string DateToText(double date);
// DateToText, a blank, "HH:NN:SS".
std::string DateTimeToText(double date, char timeSeparator = ':');
// "dd/mm/yy HH:NN:SS" (or "yyyy"); "/" and ":" are the system's separators.
std::string DateTimeToLogText(double date, bool fourDigitYear = false, char dateSeparator = '/',
                              char timeSeparator = ':');

// ---- Versions and scrambled settings ----
// '5.12.0.3' with digits 2 and parts 3 -> '05.12.00'.
std::string FormatVersion(const std::string& version, int digits, int parts);
// Reversible scrambling marked by the prefix "Scrambled=01"; hex stores the result as
// hex pairs (and unscrambling reads hex pairs first).
std::string ScrambleText(const std::string& text, bool scramble, bool hex, unsigned key = 0);

// ---- Paths (backslash-separated, lead-byte aware) ----
std::string SetTrailingBackslash(const std::string& path, bool add);
std::string RemoveTrailingBackslash(const std::string& path);
// Doubled backslashes collapse to one, except the two leading ones of a network path.
std::string CollapseBackslashes(const std::string& path, bool removeTrailing);
// File name without its extension; allExtensions removes every "."-part.
std::string FileTitle(const std::string& path, bool allExtensions = false);
// Part after the last "\", "/" or ":".
std::string ExtractFileName(const std::string& path);
// Part up to and including the last "\", "/" or ":".
std::string ExtractFilePath(const std::string& path);
// ExtractFilePath without its trailing backslash (unless it is a root such as "C:\").
std::string ExtractFileDir(const std::string& path);
// The last "." part of the file name, with its dot; empty when none.
std::string ExtractFileExt(const std::string& path);
// ext should carry its dot (".log"); empty removes the extension.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
