#include "internet/InetHTTPLogic.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "internet/CommUtils.h"
#include "system/Utils.h"

namespace {
bool IsAsciiLetter(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsDigit(char ch) {
  return ch >= '0' && ch <= '9';
}
}  // namespace

std::string UrlFileName(const std::string& url) {
  std::string path = url;
  std::replace(path.begin(), path.end(), '/', '\\');
  return ExtractFileName(path);
}

bool HasUrlScheme(const std::string& url) {
  if (url.empty() || !IsAsciiLetter(url[0])) return false;
  std::size_t at = 1;
  while (at < url.size() &&
         (IsAsciiLetter(url[at]) || IsDigit(url[at]) || url[at] == '+' || url[at] == '-' || url[at] == '.'))
    ++at;
  return url.compare(at, 3, "://") == 0;
}

std::string UrlWithScheme(const std::string& url) {
  return HasUrlScheme(url) ? url : "http://" + url;
}

bool IsRedirectStatus(std::uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

namespace {
std::string LowerScheme(const std::string& url) {
  std::string scheme = url.substr(0, url.find("://"));
  for (char& ch : scheme)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return scheme;
}

// A path with its "." and ".." segments taken out, as a browser resolves it; ".." above
// the root stays at the root.
std::string RemoveDotSegments(const std::string& path) {
  std::string in = path, out;
  while (!in.empty()) {
    if (in.compare(0, 3, "../") == 0) {
      in.erase(0, 3);
    } else if (in.compare(0, 2, "./") == 0) {
      in.erase(0, 2);
    } else if (in.compare(0, 3, "/./") == 0) {
      in.erase(0, 2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.compare(0, 4, "/../") == 0 || in == "/..") {
      in = in == "/.." ? "/" : in.substr(3);
      const std::size_t slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const std::size_t next = in.find('/', 1);
      const std::size_t take = next == std::string::npos ? in.size() : next;
      out += in.substr(0, take);
      in.erase(0, take);
    }
  }
  return out;
}
}  // namespace

bool IsWebScheme(const std::string& url) {
  if (!HasUrlScheme(url)) return false;
  const std::string scheme = LowerScheme(url);
  return scheme == "http" || scheme == "https";
}

bool RedirectAllowed(const std::string& from, const std::string& to) {
  return IsWebScheme(to) && !(LowerScheme(from) == "https" && LowerScheme(to) == "http");
}

bool SplitWebUrl(const std::string& url, UrlParts& parts) {
  parts = UrlParts();
  if (!IsWebScheme(url)) return false;
  parts.secure = LowerScheme(url) == "https";
  const std::string rest = url.substr(0, url.find('#')).substr(url.find("://") + 3);
  const std::size_t authorityEnd = std::min(rest.find_first_of("/?"), rest.size());
  std::string authority = rest.substr(0, authorityEnd);
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  parts.object = rest.substr(authorityEnd);
  if (parts.object.empty() || parts.object[0] == '?') parts.object.insert(0, "/");
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  std::uint32_t port = parts.secure ? 443 : 80;
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string digits = authority.substr(colon + 1);
    authority.erase(colon);
    if (!digits.empty()) {
      if (digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), IsDigit)) return false;
      port = static_cast<std::uint32_t>(std::stoul(digits));
    }
  }
  if (port == 0 || port > 65535 || authority.empty()) return false;
  parts.host = authority;
  parts.port = static_cast<std::uint16_t>(port);
  return true;
}

