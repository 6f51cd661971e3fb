#pragma once
// The parts of the HTTP client that need no operating system: URL handling, the chunk
// size and progress range of a download, the name of its partial file, the DOS date of
// a Last-Modified header and the limits that keep a hostile server harmless.
#include <cstdint>
#include <string>

// Content length when the server sent none (-1 read as unsigned).
constexpr std::uint32_t kNoContentLength = 0xFFFFFFFFu;
// Read buffer and largest chunk of a download.
constexpr std::uint32_t kDownloadBufferSize = 8192;
// Every WinINet time-out of a download.
constexpr std::uint32_t kDownloadTimeoutMs = 180000;
// Largest download kept in memory: the records and inform texts fetched that way are a
// few kilobytes; a body that never ends must not use up the memory. A body without a
// length is not read further into a file either (such a file is never taken).
constexpr std::uint32_t kMemoryDownloadCap = 1048576;

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

// Content length div 10, clamped to 1..8,192.
std::uint32_t DownloadChunkSize(std::uint32_t size);
// Bytes to ask for next: the chunk, but never beyond a known content length (a body
// longer than its header says is not taken).
std::uint32_t NextReadSize(std::uint32_t chunk, std::uint32_t size, std::uint64_t total);
// The progress bar's range: position round(total / chunk) + 1, max ceil(size / chunk) + 1.
void DownloadProgressRange(std::uint32_t size, std::uint32_t chunk, std::uint64_t total, int& position, int& max);
// The file name is one this client gives a partial file of destName: destName + "." +
// 1 to 10 digits (any case; names only, no folders).
bool IsPartialFileName(const std::string& destName, const std::string& name);
// destFile + "." + the decimal text of (size + stamp) as an unsigned 32-bit sum.
std::string PartialFileName(const std::string& destFile, std::uint32_t size, std::uint32_t stamp);

// DOS date-time (date in the high word, local time) of a calendar time; 0 when the time
// is not a valid date or lies outside 1980..2107.
std::uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second);

// The DOS date-time of an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", the older
// "Sunday, 06-Nov-94 08:49:37 GMT" or "Sun Nov  6 08:49:37 1994"); 0 when the text is
// not such a date.
std::uint32_t HttpDateToDos(const std::string& text);

// ---- A download's decisions on what the server sends; the WinINet loop only moves bytes ----
// The answer's header, before any body byte: "" to read on, else the error (no content,
// or more than kMemoryDownloadCap announced for a download into memory).
std::string DownloadHeaderError(const std::string& url, std::uint32_t size, bool intoMemory);
// A piece received for a download into memory: appended; or, when the content would pass
// kMemoryDownloadCap, false with the error and the content emptied.
bool TakeMemoryPiece(std::string& content, const char* data, std::uint32_t read, const std::string& fileName,
                     std::string& errorText);
// A download into a file whose body, with the piece just received, reaches total bytes:
// the error when it came without a length and passes kMemoryDownloadCap (such a file is
// never taken, so its body is not read on), else "".
std::string NoLengthFileError(const std::string& fileName, std::uint32_t size, std::uint64_t total);
// Whether the partial file of a download to a file holds the whole file: the server sent
// a content length and the file has exactly that size.
bool PartialFileComplete(std::uint32_t size, std::int64_t partialSize);

// The error of a transfer that ended before its content length: "" when complete (or
// no length was sent), else FileName + " --- Error downloading file (N of M bytes received)".
std::string ShortTransferError(const std::string& fileName, std::uint32_t size, std::uint64_t total);
// The server's answer is its resource: a 2xx status (an answer without one is not).
bool IsSuccessStatus(std::uint32_t status);
// The detail of a download answered with another status: "HTTP 404 Not Found"; for no
// status at all "the transfer did not complete".
std::string StatusDetail(std::uint32_t status, const std::string& reason);
// The download error text with its optional detail in brackets.
std::string DownloadErrorText(const std::string& fileName, const std::string& detail);
