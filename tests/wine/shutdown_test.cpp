// ShutDownProcess on real processes: a copy of ztestapp.exe with a window, stopped by each
// method; the waits end when the program ends, a stop is requested or the main loop ended.
#include <gtest/gtest.h>
#include <windows.h>

#include "agent/ShutDown.h"
#include "agent/ShutDownLogic.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinUtils.h"
#include "tests/wine/TestSupport.h"

namespace {

// ztestapp under its own name in its own folder, so no other run's copy matches its path.
class HostCopy {
 public:
  explicit HostCopy(const std::string& tag = "") {
    folder_ = TempFolder(true) + "zshutdown" + tag + " " + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    path_ = folder_ + "\\SampleHost.exe";
    CopyFileA(TestAppPath().c_str(), path_.c_str(), FALSE);
  }
  ~HostCopy() { DeleteTree(folder_, true); }
  const std::string& path() const { return path_; }

 private:
  std::string folder_, path_;
};

int g_boxesSeen = 0;
std::string g_boxText;
// Answers each message box of this process with its first button; on the second box the
// program is closed, so the loop of boxes ends.
void CALLBACK AnswerBoxes(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowA("ZMsgBox", nullptr);
  if (!box || !IsWindowVisible(box)) return;
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  if (pid != GetCurrentProcessId()) return;
  HWND text = FindWindowExA(box, nullptr, "RICHEDIT", nullptr);
  char buf[512] = "";
  if (text) GetWindowTextA(text, buf, sizeof(buf));
  g_boxText = buf;
  if (++g_boxesSeen == 2) PostMessageA(FindWindowA("ZShutHost", nullptr), WM_CLOSE, 0, 0);
  if (HWND button = FindWindowExA(box, nullptr, "Button", nullptr)) PostMessageA(button, BM_CLICK, 0, 0);
}
void CALLBACK StopLater(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  RequestAgentStop(true);
}

struct Row {
  const char* method;
  bool stopped;     // ShutDownProcess's result
  DWORD exitCode;   // of the host; STILL_ACTIVE: still running afterwards
  bool stopTimer;   // a stop is requested after 1.5 s
};

TEST(ShutDownProcess, EachMethod) {
  const Row rows[] = {
      {"Using WM_CLOSE", true, 100000 + 15 * 1000 + 255, false},
      {"Using WM_QUIT", true, 200000 + 15 * 1000 + 255, false},
      {"Using Terminate Process", true, 0, false},
      {"Issue a Message Box", true, 100000, false},    // closed by the "user" after two boxes
      {"Don't Shut Down", false, STILL_ACTIVE, false},  // no wait at all
      {"", false, STILL_ACTIVE, true},                  // waits until the stop request
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    HostCopy host;
    TestApp app(host.path(), "/win=ZShutHost;Sample Host;1");
    ASSERT_TRUE(app.WaitWindow("ZShutHost"));
    RequestAgentStop(false);
    g_boxesSeen = 0;
    UINT_PTR answer = SetTimer(nullptr, 0, 400, AnswerBoxes);
    if (row.stopTimer) SetTimer(nullptr, 0, 1500, StopLater);
    const std::int64_t start = TickMs();
    ShutDownBox box{"Please close PROG_NAME now.", "Attention", "", 0};
    EXPECT_EQ(ShutDownProcess(host.path(), row.method, box), row.stopped);
    const std::int64_t elapsed = TickMs() - start;
    KillTimer(nullptr, answer);
    EXPECT_EQ(app.WaitExit(row.exitCode == STILL_ACTIVE ? 0 : 5000), row.exitCode);
    if (ShutDownKindOf(row.method) == ShutDownKind::AskInBox) {
      EXPECT_EQ(g_boxesSeen, 2);
      EXPECT_NE(g_boxText.find("Please close SampleHost.exe now."), std::string::npos) << g_boxText;
    }
    if (ShutDownKindOf(row.method) == ShutDownKind::DontShutDown) {
      EXPECT_LT(elapsed, 1000);
    }
    if (row.stopTimer) {
      EXPECT_GE(elapsed, 1400);
    }
  }
  RequestAgentStop(false);
}

TEST(ShutDownProcess, EndedMainLoopEndsTheWait) {
  HostCopy host;
  TestApp app(host.path(), "/win=ZShutHost;Sample Host;1");
  ASSERT_TRUE(app.WaitWindow("ZShutHost"));
  RequestAgentStop(false);
  TestView view;  // the main window's loop has ended
  view.loopEnded = true;
  const std::int64_t start = TickMs();
  EXPECT_FALSE(ShutDownProcess(host.path(), "Issue a Message Box", ShutDownBox{"x", "", "", 0}));
  EXPECT_LT(TickMs() - start, 1000);
  EXPECT_TRUE(app.Running());
}

// A program of the same file name in another folder is not touched: matching is by full path.
TEST(ShutDownProcess, OtherFolderUntouched) {
  HostCopy host, otherCopy("other");
  TestApp other(otherCopy.path(), "/win=ZShutHost;Other;1");
  ASSERT_TRUE(other.WaitWindow("ZShutHost"));
  RequestAgentStop(false);
  for (const char* method : {"Using WM_CLOSE", "Using WM_QUIT", "Using Terminate Process"})
    EXPECT_TRUE(ShutDownProcess(host.path(), method, ShutDownBox{})) << method;  // not running: nothing to wait for
  EXPECT_TRUE(other.Running());
}

}  // namespace
namespace {

// Ours and a program of the same file name elsewhere both run: only ours is stopped.
void OnlyOursStops(const char* method) {
  HostCopy host, otherCopy("other");
  TestApp other(otherCopy.path(), "/win=ZShutHost;Other;1");
  ASSERT_TRUE(other.WaitWindow("ZShutHost"));
  Sleep(300);  // ours is the newer window, as a name match would prefer it too
  TestApp app(host.path(), "/win=ZShutHost;Sample Host;1");
  ASSERT_TRUE(app.WaitWindow("ZShutHost"));
  RequestAgentStop(false);
  SetTimer(nullptr, 0, 3000, StopLater);  // a wrong match would wait for ever
  EXPECT_TRUE(ShutDownProcess(host.path(), method, ShutDownBox{}));
  EXPECT_TRUE(other.Running());
  EXPECT_FALSE(app.Running());
  RequestAgentStop(false);
}

TEST(ShutDownProcess, SameNameElsewhereCloseQuit) {
  OnlyOursStops("Using WM_CLOSE");
  OnlyOursStops("Using WM_QUIT");
}
TEST(ShutDownProcess, SameNameElsewhereTerminate) { OnlyOursStops("Using Terminate Process"); }

}  // namespace
