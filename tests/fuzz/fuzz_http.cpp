// The HTTP client's handling of a server's answer: the Content-Length and Last-Modified
// headers, the URL (from a downloaded record), and a body cut into pieces as the server
// and WinINet hand them out, driven through ReceiveDownloadBody, the loop the download
// runs, with a fuzzed source, status, caller's bound, failing read, abort and clock.
// Memory stays capped, nothing past the length or the caller's bound is taken, an error
// status's body is never taken, and a transfer is only complete when every announced byte
// arrived.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internet/CommUtils.h"
#include "internet/InetHTTPLogic.h"
#include "tests/fuzz/FuzzFields.h"

namespace {

struct Server {
  std::string body;
  bool endless = false;          // the body repeats up to past the memory cap
  std::uint32_t pieceLimit = 1;  // largest piece handed out at once
  int failAtRead = -1, abortAtRead = -1;
  std::int64_t msPerRead = 0;

  std::uint64_t sent = 0;
  int reads = 0;
  std::int64_t now = 0;
  std::string written;
  std::uint64_t lastTotal = 0;
};

std::uint64_t BodyLength(const Server& s) {
  if (s.body.empty()) return 0;
  return s.endless ? std::uint64_t(kMemoryDownloadCap) + 3 * kDownloadBufferSize : s.body.size();
}

void CheckDate(const std::string& text) {
  const std::uint32_t dos = HttpDateToDos(text);
  if (dos == 0) return;
  const unsigned month = (dos >> 21) & 15, day = (dos >> 16) & 31, hour = (dos >> 11) & 31, minute = (dos >> 5) & 63,
                 second2 = dos & 31;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second2 > 29) std::abort();
  // The date written back in the usual form reads as the same DOS date-time.
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char again[64];
  std::snprintf(again, sizeof again, "Mon, %02u %s %04u %02u:%02u:%02u GMT", day, kMonths[month - 1],
                1980 + (dos >> 25), hour, minute, second2 * 2);
  if (HttpDateToDos(again) != dos) std::abort();
}

DownloadIo IoOf(Server& s, std::uint32_t chunk) {
  DownloadIo io;
  io.read = [&s, chunk](char* buffer, std::uint32_t want, std::uint32_t& read) {
    if (want == 0 || want > chunk || want > kDownloadBufferSize) std::abort();
    s.now += s.msPerRead;
    if (s.reads++ == s.failAtRead) return false;
    const std::uint64_t left = BodyLength(s) - s.sent;
    read = static_cast<std::uint32_t>(std::min<std::uint64_t>({std::uint64_t(want), left, s.pieceLimit}));
    for (std::uint32_t done = 0; done < read;) {
      const std::size_t at = (s.sent + done) % s.body.size();
      const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(read - done, s.body.size() - at));
      std::memcpy(buffer + done, s.body.data() + at, piece);
      done += piece;
    }
    s.sent += read;
    return true;
  };
  io.write = [&s](const char* data, std::uint32_t size) {
    s.written.append(data, size);
    return true;
  };
  io.readErrorText = [] { return std::string("reset"); };
  io.writeErrorText = [] { return std::string("disk full"); };
  io.aborted = [&s] { return s.reads == s.abortAtRead; };
  io.nowMs = [&s] { return s.now; };
  io.progress = [&s](std::uint64_t total, std::uint32_t read) {
    if (total != s.lastTotal + read) std::abort();  // progress per chunk, in order
    s.lastTotal = total;
  };
  return io;
}

}  // namespace

