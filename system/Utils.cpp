#include "system/Utils.h"

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "system/ZSub.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
struct UtilsState {
  bool (*leadByte)(unsigned char) = NoLeadBytes;
};
UtilsState state;

// Widths beyond this are refused: a fill of gigabytes is never meant and would only
// exhaust memory.
constexpr std::int64_t kMaxPadWidth = 1 << 20;

std::size_t FindFrom(const std::string& text, const std::string& sub, std::size_t from, bool ignoreCase) {
  if (sub.empty() || from > text.size()) return std::string::npos;
  if (!ignoreCase) return text.find(sub, from);
  return UpperAscii(text).find(UpperAscii(sub), from);
}

int ToPos(std::size_t index) {
  return index == std::string::npos ? 0 : static_cast<int>(index + 1);
}

std::string TwoDigits(int n) { return IntToZeroPadded(n, 2); }

}  // namespace

// ---- Lead bytes ----

bool IsLeadByte(char ch) {
  return state.leadByte(static_cast<unsigned char>(ch));
}

void SetLeadBytePredicate(bool (*predicate)(unsigned char)) {
  state.leadByte = predicate ? predicate : NoLeadBytes;
}

// ---- Case and trimming ----

char UpperAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch; }

std::string UpperAscii(const std::string& text) {
  std::string result = text;
  for (char& ch : result) ch = UpperAscii(ch);
  return result;
}

static bool IsTrimmed(char ch) { return static_cast<unsigned char>(ch) <= ' '; }

std::string TrimLeft(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsTrimmed(text[i])) ++i;
  return text.substr(i);
}

std::string TrimRight(const std::string& text) {
  std::size_t n = text.size();
  while (n > 0 && IsTrimmed(text[n - 1])) --n;
  return text.substr(0, n);
}

std::string Trim(const std::string& text) { return TrimLeft(TrimRight(text)); }

bool SameText(const std::string& a, const std::string& b) { return UpperAscii(a) == UpperAscii(b); }

bool SameTextTrim(const std::string& a, const std::string& b) { return SameText(Trim(a), Trim(b)); }

// ---- Replacement ----

// Occurrences are counted left to right without overlap, each search continuing after
// the previous match in the original text. A replacement therefore never joins with its
// surroundings into a new match, also when the replacement is empty.
std::string ReplaceTextEx(const std::string& text, const std::string& pattern,
                          const std::string& replacement, bool ignoreCase, int last, int first) {
  if (pattern.empty()) return text;
  const std::string work = ignoreCase ? UpperAscii(text) : text;
  const std::string needle = ignoreCase ? UpperAscii(pattern) : pattern;
  std::size_t hit = work.find(needle);
  if (hit == std::string::npos) return text;
  if (last <= 0) last = first;

  std::string result;
  result.reserve(text.size());
  std::size_t copied = 0;
  for (std::int64_t j = 1; last <= 0 || j <= last; ++j) {
    if (hit == std::string::npos) break;
    if (j >= first) {
      result.append(text, copied, hit - copied);
      result += replacement;
      copied = hit + needle.size();
    }
    hit = work.find(needle, hit + needle.size());
  }
  result.append(text, copied, std::string::npos);
  return result;
}

std::string ReplaceText(const std::string& text, const std::string& pattern,
                        const std::string& replacement, int last, int first) {
  return ReplaceTextEx(text, pattern, replacement, false, last, first);
}

std::string ReplaceTextNoCase(const std::string& text, const std::string& pattern,
                              const std::string& replacement, int last, int first) {
  return ReplaceTextEx(text, pattern, replacement, true, last, first);
}

std::string ReplaceUntilGone(const std::string& text, const std::string& pattern,
                             const std::string& replacement) {
  if (pattern.empty() || replacement.find(pattern) != std::string::npos) return text;
  std::string result = text;
  std::size_t hit = result.find(pattern);
  // Rewriting of this kind may in theory not end (or grow); bound the work.
  const std::size_t maxSize = text.size() * 4 + 4096;
  for (std::int64_t steps = 0; hit != std::string::npos && steps < 10000000; ++steps) {
    result.replace(hit, pattern.size(), replacement);
    if (result.size() > maxSize) break;
    // Nothing before hit matched, so a new match can only start where it overlaps
    // the inserted replacement.
    std::size_t from = hit >= pattern.size() - 1 ? hit - (pattern.size() - 1) : 0;
    hit = result.find(pattern, from);
  }
  return result;
}

