// The debug channel against a real viewer: zdebugview.exe, started beside this program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "system/WinHandles.h"
#include "system/ZDebug.h"
#include "tests/wine/TestSupport.h"

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}


bool FileExists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A zdebugview.exe process writing what it receives to a file of the temporary folder.
class Viewer {
 public:
  Viewer() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    out_ = std::string(temp) + "zdebug_viewer_out.txt";
    ready_ = std::string(temp) + "zdebug_viewer_ready.txt";
    DeleteFileA(out_.c_str());
    DeleteFileA(ready_.c_str());
  }
  ~Viewer() { Stop(); }

  bool Start() {
    std::string command = "\"" + ProgramFolder() + "zdebugview.exe\" --out \"" + out_ + "\" --ready \"" + ready_ +
                          "\" --seconds 60";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    process_.reset(pi.hProcess);
    CloseHandle(pi.hThread);
    for (int i = 0; i < 200 && !FileExists(ready_); ++i) Sleep(50);
    return FileExists(ready_) && FindWindowA(kDebugViewerClass, nullptr) != nullptr;
  }

  // Closes the viewer and returns everything it wrote.
  std::string Stop() {
    if (!process_) return ReadWholeFile(out_);
    HWND window = FindWindowA(kDebugViewerClass, nullptr);
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
    process_.reset();
    return ReadWholeFile(out_);
  }

 private:
  std::string out_, ready_;
  UniqueHandle process_;
};

// Restores the program's target and removes the trace file around a test.
struct TraceFileGuard {
  TraceFileGuard() { DeleteFileA(DebugFileName().c_str()); }
  ~TraceFileGuard() {
    Output().flush();
    DebugTarget = 0;
    DeleteFileA(DebugFileName().c_str());
  }
};

}  // namespace

TEST(DebugChannel, PiecesReachTheViewerUnchangedAndTheAtomsAreGone) {
  TraceFileGuard guard;
  Viewer viewer;
  ASSERT_TRUE(viewer.Start());
  DebugTarget = 0;
  const std::string longLine(128, 'L');
  Output() << TracePid() << " ==== hello ====> " << true << std::endl;
  Output() << longLine << std::endl;
  Output() << "one\rtwo\nthree\r\nfour" << std::endl;
  // Each piece's atom was deleted once its send returned.
  EXPECT_EQ(GlobalFindAtomA(longLine.c_str()), 0);
  EXPECT_EQ(GlobalFindAtomA("one\rtwo\nthree\r\nfour\n"), 0);
  std::string received = viewer.Stop();
  EXPECT_EQ(received, std::to_string(TracePid()) + " ==== hello ====> TRUE\n" + longLine + "\n" +
                          "one\rtwo\nthree\r\nfour\n");
  // The viewer target never creates the trace file.
  EXPECT_FALSE(FileExists(DebugFileName()));
}

TEST(DebugChannel, TraceFileGetsNormalisedLinesAndBothTargetsGetTheSamePieces) {
  TraceFileGuard guard;
  Viewer viewer;
  ASSERT_TRUE(viewer.Start());

  DebugTarget = 1;  // file only
  Output() << "first\rline" << std::endl;
  EXPECT_EQ(ReadWholeFile(DebugFileName()), "first\r\nline\r\n");

  DebugTarget = 2;  // both
  Output() << "both" << std::endl;
  DebugTarget = 3;  // nothing
  Output() << "nowhere" << std::endl;
  EXPECT_EQ(ReadWholeFile(DebugFileName()), "first\r\nline\r\nboth\r\n");
  EXPECT_EQ(viewer.Stop(), "both\n");
}

TEST(DebugChannel, AppendKeepsEarlierContentAndReportsFailure) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string name = std::string(temp) + "zdebug_append.txt";
  DeleteFileA(name.c_str());
  EXPECT_TRUE(AppendTextToFile(name, "ab"));
  {
    // Another process holding the file open for reading and writing does not stop appends.
    UniqueHandle other(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.valid());
    EXPECT_TRUE(AppendTextToFile(name, ""));
    EXPECT_TRUE(AppendTextToFile(name, "c\r\n"));
  }
  EXPECT_EQ(ReadWholeFile(name), "abc\r\n");
  DeleteFileA(name.c_str());
  EXPECT_FALSE(AppendTextToFile("C:\\no such folder\\x.txt", "text"));
}

namespace {

// A viewer on its own thread that, on the first piece, sends a message to the tracing
// thread's window and waits for it, as a host blocked in SendMessage to the agent does.
struct ReentryScene {
  HWND tracerWindow = nullptr;
  std::string received;
  bool forwarded = false;
  HANDLE viewerReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD viewerThread = 0;
};
ReentryScene* g_scene = nullptr;
UINT g_viewerMessage = 0;

LRESULT CALLBACK ReentryViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_viewerMessage) {
    char text[256] = {};
    GlobalGetAtomNameA(static_cast<ATOM>(lParam), text, sizeof text);
    g_scene->received += text;
    if (!g_scene->forwarded) {
      g_scene->forwarded = true;
      SendMessageA(g_scene->tracerWindow, WM_APP, 0, 0);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ReentryTracerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    Output() << "handled while delivering" << std::endl;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI RunReentryViewer(void*) {
  ScopedWindowClass viewerClass(kDebugViewerClass, GetModuleHandleA(nullptr));
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ReentryViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kDebugViewerClass;
  viewerClass.Register(wc);
  HWND window = CreateWindowA(kDebugViewerClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  SetEvent(g_scene->viewerReady);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  DestroyWindow(window);
  return 0;
}

DWORD WINAPI RunReentryTracer(void*) {
  ScopedWindowClass tracerClass("ZDebugReentryTracer", GetModuleHandleA(nullptr));
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ReentryTracerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZDebugReentryTracer";
  tracerClass.Register(wc);
  g_scene->tracerWindow = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  Output() << "outer line" << std::endl;
  Output() << "after" << std::endl;
  DestroyWindow(g_scene->tracerWindow);
  return 0;
}

}  // namespace

TEST(DebugChannel, AWindowThatTracesWhileDeliveryWaitsDoesNotDeadlock) {
  TraceFileGuard guard;
  DebugTarget = 0;
  ASSERT_EQ(FindWindowA(kDebugViewerClass, nullptr), nullptr) << "another viewer is running";
  ReentryScene scene;
  g_scene = &scene;
  g_viewerMessage = RegisterWindowMessageA(kDebugViewerMessage) & 0xFFFF;
  UniqueHandle viewer(CreateThread(nullptr, 0, RunReentryViewer, nullptr, 0, &scene.viewerThread));
  ASSERT_EQ(WaitForSingleObject(scene.viewerReady, 10000), WAIT_OBJECT_0);
  UniqueHandle tracer(CreateThread(nullptr, 0, RunReentryTracer, nullptr, 0, nullptr));
  if (WaitForSingleObject(tracer.get(), 15000) != WAIT_OBJECT_0) {
    // The channel's lock is held for good: nothing in this program could trace again.
    std::fprintf(stderr, "DebugChannel: delivery dead-locked on a re-entrant trace\n");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  PostThreadMessageA(scene.viewerThread, WM_QUIT, 0, 0);
  WaitForSingleObject(viewer.get(), 10000);
  CloseHandle(scene.viewerReady);
  g_scene = nullptr;
  // The nested line arrives while the outer one is being handled; neither is lost.
  EXPECT_EQ(scene.received, "outer line\nhandled while delivering\nafter\n");
}