std::string RedirectTarget(const std::string& url, const std::string& location) {
  if (location.empty() || !HasUrlScheme(url)) return "";
  // The fragment never reaches the server: the base's is dropped, and so is the Location's.
  const std::string base = url.substr(0, url.find('#'));
  const std::string ref = location.substr(0, location.find('#'));
  std::string target;
  const std::size_t hostStart = base.find("://") + 3;
  const std::size_t pathStart = std::min(base.find_first_of("/?", hostStart), base.size());
  const std::size_t queryStart = std::min(base.find('?', hostStart), base.size());
  const std::string origin = base.substr(0, pathStart);
  const std::string basePath = base.substr(pathStart, queryStart - pathStart);
  if (HasUrlScheme(ref)) {
    target = ref;
  } else if (ref.compare(0, 2, "//") == 0) {
    target = base.substr(0, hostStart - 2) + ref;
  } else if (ref.empty()) {
    target = base;  // "#frag": the same resource
  } else if (ref[0] == '?') {
    target = origin + basePath + ref;
  } else {
    const std::size_t refQuery = std::min(ref.find('?'), ref.size());
    std::string path = ref.substr(0, refQuery);
    if (path.empty() || path[0] != '/') {
      const std::size_t slash = basePath.rfind('/');
      path = (slash == std::string::npos ? "/" : basePath.substr(0, slash + 1)) + path;
    }
    target = origin + RemoveDotSegments(path) + ref.substr(refQuery);
  }
  return RedirectAllowed(url, target) ? target : "";
}

std::uint64_t ParseContentLength(bool present, const std::string& text) {
  if (!present) return kNoContentLength;
  const std::string digits = Trim(text);
  if (digits.empty() || digits.size() > 19 || !std::all_of(digits.begin(), digits.end(), IsDigit))
    return kBadContentLength;
  std::uint64_t value = 0;
  for (char ch : digits) value = value * 10 + std::uint64_t(ch - '0');
  return value;
}

std::int64_t FileSizeFromFirstByteAnswer(std::uint32_t status, const std::string& contentRange,
                                         std::uint64_t contentLength) {
  const auto whole = [](std::uint64_t length) {
    return length > std::uint64_t(INT64_MAX) ? std::int64_t(-1) : static_cast<std::int64_t>(length);
  };
  if (status != 206 && status != 416) return IsSuccessStatus(status) ? whole(contentLength) : -1;
  // "bytes FIRST-LAST/TOTAL" or, refusing the range, "bytes */TOTAL".
  const std::string text = Trim(contentRange);
  const std::size_t slash = text.rfind('/');
  if (text.compare(0, 6, "bytes ") != 0 || slash == std::string::npos) return -1;
  const std::string span = Trim(text.substr(6, slash - 6));
  if (status == 206 ? span.empty() || span == "*" : span != "*") return -1;
  return whole(ParseContentLength(true, text.substr(slash + 1)));
}

std::uint64_t ShownSize(std::uint64_t size) {
  return size == kNoContentLength ? 0xFFFFFFFFu : size;
}

std::uint32_t DownloadChunkSize(std::uint64_t size) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::max<std::uint64_t>(ShownSize(size) / 10, 1), kDownloadBufferSize));
}

std::uint32_t NextReadSize(std::uint32_t chunk, std::uint64_t size, std::uint64_t total) {
  if (size == kNoContentLength) return chunk;
  if (total >= size) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, size - total));
}

void DownloadProgressRange(std::uint64_t size, std::uint32_t chunk, std::uint64_t total, int& position,
                           int& max) {
  if (chunk == 0) chunk = 1;
  position = static_cast<int>(std::min<std::uint64_t>((total + chunk / 2) / chunk + 1, INT_MAX));
  max = static_cast<int>(
      std::min<std::uint64_t>(ShownSize(size) / chunk + (ShownSize(size) % chunk ? 1 : 0) + 1, INT_MAX));
}

std::string PartialFileName(const std::string& destFile, std::uint64_t size, std::uint32_t stamp) {
  return destFile + "." + std::to_string(static_cast<std::uint32_t>(ShownSize(size) + stamp));
}

bool IsPartialFileName(const std::string& destName, const std::string& name) {
  const std::size_t digits = name.size() - std::min(name.size(), destName.size() + 1);
  if (name.size() <= destName.size() + 1 || digits > 10 || name[destName.size()] != '.') return false;
  if (!SameText(name.substr(0, destName.size()), destName)) return false;
  return std::all_of(name.begin() + destName.size() + 1, name.end(), IsDigit);
}

std::uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return 0;
  const std::uint32_t date = std::uint32_t(year - 1980) << 9 | std::uint32_t(month) << 5 | std::uint32_t(day);
  const std::uint32_t time =
      std::uint32_t(hour) << 11 | std::uint32_t(minute) << 5 | std::uint32_t(second / 2);
  return date << 16 | time;
}