std::string ReplaceChar(const std::string& text, char oldCh, char newCh) {
  std::string result = text;
  if (oldCh == newCh) return result;
  for (char& ch : result)
    if (ch == oldCh) ch = newCh;
  return result;
}

// ---- Pieces of text ----

std::string TextBefore(const std::string& text, const std::string& separator, const std::string& def) {
  std::size_t at = separator.empty() ? std::string::npos : text.find(separator);
  return at == std::string::npos ? def : text.substr(0, at);
}

std::string TextAfter(const std::string& text, const std::string& separator, const std::string& def) {
  std::size_t at = separator.empty() ? std::string::npos : text.find(separator);
  return at == std::string::npos ? def : text.substr(at + separator.size());
}

std::string KeepChars(const std::string& text, const std::string& allowed, const std::string& excluded) {
  std::string result;
  for (char ch : text)
    if (allowed.find(ch) != std::string::npos && excluded.find(ch) == std::string::npos) result += ch;
  return result;
}

std::string StripChar(const std::string& text, char ch, bool always, bool onlyOnce) {
  if (text.size() == 1 && text[0] == ch) return std::string();
  if (text.empty()) return text;
  if (!always && !(text.front() == ch && text.back() == ch)) return text;
  std::size_t begin = 0, end = text.size();
  if (onlyOnce) {
    if (text[begin] == ch) ++begin;
    if (end > begin && text[end - 1] == ch) --end;
  } else {
    while (begin < end && text[begin] == ch) ++begin;
    while (end > begin && text[end - 1] == ch) --end;
  }
  return text.substr(begin, end - begin);
}

std::string Enclose(const std::string& text, char ch, bool stripFirst) {
  return ch + (stripFirst ? StripChar(text, ch, true, false) : text) + ch;
}

std::string Unquote(const std::string& text, bool always) { return StripChar(Trim(text), '"', always, false); }

std::string Quote(const std::string& text) { return '"' + Unquote(text, false) + '"'; }

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

// ---- Positions ----

int LastPos(const std::string& sub, const std::string& text) {
  return sub.empty() ? 0 : ToPos(text.rfind(sub));
}

int ReversePosNoCase(const std::string& sub, const std::string& text) {
  return ToPos(FindFrom(ReverseText(text), ReverseText(sub), 0, true));
}

bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase) {
  if (suffix.size() > text.size()) return false;
  std::string tail = text.substr(text.size() - suffix.size());
  return ignoreCase ? SameText(tail, suffix) : tail == suffix;
}

bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase) {
  if (prefix.size() > text.size()) return false;
  std::string head = text.substr(0, prefix.size());
  return ignoreCase ? SameText(head, prefix) : head == prefix;
}

int PosNoCase(const std::string& sub, const std::string& text) { return ToPos(FindFrom(text, sub, 0, true)); }

