#include "internet/InetHTTP.h"

#include <wininet.h>

#include <exception>
#include <vector>

#include "system/DllSafety.h"
#include "internet/CommUtils.h"
#include "internet/InetHTTPLogic.h"
#include "internet/ZProgBar.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/ZMsgBox.h"

namespace {

// limit; in developer mode the environment variable name instead when it holds a shorter
// positive number of milliseconds (tests of silent and trickling servers): never longer.
std::int64_t ShortenedInDeveloperMode(const char* name, std::int64_t limit) {
  if (IsDeveloperMode()) {
    char text[24] = {};
    const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    std::int64_t value = 0;
    if (length > 0 && length < sizeof text && TryParseInt64(text, value) && value > 0 && value < limit)
      return value;
  }
  return limit;
}

// Every WinINet time-out (Z_HTTP_TIMEOUT_MS in developer mode).
DWORD DownloadTimeoutMs() {
  return static_cast<DWORD>(ShortenedInDeveloperMode("Z_HTTP_TIMEOUT_MS", kDownloadTimeoutMs));
}

// ---- The WinINet binding: every entry point looked up at run time, none imported ----
// Loaded on first need (again after HTTP_UnloadWinINet); an entry point that is missing is
// null and its wrapper fails without doing anything.
struct WinInetBinding {
  UniqueLibrary module;
  decltype(&::InternetGetConnectedState) getConnectedState = nullptr;
  decltype(&::InternetOpenA) open = nullptr;
  decltype(&::InternetConnectA) connect = nullptr;
  decltype(&::HttpOpenRequestA) openRequest = nullptr;
  decltype(&::HttpSendRequestA) sendRequest = nullptr;
  decltype(&::HttpQueryInfoA) queryInfo = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::InternetQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::InternetSetOptionA) setOption = nullptr;
  decltype(&::InternetGetLastResponseInfoA) lastResponseInfo = nullptr;
};
struct InetHTTPState {
  // Single-threaded process: handlers that set it and loops that poll it run on one thread.
  bool downloadAborted = false;
  WinInetBinding winInet;
  // A request whose body was not read to its end (an aborted download, a first-byte
  // request that a server answered with the whole file) and its root handle, left open:
  // Wine's WinINet reads the rest of an unread body before a close returns (seconds for a
  // large file from a fast server, for ever from one that never stops), and "Download
  // Aborted" or the next request would wait for it. Closed before the next transfer opens
  // when little is left unread (CloseIsBounded); else kept open for good, so they end with
  // the process and WinINet stays loaded for them.
  HINTERNET abandonedRequest = nullptr;
  HINTERNET abandonedRoot = nullptr;
  std::uint64_t abandonedRest = 0;
  bool keptForGood = false;
};
InetHTTPState state;

const WinInetBinding& WinInet() {
  if (!state.winInet.module) {
    state.winInet.module.reset(LoadSystemLibrary("WinINet.dll"));
    HMODULE module = state.winInet.module.get();
    state.winInet.getConnectedState = Z_PROC(module, InternetGetConnectedState);
    state.winInet.open = Z_PROC(module, InternetOpenA);
    state.winInet.connect = Z_PROC(module, InternetConnectA);
    state.winInet.openRequest = Z_PROC(module, HttpOpenRequestA);
    state.winInet.sendRequest = Z_PROC(module, HttpSendRequestA);
    state.winInet.queryInfo = Z_PROC(module, HttpQueryInfoA);
    state.winInet.readFile = Z_PROC(module, InternetReadFile);
    state.winInet.queryDataAvailable = Z_PROC(module, InternetQueryDataAvailable);
    state.winInet.setOption = Z_PROC(module, InternetSetOptionA);
    state.winInet.lastResponseInfo = Z_PROC(module, InternetGetLastResponseInfoA);
  }
  return state.winInet;
}

