#pragma once
// The parts of the HTTP client that need no operating system: URL handling, the chunk
// size and progress range of a download, the name of its partial file, the DOS date of
// a Last-Modified header and the limits that keep a hostile server harmless.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Content length when the server sent none.
constexpr std::uint64_t kNoContentLength = UINT64_MAX;
// Content length when the header is there but holds no length ("-2", "12abc").
constexpr std::uint64_t kBadContentLength = UINT64_MAX - 1;
// A caller that expects no particular size: the announced length (and, for a file, the
// drive's free space) bounds the download.
constexpr std::uint64_t kAnySize = UINT64_MAX;
// Read buffer and largest chunk of a download.
constexpr std::uint32_t kDownloadBufferSize = 8192;
// Every WinINet time-out of a download.
constexpr std::uint32_t kDownloadTimeoutMs = 180000;
// A whole transfer may take kTransferBaseMs plus one second for every kTransferFloorRate
// bytes it may bring: a link of 2 KB/s (slower than a dial-up modem) still finishes, a
// server that trickles a byte now and then just inside the receive time-out does not hold
// the stub for ever.
// Whatever it may bring, no transfer takes longer than kTransferMostMs: the size comes
// from a record or a server, and 2^40 bytes at the floor rate would be 17 years.
constexpr std::int64_t kTransferBaseMs = 600000;
constexpr std::uint64_t kTransferFloorRate = 2048;
constexpr std::int64_t kTransferMostMs = 6 * 3600 * 1000;
// What a download into a file leaves free on its drive: a record or server that names a
// size near the free space must not fill the system drive of the elevated stub.
constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t(256) << 20;
// The start of an error status's body that is read (into memory, never into the file) to
// tell an HTML error page from another body: what IsErrorPage looks at.
constexpr std::uint32_t kErrorPageProbe = 1000;
// Largest download kept in memory: the records and inform texts fetched that way are a
// few kilobytes; a body that never ends must not use up the memory. A body without a
// length is not read further into a file either (such a file is never taken).
constexpr std::uint32_t kMemoryDownloadCap = 1048576;

// The most unread body bytes a request is closed with. Wine's WinINet reads the unread
// rest of a body of known length before its close returns, as long as the server keeps
// sending: for a large file seconds, for a server that never stops for ever. A request
// with more unread (or an unknown rest) is left open instead.
constexpr std::uint64_t kCloseUnreadMost = 1048576;
// The unread rest of a body of length size (kNoContentLength, kBadContentLength: not
// known, kNoContentLength) after total bytes were read.
std::uint64_t UnreadRest(std::uint64_t size, std::uint64_t total);
// Whether a request with rest bytes unread may be closed: rest at most kCloseUnreadMost
// (the answer to a first-byte request has 1 byte; a server that ignores the range sends
// the whole file).
bool CloseIsBounded(std::uint64_t rest);

// Redirects followed for one request: a server that sends its client round in a circle
// gets its last redirect back as the answer.
constexpr int kMaxRedirects = 10;

// The last path element of the URL ("/" and "\" both separate), the progress caption.
std::string UrlFileName(const std::string& url);
// The URL begins with a scheme ("http://", "https://", "ftp://" ... any case).
bool HasUrlScheme(const std::string& url);
// The URL as opened: unchanged with a scheme, else "http://" in front.
std::string UrlWithScheme(const std::string& url);

// An http or https URL taken apart for a request: the server, its port (the scheme's when
// none is given), the object ("/" when the URL has no path; query kept, fragment and any
// user name left out). False for any other URL or a port that is not 1..65535.
struct UrlParts {
  bool secure = false;
  std::string host;
  std::uint16_t port = 0;
  std::string object;
};
bool SplitWebUrl(const std::string& url, UrlParts& parts);

// A status that sends the client on (301, 302, 303, 307, 308).
bool IsRedirectStatus(std::uint32_t status);
// The URL's scheme is http or https (any case).
bool IsWebScheme(const std::string& url);
// A redirect may lead only to http or https, and never from https down to http.
bool RedirectAllowed(const std::string& from, const std::string& to);
// Where a redirect from the URL with the given Location header leads, resolved as a
// browser does ("?q", "../x", "#frag", "//host/x", "/x", "x"), without a fragment; "" when
// the URL has no scheme, Location is empty or the target is not allowed (RedirectAllowed).
std::string RedirectTarget(const std::string& url, const std::string& location);

// The Content-Length header's text as a length (decimal digits, blanks around them
// allowed): kNoContentLength when there is no header, kBadContentLength when it holds no
// length (a sign, other characters, more than 19 digits).
std::uint64_t ParseContentLength(bool present, const std::string& text);
// The file's whole length from the answer to a GET of its first byte ("Range: bytes=0-0"):
// a 206's Content-Range "bytes 0-0/N" or a 416's "bytes */N" gives N; another 2xx (the
// range ignored) its Content-Length; -1 for anything else (an error status, no length, "/*",
// a text that is no range answer, a length past 2^63 - 1).
std::int64_t FileSizeFromFirstByteAnswer(std::uint32_t status, const std::string& contentRange,
                                         std::uint64_t contentLength);