int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase) {
  if (start <= 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  return ToPos(FindFrom(text, sub, static_cast<std::size_t>(start - 1), ignoreCase));
}

int PosFromNoCase(const std::string& sub, const std::string& text, int start) {
  return PosFrom(sub, text, start, true);
}

// ---- Padding and simple formatting ----

std::string PadLeft(const std::string& text, int width, char fill) {
  std::int64_t w = width;
  if (w == -1 || w == -2) return text;
  std::string result = text;
  if (w < -2) {
    w = -w;
    if (w > kMaxPadWidth) return text;
    if (static_cast<std::int64_t>(result.size()) > w) result = result.substr(0, static_cast<std::size_t>(w - 1)) + ".";
  }
  if (w > kMaxPadWidth) w = kMaxPadWidth;
  if (static_cast<std::int64_t>(result.size()) < w)
    result.insert(0, static_cast<std::size_t>(w) - result.size(), fill);
  return result;
}

std::string ZeroPad(const std::string& text, int width) {
  return width > 0 ? PadLeft(text, width, '0') : text;
}

std::string IntToZeroPadded(std::int64_t number, int width) {
  // The sign stays in front of the zeros.
  if (number < 0) {
    std::string digits = std::to_string(number).substr(1);
    return "-" + ZeroPad(digits, width - 1);
  }
  return ZeroPad(std::to_string(number), width);
}

namespace {

// An unsigned integer of any size, 32 bits a limb, least significant limb first: the
// exact decimal text of a double without the C runtime's formatted output.
using BigDigits = std::vector<std::uint32_t>;

void MultiplySmall(BigDigits& n, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::uint32_t& limb : n) {
    carry += static_cast<std::uint64_t>(limb) * factor;
    limb = static_cast<std::uint32_t>(carry);
    carry >>= 32;
  }
  if (carry != 0) n.push_back(static_cast<std::uint32_t>(carry));
}

std::uint32_t DivideSmall(BigDigits& n, std::uint32_t divisor) {
  std::uint64_t rest = 0;
  for (std::size_t i = n.size(); i-- > 0;) {
    rest = (rest << 32) | n[i];
    n[i] = static_cast<std::uint32_t>(rest / divisor);
    rest %= divisor;
  }
  while (!n.empty() && n.back() == 0) n.pop_back();
  return static_cast<std::uint32_t>(rest);
}

bool BitSet(const BigDigits& n, std::size_t bit) {
  return bit / 32 < n.size() && (n[bit / 32] >> (bit % 32) & 1) != 0;
}

bool AnyBitBelow(const BigDigits& n, std::size_t bit) {
  for (std::size_t i = 0; i < n.size() && i * 32 < bit; ++i) {
    std::uint32_t limb = n[i];
    if (bit - i * 32 < 32) limb &= (std::uint32_t{1} << (bit - i * 32)) - 1;
    if (limb != 0) return true;
  }
  return false;
}

void ShiftLeft(BigDigits& n, std::size_t bits) {
  n.insert(n.begin(), bits / 32, 0);
  if (bits % 32 == 0) return;
  std::uint32_t carry = 0;
  for (std::uint32_t& limb : n) {
    const std::uint32_t next = limb >> (32 - bits % 32);
    limb = limb << (bits % 32) | carry;
    carry = next;
  }
  if (carry != 0) n.push_back(carry);
}

// Divides by 2^bits, rounding half to even.
void ShiftRightRounded(BigDigits& n, std::size_t bits) {
  const bool half = BitSet(n, bits - 1);
  const bool aboveHalf = half && AnyBitBelow(n, bits - 1);
  if (bits / 32 >= n.size()) {
    n.clear();
  } else {
    n.erase(n.begin(), n.begin() + static_cast<std::ptrdiff_t>(bits / 32));
    if (bits % 32 != 0) {
      for (std::size_t i = 0; i < n.size(); ++i) {
        const std::uint32_t high = i + 1 < n.size() ? n[i + 1] << (32 - bits % 32) : 0;
        n[i] = n[i] >> (bits % 32) | high;
      }
    }
  }
  if (half && (aboveHalf || BitSet(n, 0))) {
    for (std::uint32_t& limb : n)
      if (++limb != 0) return;
    n.push_back(1);
  }
}

}  // namespace

std::string FloatToFixed(double value, int decimals) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  // The text of printf's "%.*f", exactly: |value| = mantissa * 2^exponent, so the digits
  // are mantissa * 5^decimals * 2^(exponent + decimals), rounded half to even.
  int exponent = 0;
  const std::uint64_t mantissa = static_cast<std::uint64_t>(std::ldexp(std::frexp(std::fabs(value), &exponent), 53));
  exponent -= 53;
  BigDigits number{static_cast<std::uint32_t>(mantissa), static_cast<std::uint32_t>(mantissa >> 32)};
  for (int i = 0; i < decimals; ++i) MultiplySmall(number, 5);
  const int shift = exponent + decimals;
  if (shift >= 0)
    ShiftLeft(number, static_cast<std::size_t>(shift));
  else
    ShiftRightRounded(number, static_cast<std::size_t>(-shift));
  while (!number.empty() && number.back() == 0) number.pop_back();

  std::string digits;
  while (!number.empty()) digits += static_cast<char>('0' + DivideSmall(number, 10));
  const std::size_t places = static_cast<std::size_t>(decimals);
  if (digits.size() <= places) digits.append(places + 1 - digits.size(), '0');
  if (places > 0) digits.insert(places, 1, '.');
  if (std::signbit(value)) digits += '-';
  return std::string(digits.rbegin(), digits.rend());
}

