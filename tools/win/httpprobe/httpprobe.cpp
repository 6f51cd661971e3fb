// httpprobe: runs one call of the stub's HTTP client and prints its results as
// "key=value" lines, for the transfer tests under Wine.
//
//   httpprobe.exe size URL              HTTP_GetFileSize
//   httpprobe.exe head URL              content length and Last-Modified (DOS date) of a GET
//   httpprobe.exe read URL [PIECE]      the whole body read in pieces of PIECE bytes (default
//                                       8,192, the download's chunk) with nothing else done:
//                                       the milliseconds of one WinINet read
//   httpprobe.exe get URL OUT [MAX]     download into memory; the content is written to OUT
//   httpprobe.exe download URL DEST [MAX]  download into the file DEST (no window, no progress)
//                                       (MAX: the most bytes the caller takes; default any)
//   httpprobe.exe shown URL DEST [MAX]  the same with a window whose progress and activity
//                                       bars the download drives, as the web install's
//   httpprobe.exe touch URL             HTTP_Touch; prints its milliseconds
//   httpprobe.exe connected             HTTP_CheckConnection
//   httpprobe.exe pace COUNT FILE       COUNT times what a download does around each chunk
//                                       (a 2 ms pump, then 8,192 bytes appended to FILE);
//                                       prints the milliseconds of one pass
//
// The downloads print complete=0/1, error=, bytes= and the milliseconds they took; with
// Z_PROBE_MEMORY set, also the process's peak working set in bytes.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <commctrl.h>

#include "internet/InetHTTP.h"
#include "internet/InetHTTPLogic.h"
#include "internet/ZProgBar.h"
#include "system/Files.h"
#include "system/WinUtils.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

int Usage() {
  std::fputs("usage: httpprobe size|head|get|download|connected|pace ARGS (see the source)\n", stderr);
  return 2;
}

void PrintPeakMemory() {
  using InfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
  HMODULE module = nullptr;
  auto info = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(LoadProc("psapi.dll", "GetProcessMemoryInfo", module)));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (info && info(GetCurrentProcess(), &counters, sizeof counters))
    std::printf("peak_working_set=%lu\nworking_set=%lu\n", static_cast<unsigned long>(counters.PeakWorkingSetSize),
                static_cast<unsigned long>(counters.WorkingSetSize));
}

// A window like the stub's main window: a progress bar and an activity bar that
// ProgressCallback drives. Lives until the process ends.
HWND MakeProgressWindow() {
  HMODULE comctl = nullptr;
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitFn>(
      reinterpret_cast<void*>(LoadProc("comctl32.dll", "InitCommonControlsEx", comctl)));
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  if (init) init(&icc);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "httpprobe";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "httpprobe", "httpprobe", WS_CAPTION | WS_SYSMENU, 0, 0, 492, 110, nullptr,
                                nullptr, instance, nullptr);
  static StatusView view;
  view.window = window;
  view.progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13, window,
                                     nullptr, instance, nullptr);
  view.activityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 416, 20, 46, 13, window,
                                     nullptr, instance, nullptr);
  SetStatusView(&view);
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const std::string url = argc > 2 ? argv[2] : "";
  if (command == "connected") {
    std::string error;
    std::printf("connected=%d\nerror=%s\n", HTTP_CheckConnection(error) ? 1 : 0, error.c_str());
  } else if (command == "touch" && argc == 3) {
    const std::int64_t start = TickMs();
    HTTP_Touch(url);
    std::printf("touch_ms=%ld\n", static_cast<long>(TickMs() - start));
  } else if (command == "size" && argc == 3) {
    std::printf("size=%lld\n", static_cast<long long>(HTTP_GetFileSize(url)));
  } else if ((command == "head" && argc == 3) || (command == "read" && (argc == 3 || argc == 4))) {
    // WinINet is looked up, not imported, so that the other commands run without it.
    HMODULE wininet = nullptr;
    auto open = reinterpret_cast<decltype(&InternetOpenA)>(
        reinterpret_cast<void*>(LoadProc("wininet.dll", "InternetOpenA", wininet)));
    auto close = reinterpret_cast<decltype(&InternetCloseHandle)>(
        reinterpret_cast<void*>(LoadProc("wininet.dll", "InternetCloseHandle", wininet)));
    HINTERNET internet = open && close ? open("httpprobe", INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
    void* request = internet ? HTTP_OpenURL(internet, url) : nullptr;
    std::printf("opened=%d\n", request ? 1 : 0);
    if (request && command == "read") {
      auto readFile = reinterpret_cast<decltype(&InternetReadFile)>(
          reinterpret_cast<void*>(LoadProc("wininet.dll", "InternetReadFile", wininet)));
      const DWORD piece =
          argc == 4 ? std::clamp<DWORD>(std::strtoul(argv[3], nullptr, 10), 1, 1 << 24) : 8192;
      std::string buffer(piece, '\0');
      DWORD got = 0;
      long reads = 0;
      const std::int64_t start = TickMs();
      while (readFile && readFile(static_cast<HINTERNET>(request), buffer.data(), piece, &got) && got > 0)
        ++reads;
      std::printf("reads=%ld\nread_ms=%.4f\n", reads, reads ? double(TickMs() - start) / reads : 0.0);
    } else if (request) {
      std::printf("length=%lld\nmodified=%lu\n", static_cast<long long>(HTTP_GetContentLength(request)),
                  static_cast<unsigned long>(HTTP_GetLastModified(request)));
    }
    if (request) close(static_cast<HINTERNET>(request));
    if (internet) close(internet);
  } else if ((command == "get" || command == "download" || command == "shown") && (argc == 4 || argc == 5)) {
    if (getenv("Z_PROBE_MEMORY")) PrintPeakMemory();
    const std::string file = argv[3];
    std::string content, error;
    const std::uint64_t maxBytes = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : kAnySize;
    HWND window = command == "shown" ? MakeProgressWindow() : nullptr;
    SetDownloadAborted(false);
    const std::int64_t start = TickMs();
    const bool complete = HTTP_DownloadFile_Incremental(window, url, command == "get" ? "" : file, maxBytes,
                                                        content, window ? &EnsureProgBar() : nullptr, error);
    const std::int64_t ms = TickMs() - start;
    if (command == "get") WriteTextFile(file, content);
    std::printf("complete=%d\nerror=%s\nbytes=%lu\nms=%ld\n", complete ? 1 : 0, error.c_str(),
                static_cast<unsigned long>(command == "get" ? content.size() : FileSizeByName(file)),
                static_cast<long>(ms));
    if (getenv("Z_PROBE_MEMORY")) PrintPeakMemory();
  } else if (command == "pace" && argc == 4) {
    const int count = std::max(1, std::atoi(argv[2]));
    const std::string file = argv[3], chunk(8192, 'x');
    DeleteFileA(file.c_str());
    const std::int64_t start = TickMs();
    for (int i = 0; i < count; ++i) {
      YieldWait(0, 2);
      AppendTextFile(file, chunk);
    }
    std::printf("pace_ms=%.4f\n", double(TickMs() - start) / count);
    DeleteFileA(file.c_str());
  } else {
    return Usage();
  }
  HTTP_UnloadWinINet();
  return 0;
}
