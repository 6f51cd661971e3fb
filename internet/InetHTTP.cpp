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

// Single-threaded process: handlers that set it and loops that poll it run on one thread.
bool downloadAborted = false;

// Every WinINet time-out; in developer mode the environment's Z_HTTP_TIMEOUT_MS may
// shorten it (tests of silent servers), never lengthen it.
DWORD DownloadTimeoutMs() {
  if (IsDeveloperMode()) {
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA("Z_HTTP_TIMEOUT_MS", text, sizeof text);
    std::int64_t value = 0;
    if (length > 0 && length < sizeof text && TryParseInt64(text, value) && value > 0 &&
        value < kDownloadTimeoutMs)
      return static_cast<DWORD>(value);
  }
  return kDownloadTimeoutMs;
}

// ---- The WinINet binding: every entry point looked up at run time, none imported ----
HMODULE wininet = nullptr;

struct Slot {
  const char* name;
  FARPROC proc;
};
enum SlotId {
  kConnectedState,
  kCloseHandle,
  kOpen,
  kConnect,
  kOpenRequest,
  kSendRequest,
  kQueryInfo,
  kReadFile,
  kSetOption,
  kResponseInfo
};
Slot slots[] = {{"InternetGetConnectedState", nullptr},
                {"InternetCloseHandle", nullptr},
                {"InternetOpenA", nullptr},
                {"InternetConnectA", nullptr},
                {"HttpOpenRequestA", nullptr},
                {"HttpSendRequestA", nullptr},
                {"HttpQueryInfoA", nullptr},
                {"InternetReadFile", nullptr},
                {"InternetSetOptionA", nullptr},
                {"InternetGetLastResponseInfoA", nullptr}};

template <typename Fn>
Fn Bind(SlotId id) {
  Slot& slot = slots[id];
  if (!slot.proc) {
    if (!wininet) wininet = LoadSystemLibrary("WinINet.dll");
    if (wininet) slot.proc = GetProcAddress(wininet, slot.name);
  }
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(slot.proc));
}

BOOL Inet_GetConnectedState(DWORD* flags) {
  auto fn = Bind<BOOL(WINAPI*)(LPDWORD, DWORD)>(kConnectedState);
  return fn ? fn(flags, 0) : FALSE;
}
BOOL Inet_CloseHandle(HINTERNET handle) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET)>(kCloseHandle);
  return fn ? fn(handle) : FALSE;
}
HINTERNET Inet_Open(const char* agent) {
  auto fn = Bind<HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD)>(kOpen);
  return fn ? fn(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
}
HINTERNET Inet_Connect(HINTERNET internet, const std::string& host, INTERNET_PORT port) {
  auto fn =
      Bind<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR)>(
          kConnect);
  return fn ? fn(internet, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) : nullptr;
}
HINTERNET Http_OpenRequest(HINTERNET session, const std::string& object, DWORD flags) {
  auto fn = Bind<HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD, DWORD_PTR)>(
      kOpenRequest);
  return fn ? fn(session, "GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0) : nullptr;
}
BOOL Http_SendRequest(HINTERNET request, const char* headers) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD)>(kSendRequest);
  return fn ? fn(request, headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0) : FALSE;
}
BOOL Http_QueryInfo(HINTERNET request, DWORD level, void* buffer, DWORD* length) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD)>(kQueryInfo);
  DWORD index = 0;
  return fn ? fn(request, level, buffer, length, &index) : FALSE;
}
BOOL Inet_ReadFile(HINTERNET request, void* buffer, DWORD size, DWORD* read) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD)>(kReadFile);
  *read = 0;
  return fn ? fn(request, buffer, size, read) : FALSE;
}
BOOL Inet_SetOption(HINTERNET handle, DWORD option, DWORD value) {
  auto fn = Bind<BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD)>(kSetOption);
  return fn ? fn(handle, option, &value, sizeof value) : FALSE;
}
BOOL Inet_GetLastResponseInfo(DWORD* error, char* buffer, DWORD* length) {
  auto fn = Bind<BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD)>(kResponseInfo);
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