namespace {
// A run of digits as a number; -1 when the text is not 1..4 digits.
int SmallNumber(const std::string& text) {
  if (text.empty() || text.size() > 4) return -1;
  int value = 0;
  for (char ch : text) {
    if (!IsDigit(ch)) return -1;
    value = value * 10 + (ch - '0');
  }
  return value;
}

int MonthNumber(const std::string& text) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (text.size() != 3) return 0;
  for (int i = 0; i < 12; ++i)
    if (PosNoCase(kMonths[i], text) == 1) return i + 1;
  return 0;
}
}  // namespace

std::uint32_t HttpDateToDos(const std::string& text) {
  int year = -1, month = 0, day = -1, hour = -1, minute = -1, second = -1;
  std::string token;
  auto take = [&](const std::string& word) {
    if (word.empty()) return true;
    if (word.find(':') != std::string::npos) {
      if (hour >= 0 || word.size() != 8 || word[2] != ':' || word[5] != ':') return false;
      hour = SmallNumber(word.substr(0, 2));
      minute = SmallNumber(word.substr(3, 2));
      second = SmallNumber(word.substr(6, 2));
      return hour >= 0 && minute >= 0 && second >= 0;
    }
    if (int m = MonthNumber(word)) return month == 0 ? (month = m, true) : false;
    const int number = SmallNumber(word);
    if (number < 0) return IsAsciiLetter(word[0]);  // week day or zone name
    if (word.size() <= 2 && day < 0) return day = number, true;
    if (year >= 0) return false;
    // Two-digit years of the older form: 70..99 are the 1900s.
    year = word.size() == 2 ? (number < 70 ? 2000 + number : 1900 + number) : number;
    return true;
  };
  for (char ch : text) {
    if (ch == ' ' || ch == ',' || ch == '-' || ch == '\t') {
      if (!take(token)) return 0;
      token.clear();
    } else {
      token += ch;
    }
  }
  if (!take(token) || year < 0 || month == 0 || day < 0 || hour < 0) return 0;
  return DosDateTimeOf(year, month, day, hour, minute, second);
}

bool IsSuccessStatus(std::uint32_t status) {
  return status >= 200 && status < 300;
}

std::string StatusDetail(std::uint32_t status, const std::string& reason) {
  // No status: the server closed or sent no HTTP answer at all.
  if (status == 0) return "the transfer did not complete";
  std::string detail = "HTTP " + std::to_string(status);
  if (!reason.empty()) detail += " " + reason;
  return detail;
}

std::string DownloadErrorText(const std::string& fileName, const std::string& detail) {
  std::string text = fileName + " --- Error downloading file";
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}

std::string DownloadHeaderError(const std::string& url, std::uint64_t size, bool intoMemory,
                                std::uint64_t maxBytes) {
  if (size == 0) return url + " --- File Not Found !";
  if (size == kBadContentLength)
    return DownloadErrorText(UrlFileName(url), "the Content-Length is no length");
  if (size == kNoContentLength) return std::string();
  if (size > maxBytes)
    return DownloadErrorText(UrlFileName(url), std::to_string(size) + " bytes announced, more than the " +
                                                   std::to_string(maxBytes) + " expected");
  if (intoMemory && size > kMemoryDownloadCap)
    return DownloadErrorText(UrlFileName(url), std::to_string(size) + " bytes are more than " +
                                                   std::to_string(kMemoryDownloadCap) +
                                                   " for a download into memory");
  return std::string();
}

std::string NoRoomError(const std::string& fileName, std::uint64_t size, std::uint64_t freeBytes) {
  if (freeBytes == 0 || size == kNoContentLength) return "";
  if (freeBytes > kFreeSpaceMargin && size <= freeBytes - kFreeSpaceMargin) return "";
  return DownloadErrorText(fileName, std::to_string(size) + " bytes announced, more than the " +
                                         std::to_string(freeBytes) + " bytes free on the drive less " +
                                         std::to_string(kFreeSpaceMargin) + " kept free");
}

