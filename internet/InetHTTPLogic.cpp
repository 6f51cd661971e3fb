#include "internet/InetHTTPLogic.h"

#include <algorithm>

#include "system/Utils.h"

namespace {
bool IsAsciiLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
}  // namespace

std::string UrlFileName(const std::string& url) {
  std::string path = url;
  std::replace(path.begin(), path.end(), '/', '\\');
  return ExtractFileName(path);
}

bool HasUrlScheme(const std::string& url) {
  if (url.empty() || !IsAsciiLetter(url[0])) return false;
  std::size_t at = 1;
  while (at < url.size() && (IsAsciiLetter(url[at]) || IsDigit(url[at]) || url[at] == '+' || url[at] == '-' ||
                             url[at] == '.'))
    ++at;
  return url.compare(at, 3, "://") == 0;
}

std::string UrlWithScheme(const std::string& url) { return HasUrlScheme(url) ? url : "http://" + url; }

std::uint32_t DownloadChunkSize(std::uint32_t size) {
  return std::min<std::uint32_t>(std::max<std::uint32_t>(size / 10, 1), kDownloadBufferSize);
}

std::uint32_t NextReadSize(std::uint32_t chunk, std::uint32_t size, std::uint64_t total) {
  if (size == kNoContentLength) return chunk;
  if (total >= size) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, size - total));
}

void DownloadProgressRange(std::uint32_t size, std::uint32_t chunk, std::uint64_t total, int& position, int& max) {
  if (chunk == 0) chunk = 1;
  position = static_cast<int>((total + chunk / 2) / chunk) + 1;
  max = static_cast<int>((std::uint64_t(size) + chunk - 1) / chunk) + 1;
}

std::string PartialFileName(const std::string& destFile, std::uint32_t size, std::uint32_t stamp) {
  return destFile + "." + std::to_string(static_cast<std::uint32_t>(size + stamp));
}

std::uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return 0;
  const std::uint32_t date = std::uint32_t(year - 1980) << 9 | std::uint32_t(month) << 5 | std::uint32_t(day);
  const std::uint32_t time = std::uint32_t(hour) << 11 | std::uint32_t(minute) << 5 | std::uint32_t(second / 2);
  return date << 16 | time;
}

std::string DownloadErrorText(const std::string& fileName, const std::string& detail) {
  std::string text = fileName + " --- Error downloading file";
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

std::string ShortTransferError(const std::string& fileName, std::uint32_t size, std::uint64_t total) {
  if (size == kNoContentLength || total >= size) return "";
  return DownloadErrorText(fileName, std::to_string(total) + " of " + std::to_string(size) + " bytes received");
}