// The length as the progress and the partial name show it: no length as 4,294,967,295.
std::uint64_t ShownSize(std::uint64_t size);

// Content length div 10, clamped to 1..8,192.
std::uint32_t DownloadChunkSize(std::uint64_t size);
// Bytes to ask for next: the chunk, but never beyond a known content length (a body
// longer than its header says is not taken).
std::uint32_t NextReadSize(std::uint32_t chunk, std::uint64_t size, std::uint64_t total);
// The progress bar's range: position round(total / chunk) + 1, max ceil(size / chunk) + 1
// (size as ShownSize; both at most INT_MAX).
void DownloadProgressRange(std::uint64_t size, std::uint32_t chunk, std::uint64_t total, int& position,
                           int& max);
// The file name is one this client gives a partial file of destName: destName + "." +
// 1 to 10 digits (any case; names only, no folders).
bool IsPartialFileName(const std::string& destName, const std::string& name);
// destFile + "." + the decimal text of (ShownSize(size) + stamp) as an unsigned 32-bit sum.
std::string PartialFileName(const std::string& destFile, std::uint64_t size, std::uint32_t stamp);

// DOS date-time (date in the high word, local time) of a calendar time; 0 when the time
// is not a valid date or lies outside 1980..2107.
std::uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second);

// The DOS date-time of an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", the older
// "Sunday, 06-Nov-94 08:49:37 GMT" or "Sun Nov  6 08:49:37 1994"); 0 when the text is
// not such a date.
std::uint32_t HttpDateToDos(const std::string& text);

// ---- A download's decisions on what the server sends; the WinINet loop only moves bytes ----
// The answer's header, before any body byte: "" to read on, else the error (no content;
// a Content-Length that is no length; more announced than the caller's maxBytes, or than
// kMemoryDownloadCap for a download into memory).
std::string DownloadHeaderError(const std::string& url, std::uint64_t size, bool intoMemory,
                                std::uint64_t maxBytes = kAnySize);
// The error of a download into a file whose announced length and kFreeSpaceMargin do not
// fit into the drive's free bytes (0: not known, no error).
std::string NoRoomError(const std::string& fileName, std::uint64_t size, std::uint64_t freeBytes);
// A piece received for a download into memory: appended; or, when the content would pass
// kMemoryDownloadCap, false with the error and the content emptied.
bool TakeMemoryPiece(std::string& content, const char* data, std::uint32_t read, const std::string& fileName,
                     std::string& errorText);
// A download into a file whose body, with the piece just received, reaches total bytes:
// the error when it came without a length and passes kMemoryDownloadCap (such a file is
// never taken, so its body is not read on), else "".
std::string NoLengthFileError(const std::string& fileName, std::uint64_t size, std::uint64_t total);
// Whether the partial file of a download to a file holds the whole file: the server sent
// a content length and the file has exactly that size.
bool PartialFileComplete(std::uint64_t size, std::int64_t partialSize);

// The error of a transfer that ended before its content length: "" when complete (or
// no length was sent), else FileName + " --- Error downloading file (N of M bytes received)".
std::string ShortTransferError(const std::string& fileName, std::uint64_t size, std::uint64_t total);
// The server's answer is its resource: a 2xx status (an answer without one is not).
bool IsSuccessStatus(std::uint32_t status);
// The detail of a download answered with another status: "HTTP 404 Not Found"; for no
// status at all "the transfer did not complete".
std::string StatusDetail(std::uint32_t status, const std::string& reason);
// The download error text with its optional detail in brackets.
std::string DownloadErrorText(const std::string& fileName, const std::string& detail);

// The most milliseconds a transfer that may bring the given bytes takes: kTransferBaseMs
// plus bytes / kTransferFloorRate seconds, at most kTransferMostMs.
std::int64_t TransferTimeLimitMs(std::uint64_t bytes);
// The receive time-out of the next read: what is left of the transfer's time (at least 1
// ms), never more than normalMs. A read that waits its whole time-out no longer takes a
// transfer past its bound.
std::uint32_t ReadTimeoutMs(std::int64_t leftMs, std::uint32_t normalMs);
// The most bytes a body may bring: its length, else the no-length cap (kMemoryDownloadCap),
// and never more than maxBytes.
std::uint64_t MostBodyBytes(std::uint64_t size, std::uint64_t maxBytes);

