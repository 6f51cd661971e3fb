// The main window: its creation (class, title, style, place, controls), the status line's
// text and font, the AutoPlay answer, the two-step close, and the right-to-left layout of
// a stub packed by zpack with a Hebrew language entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/StubGlob.h"
#include "driver/StubWin.h"
#include "ui/StatusView.h"
#include "internet/InetHTTP.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr UINT kRunAction = WM_APP + 77;
constexpr char kTestClass[] = "ZorvikStubMainWindowTest";

struct Control {
  std::string cls;
  RECT rect{};  // in the main window's client coordinates
  LONG style = 0;
  LONG exStyle = 0;
  bool visible = false;
  std::string text;
};

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

std::vector<Control> ControlsOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
  std::vector<Control> controls;
  for (HWND child : children) {
    Control c;
    c.cls = ClassOf(child);
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&c.rect), 2);
    c.style = GetWindowLongA(child, GWL_STYLE);
    c.exStyle = GetWindowLongA(child, GWL_EXSTYLE);
    c.visible = (c.style & WS_VISIBLE) != 0;
    c.text = TextOf(child);
    controls.push_back(c);
  }
  return controls;
}

// The controls in creation order: status line, progress bar, activity bar.
void ExpectLayout(const std::vector<Control>& controls, bool rtl) {
  ASSERT_EQ(controls.size(), 3u);
  const struct {
    const char* cls;
    int x, y, width, height;
    LONG style;
  } want[] = {
      {"Static", rtl ? 122 : 70, 20, 340, 18, rtl ? 0x50000002 : 0x50000000},
      {"msctls_progress32", 70, 38, 392, 13, 0x50000000},
      {"msctls_progress32", rtl ? 70 : 416, 20, 46, 13, 0x40000000},
  };
  for (int i = 0; i < 3; ++i) {
    const Control& c = controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " " + c.cls);
    EXPECT_STRCASEEQ(c.cls.c_str(), want[i].cls);
    EXPECT_EQ(c.rect.left, want[i].x);
    EXPECT_EQ(c.rect.top, want[i].y);
    EXPECT_EQ(c.rect.right - c.rect.left, want[i].width);
    EXPECT_EQ(c.rect.bottom - c.rect.top, want[i].height);
    EXPECT_EQ(c.style & ~0xFFFFL, want[i].style & ~0xFFFFL);  // window bits
  }
  EXPECT_EQ(controls[0].style & 0xFFFF, rtl ? SS_RIGHT : SS_LEFT);
  EXPECT_EQ(controls[0].exStyle & WS_EX_RTLREADING, rtl ? WS_EX_RTLREADING : 0);
}

// Runs StubWinMain in this thread; action gets the main window before the loop's first
// message is dispatched (a posted message comes before the 1-second timer).
std::function<void(HWND)> pendingAction;
LRESULT CALLBACK ActionHook(int code, WPARAM wParam, LPARAM lParam) {
  MSG* msg = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == nullptr && msg->message == kRunAction &&
      pendingAction) {
    auto action = std::move(pendingAction);
    pendingAction = nullptr;
    action(FindWindowA(kTestClass, nullptr));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void RunMainWindow(std::function<void(HWND)> action) {
  StubClassName = kTestClass;
  SetDownloadAborted(false);
  pendingAction = std::move(action);
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, ActionHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  PostThreadMessageA(GetCurrentThreadId(), kRunAction, 0, 0);
  StubWinMain();
  UnhookWindowsHookEx(hook);
  EXPECT_FALSE(pendingAction) << "the loop ended before its first message";
  pendingAction = nullptr;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST(StubMainWindow, CreatedHiddenCentredWithItsControls) {
  std::string caption;
  LONG style = 0, exStyle = 0;
  RECT rect{};
  std::vector<Control> controls;
  HWND seen = nullptr;
  LRESULT autoPlay = 0;
  RunMainWindow([&](HWND window) {
    seen = window;
    if (!window) return;
    EXPECT_EQ(window, View().window);
    caption = TextOf(window);
    style = GetWindowLongA(window, GWL_STYLE);
    exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    GetWindowRect(window, &rect);
    controls = ControlsOf(window);
    EnableAutoPlayCancel(true);
    autoPlay = SendMessageA(window, AutoPlayCancelMessage(), 0, 0);
    EnableAutoPlayCancel(false);
    DestroyWindow(window);
  });
  ASSERT_NE(seen, nullptr) << "no window of the class";
  // This test program carries no package: the built-in title.
  EXPECT_EQ(caption, "Zorvik Installation Suite");
  // Hidden (no WS_VISIBLE); the system adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(style & ~(0xFFFFL | WS_CLIPSIBLINGS), 0x02C80000L) << std::hex << style;
  EXPECT_EQ(exStyle & ~(WS_EX_WINDOWEDGE), 0) << std::hex << exStyle;
  int left = 0, top = 0;
  CenterInWorkArea(492, 110, left, top);
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(rect.right - rect.left, 492);
  EXPECT_EQ(rect.bottom - rect.top, 110);
  ExpectLayout(controls, false);
  EXPECT_EQ(autoPlay, 1);

  // Torn down: handles cleared, class unregistered, no quit message left for later loops.
  EXPECT_EQ(View().window, nullptr);
  EXPECT_EQ(View().statusLine, nullptr);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), kTestClass, &wc));
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(StubMainWindow, AWindowThatCannotBeCreatedEndsAsAFailedInstall) {
  // Named after a deep executable path: longer than any window class name can be.
  StubClassName = "C:\\" + std::string(300, 'd') + "\\Setup.exe";
  StubExitCode = 0;
  StubWinMain();
  EXPECT_EQ(StubExitCode, 1603u);
  EXPECT_EQ(View().window, nullptr);
  StubExitCode = 0;
}