BOOL Inet_GetConnectedState(DWORD* flags) {
  auto fn = WinInet().getConnectedState;
  return fn ? fn(flags, 0) : FALSE;
}
void CloseAbandoned() {
  if (!state.abandonedRequest) return;
  if (CloseIsBounded(state.abandonedRest)) {
    UniqueInternet root(state.abandonedRoot), request(state.abandonedRequest);  // request first
  } else {
    state.keptForGood = true;
  }
  state.abandonedRequest = state.abandonedRoot = nullptr;
}

// Leaves a request with rest bytes of its body unread for CloseAbandoned.
void Abandon(UniqueInternet& request, UniqueInternet& root, std::uint64_t rest) {
  CloseAbandoned();
  state.abandonedRest = rest;
  state.abandonedRequest = request.release();
  state.abandonedRoot = root.release();
}

// Every transfer begins here.
HINTERNET Inet_Open(const char* agent) {
  CloseAbandoned();
  auto fn = WinInet().open;
  return fn ? fn(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
}
HINTERNET Inet_Connect(HINTERNET internet, const std::string& host, INTERNET_PORT port) {
  auto fn = WinInet().connect;
  return fn ? fn(internet, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) : nullptr;
}
HINTERNET Http_OpenRequest(HINTERNET session, const std::string& object, DWORD flags) {
  auto fn = WinInet().openRequest;
  return fn ? fn(session, "GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0) : nullptr;
}
BOOL Http_SendRequest(HINTERNET request, const char* headers) {
  auto fn = WinInet().sendRequest;
  return fn ? fn(request, headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0) : FALSE;
}
BOOL Http_QueryInfo(HINTERNET request, DWORD level, void* buffer, DWORD* length) {
  auto fn = WinInet().queryInfo;
  DWORD index = 0;
  return fn ? fn(request, level, buffer, length, &index) : FALSE;
}
BOOL Inet_ReadFile(HINTERNET request, void* buffer, DWORD size, DWORD* read) {
  auto fn = WinInet().readFile;
  *read = 0;
  return fn ? fn(request, buffer, size, read) : FALSE;
}
BOOL Inet_QueryDataAvailable(HINTERNET request, DWORD* available) {
  auto fn = WinInet().queryDataAvailable;
  *available = 0;
  return fn ? fn(request, available, 0, 0) : FALSE;
}
BOOL Inet_SetOption(HINTERNET handle, DWORD option, DWORD value) {
  auto fn = WinInet().setOption;
  return fn ? fn(handle, option, &value, sizeof value) : FALSE;
}
BOOL Inet_GetLastResponseInfo(DWORD* error, char* buffer, DWORD* length) {
  auto fn = WinInet().lastResponseInfo;
  return fn ? fn(error, buffer, length) : FALSE;
}

// The status code of the request's answer and its reason text; 0 when there is none
// (not HTTP).
std::uint32_t HttpStatus(HINTERNET request, std::string& reason) {
  DWORD status = 0;
  DWORD length = sizeof status;
  if (!Http_QueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length)) return 0;
  char text[128] = {};
  length = sizeof text - 1;
  if (Http_QueryInfo(request, HTTP_QUERY_STATUS_TEXT, text, &length))
    reason.assign(text, std::min<DWORD>(length, sizeof text - 1));
  return status;
}

// GET of an http or https URL, with the time-outs set on the connection and the request
// before anything is sent: set on the root handle alone, not every system applies them
// to the requests opened from it. The connection handle is left to the root handle's
// close (closing it would close the request). Null when the URL is not http or https, the
// server cannot be reached or gives no answer in time.
HINTERNET Inet_OpenUrl(HINTERNET internet, const std::string& url, DWORD flags, const char* headers) {
  UrlParts parts;
  if (!SplitWebUrl(url, parts)) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return nullptr;
  }
  HINTERNET session = Inet_Connect(internet, parts.host, parts.port);
  if (!session) return nullptr;
  HTTP_SetTimeouts(session, DownloadTimeoutMs());
  UniqueInternet request(
      Http_OpenRequest(session, parts.object, flags | (parts.secure ? INTERNET_FLAG_SECURE : 0)));
  if (!request) return nullptr;
  HTTP_SetTimeouts(request.get(), DownloadTimeoutMs());
  if (!Http_SendRequest(request.get(), headers)) return nullptr;
  return request.release();
}