bool TakeMemoryPiece(std::string& content, const char* data, std::uint32_t read, const std::string& fileName,
                     std::string& errorText) {
  if (std::uint64_t(content.size()) + read > kMemoryDownloadCap) {
    errorText = DownloadErrorText(
        fileName, "more than " + std::to_string(kMemoryDownloadCap) + " bytes for a download into memory");
    content.clear();
    return false;
  }
  content.append(data, read);
  return true;
}

std::string NoLengthFileError(const std::string& fileName, std::uint64_t size, std::uint64_t total) {
  if (size != kNoContentLength || total <= kMemoryDownloadCap) return "";
  return DownloadErrorText(fileName,
                           "more than " + std::to_string(kMemoryDownloadCap) + " bytes without a length");
}

bool PartialFileComplete(std::uint64_t size, std::int64_t partialSize) {
  return size != kNoContentLength && partialSize >= 0 && std::uint64_t(partialSize) == size;
}

std::string ShortTransferError(const std::string& fileName, std::uint64_t size, std::uint64_t total) {
  if (size == kNoContentLength || total >= size) return "";
  return DownloadErrorText(fileName,
                           std::to_string(total) + " of " + std::to_string(size) + " bytes received");
}

std::uint64_t UnreadRest(std::uint64_t size, std::uint64_t total) {
  if (size == kNoContentLength || size == kBadContentLength) return kNoContentLength;
  return size > total ? size - total : 0;
}

bool CloseIsBounded(std::uint64_t rest) {
  return rest <= kCloseUnreadMost;
}

std::int64_t TransferTimeLimitMs(std::uint64_t bytes) {
  const std::uint64_t seconds = bytes / kTransferFloorRate;
  const std::uint64_t most = static_cast<std::uint64_t>(kTransferMostMs - kTransferBaseMs) / 1000;
  return seconds >= most ? kTransferMostMs : kTransferBaseMs + static_cast<std::int64_t>(seconds) * 1000;
}

std::uint32_t ReadTimeoutMs(std::int64_t leftMs, std::uint32_t normalMs) {
  if (leftMs < 1) return 1;
  return leftMs < static_cast<std::int64_t>(normalMs) ? static_cast<std::uint32_t>(leftMs) : normalMs;
}

std::uint64_t MostBodyBytes(std::uint64_t size, std::uint64_t maxBytes) {
  return std::min(size == kNoContentLength ? std::uint64_t(kMemoryDownloadCap) : size, maxBytes);
}

bool BodyTimeIsUp(const DownloadAnswer& answer, const std::string& fileName, std::int64_t elapsedMs,
                  DownloadBodyResult& result) {
  if (elapsedMs <= answer.timeLimitMs) return false;
  result.error =
      DownloadErrorText(fileName, "not complete after " + std::to_string(answer.timeLimitMs / 1000) +
                                      " s, the longest it may take");
  result.overBound = true;
  return true;
}

bool BodyPieceFits(const DownloadAnswer& answer, const std::string& fileName, std::uint32_t read,
                   DownloadBodyResult& result) {
  result.error = NoLengthFileError(fileName, answer.size, result.total + read);
  if (result.error.empty() && result.total + read > answer.maxBytes) {
    result.error =
        DownloadErrorText(fileName, "more than the " + std::to_string(answer.maxBytes) + " bytes expected");
    result.overBound = true;
  }
  return result.error.empty();
}

void KeepBodyPiece(const DownloadAnswer& answer, const std::string& fileName, const char* data,
                   std::uint32_t read, std::string& content, DownloadBodyResult& result) {
  if (TakeMemoryPiece(content, data, read, fileName, result.error) && content.size() > answer.maxBytes) {
    result.error =
        DownloadErrorText(fileName, "more than the " + std::to_string(answer.maxBytes) + " bytes expected");
    content.clear();
  }
}

void EndDownloadBody(const DownloadAnswer& answer, const std::string& fileName, bool resource,
                     const std::string& page, DownloadBodyResult& result) {
  if (result.aborted) result.error = "Download Aborted";
  if (!result.error.empty()) return;
  if (!resource) {
    if (IsErrorPage("", page))
      CheckErrorPage("", page, answer.url, "", result.error);
    else
      result.error = DownloadErrorText(fileName, StatusDetail(answer.status, answer.reason));
    return;
  }
  result.error = ShortTransferError(fileName, answer.size, result.total);
}