std::string BoolToText(bool value) { return value ? "TRUE" : "FALSE"; }

char BoolToDigit(bool value) { return value ? '1' : '0'; }

// ---- Numbers ----

std::int64_t MinInt64(std::int64_t a, std::int64_t b) { return a < b ? a : b; }
std::int64_t MaxInt64(std::int64_t a, std::int64_t b) { return a > b ? a : b; }

std::int64_t EnsureRange(std::int64_t value, std::int64_t low, std::int64_t high) {
  return MinInt64(MaxInt64(low, value), high);
}

std::int64_t RandomRange(std::int64_t low, std::int64_t high) {
  if (high <= low) return low;
  std::mt19937_64 engine(static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
  std::uniform_int_distribution<std::uint64_t> pick(0, span);
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + pick(engine));
}

std::string RandomRangeText(std::int64_t low, std::int64_t high) { return std::to_string(RandomRange(low, high)); }

std::string IfThenText(bool condition, const std::string& a, const std::string& b) { return condition ? a : b; }
std::int64_t IfThenInt64(bool condition, std::int64_t a, std::int64_t b) { return condition ? a : b; }
int IfThenInt(bool condition, int a, int b) { return condition ? a : b; }

std::int64_t ParseNumber(const std::string& text, int base) {
  const std::string digits = UpperAscii(Trim(text));
  // Unsigned arithmetic: too many digits wrap around instead of overflowing.
  std::uint64_t result = 0, weight = 1;
  for (std::size_t i = digits.size(); i-- > 0;) {
    const char* at = std::char_traits<char>::find(kDigitTable, 16, digits[i]);
    if (!at) return -1;
    result += static_cast<std::uint64_t>(at - kDigitTable) * weight;
    weight *= static_cast<std::uint64_t>(static_cast<std::int64_t>(base));
  }
  return static_cast<std::int64_t>(result);
}

std::int64_t HexToInt(const std::string& text) {
  std::string t = Trim(text);
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
  return ParseNumber(t, 16);
}

bool TryParseInt64(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  std::uint64_t n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (n > (limit - digit) / 10) return false;
    n = n * 10 + digit;
  }
  value = negative ? static_cast<std::int64_t>(0 - n) : static_cast<std::int64_t>(n);
  return true;
}

std::string BytesToHex(const std::string& bytes, bool spaced, bool prefixed) {
  std::string result;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (prefixed) result += "0x";
    result += kDigitTable[b >> 4];
    result += kDigitTable[b & 15];
    if (spaced) {
      result += ' ';
      if ((i + 1) % 8 == 0) result += ' ';
    }
  }
  return result;
}

std::string HexToBytes(const std::string& text) {
  std::string result;
  result.reserve(text.size() / 2 + 1);
  for (std::size_t i = 0; i < text.size(); i += 2)
    result += static_cast<char>(static_cast<unsigned char>(HexToInt(text.substr(i, 2)) & 0xFF));
  return result;
}

std::string FormatThousands(const std::string& numberText) {
  std::string result = numberText;
  std::size_t end = result.find('.');
  if (end == std::string::npos) end = result.size();
  auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
  // Walk the digits left of the point; a comma goes only between two digits.
  int run = 0;
  for (std::size_t i = end; i-- > 0;) {
    if (!isDigit(result[i])) break;
    if (++run % 3 == 0 && i > 0 && isDigit(result[i - 1])) result.insert(i, 1, ',');
  }
  return result;
}

std::string FormatSize(int decimals, bool thousands, std::int64_t bytes, std::int64_t unit) {
  if (unit < 1) unit = 1;
  std::string text;
  if (decimals < 1) {
    std::int64_t whole = bytes / unit;
    if (bytes % unit > 0) ++whole;
    text = std::to_string(whole);
  } else {
    text = FloatToFixed(static_cast<double>(bytes) / static_cast<double>(unit), 1);
  }
  return thousands ? FormatThousands(text) : text;
}

std::string FormatSizeKB(int decimals, bool thousands, std::int64_t bytes) {
  return FormatSize(decimals, thousands, bytes, 1024);
}