struct InternetHandleTraits {
  static HINTERNET Invalid() { return nullptr; }
  static bool Valid(HINTERNET h) { return h != nullptr; }
  static void Release(HINTERNET h) { Inet_CloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, InternetHandleTraits>;

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
  HINTERNET request = Inet_OpenUrl(internet, target, flags | INTERNET_FLAG_NO_AUTO_REDIRECT, headers);
  for (int hop = 0; request && hop < kMaxRedirects; ++hop) {
    std::string reason;
    if (!IsRedirectStatus(HttpStatus(request, reason))) break;
    char location[2048] = {};
    DWORD length = sizeof location - 1;
    if (!Http_QueryInfo(request, HTTP_QUERY_LOCATION, location, &length)) break;
    const std::string next = RedirectTarget(target, std::string(location, std::min<DWORD>(length, sizeof location - 1)));
    if (next.empty()) break;
    HINTERNET followed = Inet_OpenUrl(internet, next, flags | INTERNET_FLAG_NO_AUTO_REDIRECT, headers);
    Inet_CloseHandle(request);
    request = followed;
    target = next;
  }
  return request;
}

// The length of a successful answer, read as text (the number form of the query holds 32
// bits); -1 for an error answer (its page is not the file), no length or no number.
std::int64_t ContentLength64(HINTERNET request) {
  std::string reason;
  if (!IsSuccessStatus(HttpStatus(request, reason))) return -1;
  char text[32] = {};
  DWORD length = sizeof text - 1;
  if (!Http_QueryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &length)) return -1;
  std::int64_t value = -1;
  if (!TryParseInt64(Trim(std::string(text, std::min<DWORD>(length, sizeof text - 1))), value) || value < 0) return -1;
  return value;
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
  if (!errorText.empty()) Output() << TracePid() << " HTTP_DownloadFile_Incremental: " << errorText << EndLine;
}

