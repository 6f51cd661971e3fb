// zdebugview: receives the trace of Zorvik stubs. It owns a top-level window of class
// ".ZDebug."; every process that traces finds it, adds a piece of text as a global atom
// and sends the registered message ".Z_DebugMsg." (wParam 1, lParam the atom). The
// sender deletes the atom as soon as the send returns, so the text is read here while
// the message is handled.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "system/WinHandles.h"
#include "system/ZDebug.h"

namespace {

const char kUsage[] =
    "usage: zdebugview [--out FILE] [--ready FILE] [--seconds N]\n"
    "       zdebugview --stop\n"
    "\n"
    "Receives the trace of Zorvik stubs (window class \".ZDebug.\") and writes each piece\n"
    "as it arrives, unchanged, to standard output or appended to FILE.\n"
    "\n"
    "  --out FILE     append the trace to FILE instead of writing it to standard output\n"
    "  --ready FILE   create FILE (holding this process id) once the window exists, and\n"
    "                 delete it on exit\n"
    "  --seconds N    exit after N seconds (default: run until the window is closed)\n"
    "  --stop         close the running viewer and wait until it has gone\n"
    "\n"
    "Exit codes: 0 success, 1 failure (another viewer runs, a file cannot be opened),\n"
    "2 bad usage.\n";

UINT g_traceMessage = 0;
HANDLE g_output = nullptr;

void WriteAll(HANDLE target, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(target, data, size, &written, nullptr) || written == 0) return;
    data += written;
    size -= written;
  }
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_traceMessage && g_traceMessage != 0) {
    ATOM atom = static_cast<ATOM>(lParam);
    if (wParam == kDebugViewerWParam && atom != 0) {
      char text[256];  // atom names hold at most 255 characters
      UINT length = GlobalGetAtomNameA(atom, text, sizeof text);
      if (length > 0) {
        WriteAll(g_output, text, length);
      }
    }
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      KillTimer(window, 1);
      DestroyWindow(window);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int StopRunningViewer() {
  HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
  if (!viewer) return 0;
  PostMessageA(viewer, WM_CLOSE, 0, 0);
  for (int i = 0; i < 200; ++i) {
    if (!IsWindow(viewer)) return 0;
    Sleep(50);
  }
  std::fprintf(stderr, "zdebugview: the running viewer did not close\n");
  return 1;
}

bool ParseSeconds(const char* text, UINT& seconds) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (!*text || *end || value > 4000000) return false;  // SetTimer takes milliseconds in 32 bits
  seconds = static_cast<UINT>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string outName, readyName;
  UINT seconds = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--stop") {
      return StopRunningViewer();
    } else if (arg == "--out" && hasValue) {
      outName = argv[++i];
    } else if (arg == "--ready" && hasValue) {
      readyName = argv[++i];
    } else if (arg == "--seconds" && hasValue && ParseSeconds(argv[i + 1], seconds)) {
      ++i;
    } else {
      std::fprintf(stderr, "zdebugview: bad argument '%s' (try --help)\n", arg.c_str());
      return 2;
    }
  }

  if (FindWindowA(kDebugViewerClass, nullptr)) {
    std::fprintf(stderr, "zdebugview: another viewer is already running\n");
    return 1;
  }

  UniqueHandle outFile;
  if (!outName.empty()) {
    outFile.reset(CreateFileA(outName.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!outFile) {
      std::fprintf(stderr, "zdebugview: cannot open '%s' (error %lu)\n", outName.c_str(), GetLastError());
      return 1;
    }
    g_output = outFile.get();
  } else {
    g_output = GetStdHandle(STD_OUTPUT_HANDLE);
  }

  g_traceMessage = RegisterWindowMessageA(kDebugViewerMessage);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ScopedWindowClass windowClass(kDebugViewerClass, instance);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = instance;
  wc.lpszClassName = kDebugViewerClass;
  if (!windowClass.Register(wc)) {
    std::fprintf(stderr, "zdebugview: cannot register the window class (error %lu)\n", GetLastError());
    return 1;
  }
  // A hidden top-level window: found by FindWindow, never in the way on a desktop.
  UniqueWindow window(CreateWindowExA(0, kDebugViewerClass, "Zorvik trace viewer", WS_OVERLAPPEDWINDOW,
                                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr));
  if (!window) {
    std::fprintf(stderr, "zdebugview: cannot create the window (error %lu)\n", GetLastError());
    return 1;
  }
  if (seconds > 0) SetTimer(window.get(), 1, seconds * 1000, nullptr);

  if (!readyName.empty()) {
    UniqueHandle ready(CreateFileA(readyName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!ready) {
      std::fprintf(stderr, "zdebugview: cannot create '%s' (error %lu)\n", readyName.c_str(), GetLastError());
      return 1;
    }
    std::string pid = std::to_string(GetCurrentProcessId()) + "\n";
    WriteAll(ready.get(), pid.data(), static_cast<DWORD>(pid.size()));
  }

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  window.release();  // already destroyed by the loop's end
  if (!readyName.empty()) DeleteFileA(readyName.c_str());
  return 0;
}