std::string FormatSizeMB(int decimals, bool thousands, std::int64_t bytes) {
  return FormatSize(decimals, thousands, bytes, 1048576);
}

// ---- Dates ----

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// 1 January 0001 and 31 December 9999 as day numbers.
constexpr double kMinDate = -693593.0;
constexpr double kMaxDate = 2958466.0;

// Days from 1970-01-01 of a proleptic Gregorian date (months and days may overflow).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y += (m - 1) / 12;
  m = (m - 1) % 12 + 1;
  if (m <= 0) { m += 12; --y; }
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// 30 December 1899 counted from 1 January 1970.
const std::int64_t kEpochShift = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day) - kEpochShift);
  const double time = (static_cast<double>(hour) * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) /
                      static_cast<double>(kMsPerDay);
  // Before the epoch the fraction still counts forward from midnight: -1.25 is
  // 29 December 1899 06:00.
  return days < 0 ? days - time : days + time;
}

double EncodeDateTime(const DateTimeParts& p) {
  return EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
}

DateTimeParts DecodeDateTime(double dateTime) {
  DateTimeParts parts;
  if (!std::isfinite(dateTime) || dateTime < kMinDate || dateTime >= kMaxDate) return parts;
  double whole = std::trunc(dateTime);
  std::int64_t ms = std::llround(std::fabs(dateTime - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    whole += dateTime < 0 ? -1 : 1;
  }
  CivilFromDays(static_cast<std::int64_t>(whole) + kEpochShift, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(ms / 3600000);
  parts.minute = static_cast<int>(ms / 60000 % 60);
  parts.second = static_cast<int>(ms / 1000 % 60);
  parts.millisecond = static_cast<int>(ms % 1000);
  return parts;
}

std::string DateToText(double date) {
  const DateTimeParts p = DecodeDateTime(date);
  return TwoDigits(p.day) + "-" + SUB::GetItem(kMonthList, p.month, "") + "-" + IntToZeroPadded(p.year, 4);
}

static std::string TimeText(const DateTimeParts& p, char sep) {
  return TwoDigits(p.hour) + sep + TwoDigits(p.minute) + sep + TwoDigits(p.second);
}

std::string DateTimeToText(double date, char timeSeparator) {
  return DateToText(date) + " " + TimeText(DecodeDateTime(date), timeSeparator);
}

std::string DateTimeToLogText(double date, bool fourDigitYear, char dateSeparator, char timeSeparator) {
  const DateTimeParts p = DecodeDateTime(date);
  const std::string year = fourDigitYear ? IntToZeroPadded(p.year, 4) : TwoDigits(p.year % 100);
  return TwoDigits(p.day) + dateSeparator + TwoDigits(p.month) + dateSeparator + year + " " +
         TimeText(p, timeSeparator);
}

// ---- Versions and scrambled settings ----

std::string FormatVersion(const std::string& version, int digits, int parts) {
  // Version texts have four parts; the caps only keep absurd arguments from
  // allocating without end.
  if (parts > 64) parts = 64;
  if (digits > 64) digits = 64;
  const std::string list = Enclose(KeepChars(ReplaceChar(version, ',', '.'), ".0123456789"), '.');
  std::string result;
  for (int i = 0; i < parts; ++i) {
    std::int64_t n = 0;
    if (!TryParseInt64(SUB::GetItem(list, i, "0"), n)) n = 0;
    result += IntToZeroPadded(n, digits) + ".";
  }
  return StripChar(result, '.', true, false);
}

namespace {

const std::string kScrambledPrefix = "Scrambled=01";

std::string ScrambleBytes(const std::string& text, unsigned key) {
  std::string result = text;
  for (std::size_t i = 0; i < result.size(); ++i) {
    const std::uint32_t pos = static_cast<std::uint32_t>(i + 1);
    // (pos +/- key) mod 256: only the low byte matters, unsigned wrap-around gives it.
    const std::uint32_t mask = (pos % 2 == 1) ? pos + key : pos - key;
    result[i] = static_cast<char>(static_cast<unsigned char>(result[i]) ^ (mask & 0xFF));
  }
  return result;
}

}  // namespace

std::string ScrambleText(const std::string& text, bool scramble, bool hex, unsigned key) {
  if (text.empty()) return text;
  std::string work = (!scramble && hex) ? HexToBytes(text) : text;
  const bool isScrambled = StartsWith(kScrambledPrefix, work, false);
  if (isScrambled == scramble) return text;
  if (scramble) {
    if (key < 33 || key > 122) key = static_cast<unsigned>(RandomRange(33, 122));
    const std::string result = kScrambledPrefix + static_cast<char>(key) + ScrambleBytes(work, key);
    return hex ? BytesToHex(result, false, false) : result;
  }
  // The prefix alone carries neither key nor content.
  if (work.size() <= kScrambledPrefix.size()) return std::string();
  const unsigned textKey = static_cast<unsigned char>(work[kScrambledPrefix.size()]);
  return ScrambleBytes(work.substr(kScrambledPrefix.size() + 1), textKey);
}

// ---- Paths ----

static bool EndsWithBackslash(const std::string& path) {
  const std::size_t n = path.size();
  return n > 0 && path[n - 1] == '\\' && !(n >= 2 && IsLeadByte(path[n - 2]));
}

std::string SetTrailingBackslash(const std::string& path, bool add) {
  std::string result = path;
  if (result.size() > 2 && EndsWithBackslash(result)) result.pop_back();
  // A short path that still ends in a backslash ("\" or "C\") keeps its one.
  if (add && !EndsWithBackslash(result)) result += '\\';
  return result;
}

std::string RemoveTrailingBackslash(const std::string& path) {
  if (path == "\\") return std::string();
  std::string result = path;
  if (EndsWithBackslash(result)) result.pop_back();
  return result;
}

std::string CollapseBackslashes(const std::string& path, bool removeTrailing) {
  std::string result = path;
  if (path.size() > 2) {
    // The first character stays aside, so the two backslashes of "\\server" survive.
    const char first = path.front();
    const bool quoted = first == path.back();
    const std::string rest = path.substr(1);
    // Walk backwards; a backslash is dropped when the one after it (already kept) is
    // a backslash too, unless the character before it is a lead byte or, in a quoted
    // path, the quote.
    std::string kept;
    kept.reserve(rest.size());
    kept += rest.back();
    for (std::size_t i = rest.size() - 1; i-- > 1;) {
      const char before = rest[i - 1];
      const bool drop = rest[i] == '\\' && kept.back() == '\\' && !IsLeadByte(before) && !(quoted && before == first);
      if (!drop) kept += rest[i];
    }
    if (rest.size() > 1) kept += rest[0];
    std::string collapsed(kept.rbegin(), kept.rend());
    // A leading pair right after the opening quote of a quoted path is a network path.
    if (collapsed.compare(0, 2, "\\\\") == 0 && !(quoted && first != '\\')) collapsed.erase(0, 1);
    result = first + collapsed;
  }
  return removeTrailing ? RemoveTrailingBackslash(result) : result;
}

namespace {

bool IsPathDelimiter(char ch) { return ch == '\\' || ch == '/' || ch == ':'; }

// Index just after the last delimiter of the path (0 when none); trail bytes of
// double-byte characters are never taken for delimiters.
std::size_t NameStart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsLeadByte(path[i])) {
      ++i;
      continue;
    }
    if (IsPathDelimiter(path[i])) start = i + 1;
  }
  return start;
}

// Index of the extension's dot within the path, npos when the file name has none.
std::size_t ExtStart(const std::string& path) {
  std::size_t dot = std::string::npos;
  for (std::size_t i = NameStart(path); i < path.size(); ++i) {
    if (IsLeadByte(path[i])) {
      ++i;
      continue;
    }
    if (path[i] == '.') dot = i;
  }
  return dot;
}

}  // namespace

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractFileDir(const std::string& path) {
  std::string dir = ExtractFilePath(path);
  if (dir.size() > 1 && EndsWithBackslash(dir) && !(dir.size() == 3 && dir[1] == ':')) dir.pop_back();
  return dir;
}

std::string ExtractFileExt(const std::string& path) {
  std::size_t dot = ExtStart(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::size_t dot = ExtStart(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string FileTitle(const std::string& path, bool allExtensions) {
  std::string name = ExtractFileName(path);
  if (allExtensions) return name.substr(0, name.find('.'));
  return ChangeFileExt(name, "");
}