// One download's answer, as its header told it and its caller bounds it.
struct DownloadAnswer {
  std::string url;
  std::uint32_t status = 0;  // 0: no HTTP status
  std::string reason;
  std::uint64_t size = kNoContentLength;  // after DownloadHeaderError accepted it
  bool intoMemory = false;
  std::uint64_t maxBytes = kAnySize;
  std::int64_t timeLimitMs = 0;  // the whole transfer's, from its first read
};

// The system's side of the body's loop, as the tests and the fuzzer give it. The loop takes
// any type whose members are called the same way: the stub's own is a plain struct, since
// a std::function per member costs the stub more than the loop itself.
struct DownloadIo {
  // Reads at most want bytes into buffer (read: how many); false when the read failed.
  std::function<bool(char* buffer, std::uint32_t want, std::uint32_t& read)> read;
  // Appends to the partial file; false when that failed.
  std::function<bool(const char* data, std::uint32_t size)> write;
  std::function<std::string()> readErrorText, writeErrorText;
  // Lets window messages through and says whether the user aborted (once per chunk).
  std::function<bool()> aborted;
  std::function<std::int64_t()> nowMs;
  // After every read: the bytes so far and the ones just read (0 when the read failed).
  std::function<void(std::uint64_t total, std::uint32_t read)> progress;
};

struct DownloadBodyResult {
  std::uint64_t total = 0;  // bytes taken as the resource (written or kept)
  std::string error;        // "" when the body arrived whole (or, without a length, ended)
  bool aborted = false;
  bool overBound = false;  // stopped by a bound: what was written is no use to anyone
};

// The steps of ReceiveDownloadBody that need no I/O. BodyTimeIsUp: the whole transfer's
// time is over (the error set). BodyPieceFits: read more bytes for the file stay within the
// no-length cap and maxBytes (else the error set). KeepBodyPiece: read bytes into memory
// under the cap and maxBytes. EndDownloadBody: the error of a finished loop (abort, error
// page or other status, short transfer).
bool BodyTimeIsUp(const DownloadAnswer& answer, const std::string& fileName, std::int64_t elapsedMs,
                  DownloadBodyResult& result);
bool BodyPieceFits(const DownloadAnswer& answer, const std::string& fileName, std::uint32_t read,
                   DownloadBodyResult& result);
void KeepBodyPiece(const DownloadAnswer& answer, const std::string& fileName, const char* data,
                   std::uint32_t read, std::string& content, DownloadBodyResult& result);
void EndDownloadBody(const DownloadAnswer& answer, const std::string& fileName, bool resource,
                     const std::string& page, DownloadBodyResult& result);

// The body's loop: reads of at most the chunk size, never past the length; a 2xx body goes
// to io.write (or content, for memory) under the caps, the caller's maxBytes and the time
// limit; another status's body is not taken: its first kErrorPageProbe bytes tell an HTML
// page (the error is then the 404 text of CheckErrorPage) from another body ("HTTP 404
// Not Found"). A body shorter than its length is an error.
template <typename Io>
DownloadBodyResult ReceiveDownloadBody(const DownloadAnswer& answer, const Io& io, std::string& content) {
  DownloadBodyResult result;
  const std::string fileName = UrlFileName(answer.url);
  // Another status's body is no resource: only its start is read, to know it.
  const bool resource = IsSuccessStatus(answer.status);
  const std::uint32_t chunk = DownloadChunkSize(answer.size);
  const std::int64_t start = io.nowMs();
  std::string page;
  std::vector<char> buffer(kDownloadBufferSize);
  std::uint32_t read = 0;
  do {
    if (io.aborted()) {
      result.aborted = true;
      break;
    }
    std::uint32_t want = NextReadSize(chunk, answer.size, result.total);
    if (!resource)
      want = std::min<std::uint32_t>(want, kErrorPageProbe - static_cast<std::uint32_t>(page.size()));
    if (want == 0) break;  // the content length (or the page's start) is reached
    // Checked before each read, which itself ends within the receive time-out.
    if (BodyTimeIsUp(answer, fileName, io.nowMs() - start, result)) break;
    read = 0;
    const bool ok = io.read(buffer.data(), want, read);
    read = ok ? std::min(read, want) : 0;
    if (!ok) {
      result.error = DownloadErrorText(fileName, io.readErrorText());
    } else if (!resource) {
      page.append(buffer.data(), read);
    } else if (!answer.intoMemory) {
      if (BodyPieceFits(answer, fileName, read, result) && read > 0 && !io.write(buffer.data(), read))
        result.error = DownloadErrorText(fileName, io.writeErrorText());
    } else {
      KeepBodyPiece(answer, fileName, buffer.data(), read, content, result);
    }
    if (!result.error.empty()) break;
    if (resource) {
      result.total += read;
      io.progress(result.total, read);
    }
  } while (read > 0);
  EndDownloadBody(answer, fileName, resource, page, result);
  return result;
}