// The request of the URL after the redirects it leads through, followed here and at most
// kMaxRedirects of them: WinINet's own following has no end on some systems.
HINTERNET OpenFollowingRedirects(HINTERNET internet, const std::string& url, DWORD flags,
                                 const char* headers = nullptr) {
  std::string target = url;
  UniqueInternet request(Inet_OpenUrl(internet, target, flags | INTERNET_FLAG_NO_AUTO_REDIRECT, headers));
  for (int hop = 0; request && hop < kMaxRedirects; ++hop) {
    std::string reason;
    if (!IsRedirectStatus(HttpStatus(request.get(), reason))) break;
    char location[2048] = {};
    DWORD length = sizeof location - 1;
    if (!Http_QueryInfo(request.get(), HTTP_QUERY_LOCATION, location, &length)) break;
    const std::string next =
        RedirectTarget(target, std::string(location, std::min<DWORD>(length, sizeof location - 1)));
    if (next.empty()) break;
    request.reset(Inet_OpenUrl(internet, next, flags | INTERNET_FLAG_NO_AUTO_REDIRECT, headers));
    target = next;
  }
  return request.release();
}

// The Content-Length header read as text (the number form of the query holds 32 bits):
// kNoContentLength without one, kBadContentLength when it holds no length.
std::uint64_t ContentLengthOf(HINTERNET request) {
  char text[32] = {};
  DWORD length = sizeof text - 1;
  const bool present = Http_QueryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &length) != FALSE ||
                       GetLastError() == ERROR_INSUFFICIENT_BUFFER;
  return ParseContentLength(present, std::string(text, std::min<DWORD>(length, sizeof text - 1)));
}

// Deletes the partial files of earlier downloads to destFile (destFile + "." + digits,
// the only names this client gives them), and nothing else beside it.
void DeletePartialFiles(const std::string& destFile) {
  const std::string folder = ExtractFilePath(destFile);
  const std::string name = ExtractFileName(destFile);
  WIN32_FIND_DATAA data;
  UniqueFindHandle find(FindFirstFileA((destFile + ".*").c_str(), &data));
  if (!find) return;
  do {
    if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        IsPartialFileName(name, data.cFileName))
      DeleteFileA((folder + data.cFileName).c_str());
  } while (FindNextFileA(find.get(), &data));
}

void TraceDownloadError(const std::string& errorText) {
  if (!errorText.empty())
    Output() << TracePid() << " HTTP_DownloadFile_Incremental: " << errorText << EndLine;
}

// A message of the table of module (null: the system's) without its closing full stop;
// empty when it has none.
std::string MessageText(HMODULE module, DWORD code) {
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM) |
          FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      module, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text;
  if (message && length > 0) text.assign(message, length);
  if (message) LocalFree(message);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return Trim(text);
}