// Input: 4 bytes content length (0xFFFFFFFF: none), 1 byte of flags and piece size, 1 byte
// status, 4 bytes the caller's bound (0xFFFFFFFF: any), 1 byte failing and aborting read,
// 1 byte time per read, then the URL, the Content-Length text (used when the flags say so)
// and the Last-Modified text (each ending at a line break) and the body.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 12) return 0;
  static const std::uint32_t kStatuses[] = {200, 206, 204, 0, 301, 404, 500, 401, 299, 300};
  std::uint32_t size32 = 0, max32 = 0;
  std::memcpy(&size32, data, 4);
  const unsigned char flags = data[4];
  const std::uint32_t status = kStatuses[data[5] % (sizeof kStatuses / sizeof kStatuses[0])];
  std::memcpy(&max32, data + 6, 4);
  Server s;
  s.failAtRead = (data[10] & 15) == 15 ? -1 : data[10] & 15;
  s.abortAtRead = (data[10] >> 4) == 15 ? -1 : data[10] >> 4;
  s.msPerRead = data[11] * 100;
  const std::vector<std::string> f = FuzzFields(data + 12, size - 12, 4);
  const std::string url = f[0];
  s.body = f[3];
  s.pieceLimit = 1u << ((flags >> 3) % 14);
  s.endless = (flags & 2) && !s.body.empty();
  if (s.endless) {
    s.pieceLimit = std::max(s.pieceLimit, 4096u);
    while (s.body.size() < kDownloadBufferSize) s.body += s.body;  // the same bytes, fewer copies
  }

  DownloadAnswer a;
  a.url = url;
  a.status = status;
  a.reason = "Reason";
  a.intoMemory = flags & 1;
  a.size = (flags & 4) ? ParseContentLength(true, f[1]) : size32 == 0xFFFFFFFFu ? kNoContentLength : size32;
  if (s.endless && a.size < kBadContentLength) a.size %= kMemoryDownloadCap + 4 * kDownloadBufferSize;
  a.maxBytes = max32 == 0xFFFFFFFFu ? kAnySize : max32;

  CheckDate(f[2]);
  const std::string fileName = UrlFileName(url);
  if (!HasUrlScheme(UrlWithScheme(url))) std::abort();
  const std::string partialName = PartialFileName("C:\\T\\" + fileName, a.size, HttpDateToDos(f[2]));
  if (partialName.compare(0, 5 + fileName.size() + 1, "C:\\T\\" + fileName + ".") != 0) std::abort();

  const std::string headerError = DownloadHeaderError(url, a.size, a.intoMemory, a.maxBytes);
  const bool known = a.size != kNoContentLength;
  if (!headerError.empty()) {
    if (a.size != 0 && a.size != kBadContentLength && !(known && a.size > a.maxBytes) &&
        !(a.intoMemory && known && a.size > kMemoryDownloadCap))
      std::abort();
    return 0;
  }
  const std::uint64_t most = MostBodyBytes(a.size, a.maxBytes);
  a.timeLimitMs = (flags & 0x80) ? s.msPerRead * 5 : TransferTimeLimitMs(most);

  std::string content;
  const DownloadBodyResult r = ReceiveDownloadBody(a, IoOf(s, DownloadChunkSize(a.size)), content);
  const std::string& taken = a.intoMemory ? content : s.written;
  if (a.intoMemory && !s.written.empty()) std::abort();
  if (content.size() > kMemoryDownloadCap || taken.size() > most) std::abort();
  if (r.overBound && r.error.empty()) std::abort();
  if (r.aborted != (r.error == "Download Aborted")) std::abort();
  int position = 0, max = 0;
  DownloadProgressRange(a.size, DownloadChunkSize(a.size), r.total, position, max);
  if (known && position > max) std::abort();

  if (!IsSuccessStatus(status)) {
    // Not the resource: nothing taken, only the page's start read, always an error.
    if (!taken.empty() || r.total != 0 || s.sent > kErrorPageProbe || r.error.empty()) std::abort();
    if (!r.aborted && !r.overBound && s.failAtRead < 0 &&
        IsErrorPageText(r.error) != IsErrorPage("", s.body.substr(0, s.sent)))
      std::abort();
    return 0;
  }
  const std::string sent = s.endless ? std::string() : s.body;
  if (r.error.empty()) {
    // Complete: all announced bytes (or, without a length, the whole body), in order.
    if (known && (taken.size() != a.size || r.total != a.size)) std::abort();
    if (!s.endless && taken != sent.substr(0, taken.size())) std::abort();
    if (!s.endless && !known && taken != sent) std::abort();
  } else if (!r.aborted && s.failAtRead < 0 && !r.overBound && known && BodyLength(s) >= a.size) {
    // Every byte was there within every bound, yet the transfer failed.
    if (!a.intoMemory || a.size <= kMemoryDownloadCap) std::abort();
  }
  if (!known && s.endless && r.error.empty()) std::abort();  // an endless body always meets a cap
  std::string error;
  CheckErrorPage("", content, url, "", error);
  return 0;
}