TEST(StubMainWindow, FirstCloseOnlyAbortsTheTransferSecondCloses) {
  bool existsAfterFirst = false, abortedAfterFirst = false, endedAfterFirst = true;
  bool existsAfterSecond = true, endedAfterSecond = false;
  std::string marker;
  RunMainWindow([&](HWND window) {
    ASSERT_NE(window, nullptr);
    marker = SetupTempFolder() + "\\marker.txt";
    UniqueHandle(CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SendMessageA(window, WM_CLOSE, 0, 0);
    existsAfterFirst = IsWindow(window);
    abortedAfterFirst = DownloadAborted();
    endedAfterFirst = View().loopEnded;
    SendMessageA(window, WM_CLOSE, 0, 0);
    existsAfterSecond = IsWindow(window);
    endedAfterSecond = View().loopEnded;
  });
  EXPECT_TRUE(existsAfterFirst);
  EXPECT_TRUE(abortedAfterFirst);
  EXPECT_FALSE(endedAfterFirst);
  EXPECT_FALSE(existsAfterSecond);
  EXPECT_TRUE(endedAfterSecond);
  EXPECT_FALSE(IsFolder(SetupTempFolder())) << "the setup folder is deleted with the window";
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(StubMainWindow, StatusTextSetsFontAndDirection) {
  struct Seen {
    LONG style = 0, exStyle = 0;
    std::string text;
    LOGFONTA font{};
  };
  std::vector<Seen> seen;
  RunMainWindow([&](HWND window) {
    ASSERT_NE(window, nullptr);
    for (int charset : {177, 0, 178}) {
      SetViewStatus("Status " + std::to_string(charset), "Arial", charset, 10);  // as the work sets it
      Seen s;
      s.style = GetWindowLongA(View().statusLine, GWL_STYLE);
      s.exStyle = GetWindowLongA(View().statusLine, GWL_EXSTYLE);
      s.text = TextOf(View().statusLine);
      HFONT font = reinterpret_cast<HFONT>(SendMessageA(View().statusLine, WM_GETFONT, 0, 0));
      GetObjectA(font, sizeof s.font, &s.font);
      seen.push_back(s);
    }
    SetStatusText(nullptr, "ignored", "Arial", 0, 8);  // no status line: nothing happens
    DestroyWindow(window);
  });
  ASSERT_EQ(seen.size(), 3u);
  const int charsets[] = {177, 0, 178};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("charset " + std::to_string(charsets[i]));
    const bool rtl = charsets[i] != 0;
    EXPECT_EQ(seen[i].style, rtl ? 0x50000002 : 0x50000000);
    EXPECT_EQ(seen[i].exStyle, rtl ? WS_EX_RTLREADING : 0);
    EXPECT_EQ(seen[i].text, "Status " + std::to_string(charsets[i]));
    EXPECT_EQ(seen[i].font.lfHeight, -PointsToPixels(10));
    EXPECT_EQ(seen[i].font.lfCharSet, charsets[i]);
    EXPECT_STREQ(seen[i].font.lfFaceName, "Arial");
  }
}

// A real installation file: ZStub.exe packed by zpack with the sample engine. Its title
// comes from "s0" and a Hebrew character set lays the window out right-to-left.
class PackedStub : public ::testing::Test {
protected:
  void SetUp() override {
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, sizeof own);
    bin_ = ExtractFileDir(own);
    work_ = TempFolder(true) + "zmainwindow_test";
    CreateDirectoryA(work_.c_str(), nullptr);
  }
  void TearDown() override { DeleteTree(work_, true); }

  // Runs a program to its end; its exit code, or -1.
  static long Run(const std::string& commandLine, DWORD timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 99);
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<long>(code);
  }

  std::string Pack(const std::string& name, const std::string& language) {
    const std::string out = work_ + "\\" + name;
    const std::string command = Quote(bin_ + "\\zpack.exe") + " --stub " + Quote(bin_ + "\\ZStub.exe") + " -o " +
                                Quote(out) + " --engine " + Quote(bin_ + "\\SampleEngine.exe") +
                                " --engine-args " + Quote("/Target=" + work_ + "\\target") + " --language " +
                                Quote(language);
    EXPECT_EQ(Run(command, 60000), 0) << command;
    return out;
  }

  std::string bin_, work_;
};

TEST_F(PackedStub, TitleFromPackageAndRightToLeftLayout) {
  const std::string setup = Pack("RtlSetup.exe", "|English|s0=Packed Title|Charset=177|");
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string line = Quote(setup) + " /hide";
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  UniqueHandle process(pi.hProcess), thread(pi.hThread);

  // The class is the program's full path; wait until the creation handler has run.
  HWND window = nullptr;
  std::vector<Control> controls;
  for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(5)) {
    window = FindWindowA(setup.c_str(), nullptr);
    if (window && (controls = ControlsOf(window)).size() >= 3) break;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
  }
  ASSERT_NE(window, nullptr) << "no main window of class " << setup;
  EXPECT_EQ(TextOf(window), "Packed Title");
  ExpectLayout(controls, true);

  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}
