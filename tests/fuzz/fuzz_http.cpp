// The HTTP client's handling of a server's answer: the content length and Last-Modified
// headers, the URL (from a downloaded record), and a body cut into pieces as the server
// and WinINet hand them out, driven through the decisions of the download loop in its
// order. Memory stays capped, nothing past the content length is taken, and a transfer
// is only complete when every announced byte arrived.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "internet/CommUtils.h"
#include "internet/InetHTTPLogic.h"
#include "tests/fuzz/FuzzFields.h"

namespace {

struct Answer {
  std::uint32_t size = 0;      // Content-Length as read (kNoContentLength when none)
  bool intoMemory = false;
  bool endless = false;        // the body repeats up to past the memory cap
  unsigned pieceLimit = 1;     // largest piece the server hands out at once
  std::string url, lastModified, body;
};

std::uint64_t BodyLength(const Answer& a) {
  if (a.body.empty()) return 0;
  return a.endless ? std::uint64_t(kMemoryDownloadCap) + 3 * kDownloadBufferSize : a.body.size();
}

// The server's next piece: at most want bytes, fewer when it chooses, none at the end.
std::uint32_t ServePiece(const Answer& a, std::uint64_t sent, std::uint32_t want, char* buffer) {
  const std::uint64_t left = BodyLength(a) - sent;
  std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>({std::uint64_t(want), left, std::uint64_t(a.pieceLimit)}));
  for (std::uint32_t done = 0; done < n;) {
    const std::size_t at = (sent + done) % a.body.size();
    const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::size_t>(n - done, a.body.size() - at));
    std::memcpy(buffer + done, a.body.data() + at, piece);
    done += piece;
  }
  return n;
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

}  // namespace

// Input: 4 bytes content length, 1 byte of flags and piece size, then the URL and the
// Last-Modified text (each ending at a line break) and the body.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 5) return 0;
  Answer a;
  std::memcpy(&a.size, data, 4);
  const unsigned char flags = data[4];
  a.intoMemory = flags & 1;
  a.pieceLimit = 1u << ((flags >> 2) % 14);
  const std::vector<std::string> f = FuzzFields(data + 5, size - 5, 3);
  a.url = f[0];
  a.lastModified = f[1];
  a.body = f[2];
  a.endless = (flags & 2) && !a.body.empty();
  if (a.endless) {
    a.pieceLimit = std::max(a.pieceLimit, 4096u);
    while (a.body.size() < kDownloadBufferSize) a.body += a.body;  // the same bytes, fewer copies
  }
  if (a.endless && a.size != kNoContentLength) a.size %= kMemoryDownloadCap + 4 * kDownloadBufferSize;

  CheckDate(a.lastModified);
  const std::string fileName = UrlFileName(a.url);
  if (!HasUrlScheme(UrlWithScheme(a.url))) std::abort();
  const std::string partialName = PartialFileName("C:\\T\\" + fileName, a.size, HttpDateToDos(a.lastModified));
  if (partialName.compare(0, 5 + fileName.size() + 1, "C:\\T\\" + fileName + ".") != 0) std::abort();

  std::string errorText = DownloadHeaderError(a.url, a.size, a.intoMemory);
  if (!errorText.empty()) {
    if (a.size != 0 && !(a.intoMemory && a.size > kMemoryDownloadCap && a.size != kNoContentLength)) std::abort();
    return 0;
  }

  // The receive loop.
  const std::uint32_t chunk = DownloadChunkSize(a.size);
  std::vector<char> buffer(kDownloadBufferSize);
  std::string content, partial;
  std::uint64_t total = 0;
  std::uint32_t read = 0;
  do {
    const std::uint32_t want = NextReadSize(chunk, a.size, total);
    if (want == 0) break;
    if (want > kDownloadBufferSize) std::abort();
    read = ServePiece(a, total, want, buffer.data());
    if (!a.intoMemory) {
      partial.append(buffer.data(), read);
    } else if (!TakeMemoryPiece(content, buffer.data(), read, fileName, errorText)) {
      if (!content.empty()) std::abort();
      break;
    }
    if (content.size() > kMemoryDownloadCap) std::abort();
    total += read;
    int position = 0, max = 0;
    DownloadProgressRange(a.size, chunk, total, position, max);
    if (a.size != kNoContentLength && position > max) std::abort();
  } while (read > 0);
  if (errorText.empty()) errorText = ShortTransferError(fileName, a.size, total);

  const bool known = a.size != kNoContentLength;
  if (known && total > a.size) std::abort();
  const std::string sent = a.endless ? std::string() : a.body;
  if (a.intoMemory) {
    if (errorText.empty()) {
      // Complete: all announced bytes (or, without a length, the whole body) and no more.
      if (known && content.size() != a.size) std::abort();
      if (!a.endless && content != sent.substr(0, content.size())) std::abort();
      if (!a.endless && !known && content != sent) std::abort();
    }
    // A length the body holds within the cap arrives whole; an endless body without
    // one always meets the cap.
    if (known && BodyLength(a) >= a.size && a.size <= kMemoryDownloadCap && !errorText.empty()) std::abort();
    if (!known && a.endless && errorText.empty()) std::abort();
    std::string error;
    CheckErrorPage("", content, a.url, "", error);
  } else if (PartialFileComplete(a.size, std::int64_t(partial.size())) && errorText.empty()) {
    if (BodyLength(a) < a.size || (!a.endless && partial != sent.substr(0, a.size))) std::abort();
  } else if (known && BodyLength(a) >= a.size) {
    std::abort();  // every byte was there, yet the file was not taken
  }
  return 0;
}