// Why a WinINet call failed: for WinINet's own errors (12xxx, which the system's message
// table does not hold) the server's last words, else WinINet's own text; the system's
// text for any other error.
std::string InternetErrorText() {
  const DWORD code = GetLastError();
  if (code < INTERNET_ERROR_BASE || code > INTERNET_ERROR_LAST) return LastErrorText();
  std::string text;
  HTTP_GetLastResponseInfo(text);
  text = Trim(text);
  if (!text.empty()) return text;
  char* message = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                          FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                      wininet, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  if (message && length > 0) text.assign(message, length);
  if (message) LocalFree(message);
  text = Trim(text);
  return text.empty() ? "WinINet error " + std::to_string(code) : text;
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

// The loop of a download whose request is open: chunks into partial (or content) until
// the data end, the content length is reached, a read fails or the user aborts.
std::uint64_t ReceiveChunks(HINTERNET request, const std::string& fileName, const std::string& partial,
                            std::string& content, std::uint32_t size, TProgBar* progBar, std::string& errorText) {
  const std::uint32_t chunk = DownloadChunkSize(size);
  std::uint64_t total = 0;
  if (progBar) {
    int position = 0, max = 0;
    DownloadProgressRange(size, chunk, total, position, max);
    progBar->SetRange(position, max);
  }
  TBytesRate rate(size > 102400, size > 10485760);
  if (progBar) progBar->SetCaption(fileName);

  // The partial file stays open for the whole transfer (reopening it for every chunk cost
  // more than the network on a fast link); others may read it meanwhile. Appends only.
  UniqueHandle file;
  if (!partial.empty()) {
    file.reset(CreateFileA(partial.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    if (!file) {
      errorText = DownloadErrorText(fileName, "cannot write " + partial + ": " + LastErrorText());
      return 0;
    }
  }
  std::vector<char> buffer(kDownloadBufferSize);
  DWORD read = 0;
  do {
    // Window messages are handled between chunks when due (closing the window sets the
    // abort flag, seen before the next read); no pause: the network alone sets the pace.
    YieldWhenDue();
    if (DownloadAborted()) break;
    const std::uint32_t want = NextReadSize(chunk, size, total);
    if (want == 0) break;  // the content length is reached
    std::fill(buffer.begin(), buffer.end(), 0);
    const bool ok = Inet_ReadFile(request, buffer.data(), want, &read) != FALSE;
    if (ok) {
      read = std::min<DWORD>(read, want);
      if (!partial.empty()) {
        errorText = NoLengthFileError(fileName, size, total + read);
        if (!errorText.empty()) break;
        if (!WriteAll(file.get(), buffer.data(), read)) {
          errorText = DownloadErrorText(fileName, "cannot write " + partial + ": " + LastErrorText());
          break;
        }
      } else if (!TakeMemoryPiece(content, buffer.data(), read, fileName, errorText)) {
        break;
      }
      total += read;
    } else {
      errorText = DownloadErrorText(fileName, InternetErrorText());
      read = 0;
    }
    const std::string rateText = rate.Text(size, static_cast<std::int64_t>(total), read);
    if (ok && read > 0 && progBar) progBar->SetText(rateText);
  } while (read > 0 && !DownloadAborted());
  return total;
}

bool Download(HWND window, const std::string& url, const std::string& destFile, std::string& content,
              TProgBar* progBar, std::string& errorText) {
  const std::string fileName = UrlFileName(url);
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
  std::string reason;
  const std::uint32_t status = HttpStatus(request.get(), reason);
  const std::uint32_t size = static_cast<std::uint32_t>(HTTP_GetContentLength(request.get()));
  const std::uint32_t stamp = HTTP_GetLastModified(request.get());
  errorText = DownloadHeaderError(url, size, destFile.empty());
  if (!errorText.empty()) return false;
  if (reinterpret_cast<UINT_PTR>(window) > 10) ShowWindow(window, SW_SHOW);

  std::string partial;
  if (!destFile.empty()) {
    partial = PartialFileName(destFile, size, stamp);
    DeletePartialFiles(destFile);  // a transfer never continues an older attempt
  }
  const std::uint64_t total = ReceiveChunks(request.get(), fileName, partial, content, size, progBar, errorText);
  if (DownloadAborted()) errorText = "Download Aborted";
  if (errorText.empty()) errorText = ShortTransferError(fileName, size, total);
  // An error status's body is not the resource. An HTML page is handed on all the same:
  // the callers tell the user it is an error page.
  if (errorText.empty() && !IsSuccessStatus(status) && !IsErrorPage(partial, content))
    errorText = DownloadErrorText(fileName, StatusDetail(status, reason));

  bool complete = errorText.empty();
  if (!destFile.empty()) {
    complete = false;
    if (errorText.empty() && PartialFileComplete(size, FileSizeByName(partial))) {
      DeleteFileA(destFile.c_str());
      complete = MoveFileA(partial.c_str(), destFile.c_str()) != FALSE;
    }
  }
  return complete;
}

}  // namespace

void SetDownloadAborted(bool aborted) { downloadAborted = aborted; }
bool DownloadAborted() { return downloadAborted; }

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
}

std::int64_t HTTP_GetFileSize(const std::string& url) {
  HTTP_Touch(url);
  UniqueInternet internet(Inet_Open("HTTP_Connect_2"));
  if (!internet) return -1;
  HTTP_SetTimeouts(internet.get(), DownloadTimeoutMs());
  UniqueInternet request(OpenFollowingRedirects(internet.get(), url, 0));
  if (!request) return -1;
  const std::int64_t length = ContentLength64(request.get());
  Output() << TracePid() << " HTTP_GetFileSize=" << length << "  " << url << EndLine;
  return length;
}

std::int32_t HTTP_GetContentLength(void* request) {
  DWORD value = 0xFFFFFFFFu;
  DWORD length = sizeof value;
  if (!Http_QueryInfo(static_cast<HINTERNET>(request), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value,
                      &length))
    return -1;
  return static_cast<std::int32_t>(value);
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
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
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
  if (Inet_GetLastResponseInfo(&error, buffer, &length)) text.assign(buffer, std::min<DWORD>(length, sizeof buffer));
}

bool HTTP_DownloadFile_Incremental(HWND window, const std::string& url, const std::string& destFile,
                                   std::string& content, TProgBar* progBar, std::string& errorText) {
  errorText.clear();
  content.clear();
  bool complete = false;
  try {
    complete = Download(window, url, destFile, content, progBar, errorText);
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
  if (wininet) FreeLibrary(wininet);
  wininet = nullptr;
  for (Slot& slot : slots) slot.proc = nullptr;
}