// Why a WinINet call failed: for WinINet's own errors (12xxx, which the system's message
// table does not hold) the server's last words, else WinINet's own text; the system's
// text for any other error. A socket's time-out, which some WinINets pass on as it is,
// reads as WinINet's own; a code no table knows is named by its number.
std::string InternetErrorText() {
  DWORD code = GetLastError();
  if (code == WSAETIMEDOUT) code = ERROR_INTERNET_TIMEOUT;
  std::string text;
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    HTTP_GetLastResponseInfo(text);
    text = Trim(text);
    if (text.empty()) text = MessageText(state.winInet.module.get(), code);
  } else {
    text = MessageText(nullptr, code);
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// The longest a whole transfer that may bring the given bytes may take
// (Z_HTTP_TRANSFER_MS in developer mode).
std::int64_t TransferLimitMs(std::uint64_t bytes) {
  return ShortenedInDeveloperMode("Z_HTTP_TRANSFER_MS", TransferTimeLimitMs(bytes));
}

// The system's side of ReceiveDownloadBody: WinINet's reads, the partial file's writes,
// the pump and the progress.
struct WinInetIo {
  HINTERNET request;
  HANDLE file;
  const std::string& partial;
  TProgBar* progBar;
  TBytesRate& rate;
  std::uint64_t shown;
  std::int64_t deadlineMs;  // the end of the whole transfer's time
  mutable DWORD receiveTimeoutMs;

  // Only what has arrived is read: WinINet's read waits until the whole buffer is full,
  // which a server that trickles within the receive time-out delays without end.
  bool read(char* buffer, std::uint32_t want, std::uint32_t& read) const {
    // A wait for data never runs past the transfer's bound.
    const DWORD timeout = ReadTimeoutMs(deadlineMs - TickMs(), DownloadTimeoutMs());
    if (timeout != receiveTimeoutMs) {
      receiveTimeoutMs = timeout;
      Inet_SetOption(request, INTERNET_OPTION_RECEIVE_TIMEOUT, timeout);
      Inet_SetOption(request, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, timeout);
    }
    DWORD available = 0, got = 0;
    if (!Inet_QueryDataAvailable(request, &available)) return false;
    const bool ok =
        available == 0 || Inet_ReadFile(request, buffer, std::min<DWORD>(want, available), &got) != FALSE;
    read = got;
    return ok;
  }
  bool write(const char* data, std::uint32_t size) const { return WriteAll(file, data, size); }
  std::string readErrorText() const { return InternetErrorText(); }
  std::string writeErrorText() const { return "cannot write " + partial + ": " + LastErrorText(); }
  // Window messages are handled between chunks when due (closing the window sets the
  // abort flag, seen before the next read); no pause: the network alone sets the pace.
  bool aborted() const {
    YieldWhenDue();
    return DownloadAborted();
  }
  std::int64_t nowMs() const { return TickMs(); }
  void progress(std::uint64_t total, std::uint32_t read) const {
    const std::string rateText =
        rate.Text(static_cast<std::int64_t>(shown), static_cast<std::int64_t>(total), read);
    if (read > 0 && progBar) progBar->SetText(rateText);
  }
};

// The body of an open request into partial (or content): the decisions are
// ReceiveDownloadBody's, this side reads WinINet, writes the file and shows the progress.
DownloadBodyResult ReceiveBody(HINTERNET request, const DownloadAnswer& answer, const std::string& partial,
                               std::string& content, TProgBar* progBar, std::int64_t& partialSize) {
  const std::string fileName = UrlFileName(answer.url);
  const std::uint64_t shown = ShownSize(answer.size);
  if (progBar) {
    int position = 0, max = 0;
    DownloadProgressRange(answer.size, DownloadChunkSize(answer.size), 0, position, max);
    progBar->SetRange(position, max);
  }
  TBytesRate rate(shown > 102400, shown > 10485760);
  if (progBar) progBar->SetCaption(fileName);

  // The partial file stays open for the whole transfer (reopening it for every chunk cost
  // more than the network on a fast link); others may read it meanwhile, but neither
  // rename nor delete it, so no other file takes its place mid-transfer. Appends only.
  // A new file: the client's own older ones are gone, so whatever is still at the name
  // (a link, a folder, another download's file) is not written through.
  UniqueHandle file;
  partialSize = 0;
  if (!partial.empty()) {
    file.reset(CreateFileA(partial.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      DownloadBodyResult failed;
      failed.error = DownloadErrorText(fileName, "cannot write " + partial + ": " + LastErrorText());
      return failed;
    }
  }
  const WinInetIo io{
      request, file.get(), partial, progBar, rate, shown, TickMs() + answer.timeLimitMs, DownloadTimeoutMs()};
  const DownloadBodyResult result = ReceiveDownloadBody(answer, io, content);
  if (file) partialSize = FileSize(file.get());  // what the held file holds, not what a name shows
  return result;
}

bool Download(HWND window, const std::string& url, const std::string& destFile, std::uint64_t maxBytes,
              std::string& content, TProgBar* progBar, std::string& errorText) {
  HTTP_Touch(url);
  UniqueInternet internet(Inet_Open("HTTP_Connect_3"));
  if (!internet) {
    errorText = "Unable to initialize \"WinINet.dll\"";
    return false;
  }
  HTTP_SetTimeouts(internet.get(), DownloadTimeoutMs());
  UniqueInternet request(static_cast<HINTERNET>(HTTP_OpenURL(internet.get(), url)));
  if (!request) {
    errorText = "Unable to open Internet Connection: " + url;
    return false;
  }
  DownloadAnswer answer;
  answer.url = url;
  answer.status = HttpStatus(request.get(), answer.reason);
  answer.size = ContentLengthOf(request.get());
  answer.intoMemory = destFile.empty();
  answer.maxBytes = maxBytes;
  const std::uint32_t stamp = HTTP_GetLastModified(request.get());
  errorText = DownloadHeaderError(url, answer.size, answer.intoMemory, maxBytes);
  // Status and length are judged before anything is written: an error status's body is
  // never written, and an announced length that the drive cannot hold is not begun.
  const bool writeFile = !answer.intoMemory && IsSuccessStatus(answer.status);
  if (errorText.empty() && writeFile)
    errorText = NoRoomError(UrlFileName(url), answer.size,
                            static_cast<std::uint64_t>(DiskFree(ExtractFilePath(destFile))));
  if (!errorText.empty()) return false;
  answer.timeLimitMs = TransferLimitMs(MostBodyBytes(answer.size, maxBytes));
  if (reinterpret_cast<UINT_PTR>(window) > 10) ShowWindow(window, SW_SHOW);

  std::string partial;
  if (writeFile) {
    partial = PartialFileName(destFile, answer.size, stamp);
    DeletePartialFiles(destFile);  // a transfer never continues an older attempt
  }
  std::int64_t partialSize = 0;
  const DownloadBodyResult body = ReceiveBody(request.get(), answer, partial, content, progBar, partialSize);
  errorText = DownloadAborted() ? "Download Aborted" : body.error;
  if (DownloadAborted()) Abandon(request, internet, UnreadRest(answer.size, body.total));
  // Stopped by a bound: the bytes written are no use and may be many.
  if (body.overBound && !partial.empty()) DeleteFileA(partial.c_str());

  bool complete = errorText.empty();
  if (!destFile.empty()) {
    complete = false;
    if (errorText.empty() && !partial.empty() && PartialFileComplete(answer.size, partialSize)) {
      // One rename over the name: it replaces a link planted there as the link, where a
      // delete first may reach what the link points to.
      complete = MoveFileExA(partial.c_str(), destFile.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }
  }
  return complete;
}

}  // namespace

void SetDownloadAborted(bool aborted) {
  state.downloadAborted = aborted;
}
bool DownloadAborted() {
  return state.downloadAborted;
}

bool HTTP_CheckConnection(std::string& errorText) {
  DWORD flags = 0;
  const bool connected = Inet_GetConnectedState(&flags) != FALSE;
  errorText = connected ? std::string() : LastErrorText();
  return connected;
}

bool HTTP_CheckConnection() {
  std::string ignored;
  return HTTP_CheckConnection(ignored);
}

void HTTP_Touch(const std::string& url) {
  UniqueInternet internet(Inet_Open("HTTP_Connect_2"));
  if (!internet) return;
  HTTP_SetTimeouts(internet.get(), DownloadTimeoutMs());
  // The first byte is enough for a touch: Wine's WinINet reads the rest of an unread body
  // before it closes the request, 7 s for 100 MB from a local server.
  UniqueInternet request(OpenFollowingRedirects(internet.get(), url, 0, "Range: bytes=0-0\r\n"));
  // A server that ignores the range answers with the whole file: never closed unread.
  const std::uint64_t rest = request ? UnreadRest(ContentLengthOf(request.get()), 0) : 0;
  if (!CloseIsBounded(rest)) Abandon(request, internet, rest);
}

std::int64_t HTTP_GetFileSize(const std::string& url) {
  HTTP_Touch(url);
  UniqueInternet internet(Inet_Open("HTTP_Connect_2"));
  if (!internet) return -1;
  HTTP_SetTimeouts(internet.get(), DownloadTimeoutMs());
  // Only the first byte is asked for, the length read from the answer's range: Wine's
  // WinINet reads the rest of an unread body before it closes the request (7 s per 100 MB
  // from a local server), and a server without ranges still sends the whole length.
  UniqueInternet request(OpenFollowingRedirects(internet.get(), url, 0, "Range: bytes=0-0\r\n"));
  if (!request) return -1;
  std::string reason;
  const std::uint32_t status = HttpStatus(request.get(), reason);
  char range[128] = {};
  DWORD rangeLength = sizeof range - 1;
  if (!Http_QueryInfo(request.get(), HTTP_QUERY_CONTENT_RANGE, range, &rangeLength)) rangeLength = 0;
  const std::uint64_t contentLength = ContentLengthOf(request.get());
  const std::int64_t length = FileSizeFromFirstByteAnswer(
      status, std::string(range, std::min<DWORD>(rangeLength, sizeof range - 1)), contentLength);
  Output() << TracePid() << " HTTP_GetFileSize=" << length << "  " << url << EndLine;
  const std::uint64_t rest = UnreadRest(contentLength, 0);
  if (!CloseIsBounded(rest)) Abandon(request, internet, rest);
  return length;
}

std::int64_t HTTP_GetContentLength(void* request) {
  const std::uint64_t length = ContentLengthOf(static_cast<HINTERNET>(request));
  return length > std::uint64_t(INT64_MAX) ? -1 : static_cast<std::int64_t>(length);
}

std::uint32_t HTTP_GetLastModified(void* request) {
  // The header's text is read and parsed here: WinINet's own date conversion
  // (HTTP_QUERY_FLAG_SYSTEMTIME) never returns on some texts that are not dates.
  char text[128] = {};
  DWORD length = sizeof text - 1;
  if (!Http_QueryInfo(static_cast<HINTERNET>(request), HTTP_QUERY_LAST_MODIFIED, text, &length)) return 0;
  return HttpDateToDos(std::string(text, std::min<DWORD>(length, sizeof text - 1)));
}

void HTTP_SetTimeouts(void* internet, std::uint32_t milliseconds) {
  for (DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
        INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT, INTERNET_OPTION_CONTROL_SEND_TIMEOUT,
        INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT})
    Inet_SetOption(static_cast<HINTERNET>(internet), option, milliseconds);
}

void* HTTP_OpenURL(void* internet, const std::string& url) {
  return OpenFollowingRedirects(static_cast<HINTERNET>(internet), UrlWithScheme(url), INTERNET_FLAG_RELOAD);
}

void HTTP_GetLastResponseInfo(std::string& text) {
  char buffer[1024];
  DWORD error = 0, length = sizeof buffer;
  if (Inet_GetLastResponseInfo(&error, buffer, &length))
    text.assign(buffer, std::min<DWORD>(length, sizeof buffer));
}

bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destFile,
                                   std::uint64_t maxBytes, std::string& content, TProgBar* progBar,
                                   std::string& errorText) {
  errorText.clear();
  content.clear();
  bool complete = false;
  try {
    complete = Download(window, url, destFile, maxBytes, content, progBar, errorText);
  } catch (const std::exception& error) {
    TraceException(error, "HTTP_DownloadFile_Incremental", url);
    errorText = DownloadErrorText(UrlFileName(url), error.what());
    content.clear();
    complete = false;
  }
  // What a failed download brought is no part of the resource.
  if (!errorText.empty()) content.clear();
  TraceDownloadError(errorText);
  return complete;
}

void HTTP_UnloadWinINet() {
  if (state.abandonedRoot || state.keptForGood) return;  // its module stays for the handles left open
  state.winInet = WinInetBinding();
}
