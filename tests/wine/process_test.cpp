// Process routines against real processes: ztestapp.exe (tools/win/ztestapp) opens the
// windows each test asks for, writes output, and ends on WM_CLOSE, WM_QUIT or a kill.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "system/ExecPipe.h"
#include "system/Files.h"
#include "system/FilesLogic.h"
#include "system/Process.h"
#include "system/ProcessViewer.h"
#include "system/TestHooks.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZSub.h"
#include "ui/ZMsgBox.h"
#include "tests/wine/TestSupport.h"

namespace {

// A copy of ztestapp under a long name in a folder with blanks, so that it has a short
// (8.3) form that differs from its long one; removed at the end.
class LongNamedCopy {
 public:
  LongNamedCopy() {
    folder_ = TempFolder(true) + "zproc long folder " + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    path_ = folder_ + "\\ztestapp_long_name.exe";
    CopyFileA(TestAppPath().c_str(), path_.c_str(), FALSE);
  }
  ~LongNamedCopy() { DeleteTree(folder_, true); }
  const std::string& path() const { return path_; }
  std::string name() const { return ExtractFileName(path_); }

 private:
  std::string folder_, path_;
};


// The Windows version the system records ("6.1" -> 601), read straight from the registry
// rather than through the version query the lookup choice is made from.
int RecordedWindowsVersion() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return 0;
  char value[32] = {};
  DWORD size = sizeof value - 1;
  RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  int major = 0, minor = 0;
  if (std::sscanf(value, "%d.%d", &major, &minor) != 2) return 0;
  return major * 100 + minor;
}

HWND g_closeTarget = nullptr;
void CALLBACK CloseTargetLater(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostMessageA(g_closeTarget, WM_CLOSE, 0, 0);
}

// A hidden window of this (the test) process, to own the windows of another one.
class HostWindow {
 public:
  HostWindow() : cls_("ZTestHost", GetModuleHandleA(nullptr)) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZTestHost";
    cls_.Register(wc);
    window_.reset(CreateWindowExA(0, "ZTestHost", "Host", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr));
  }
  HWND get() const { return window_.get(); }
  std::string handle() const { return std::to_string(reinterpret_cast<std::uintptr_t>(window_.get())); }

 private:
  ScopedWindowClass cls_;
  UniqueWindow window_;
};

}  // namespace

TEST(RunConsole, CapturesLargeOutputOfBothPipesAndTheExitCode) {
  LongNamedCopy copy;  // its path has blanks: the command line must quote it
  const DWORD handlesBefore = HandleCount();
  std::string errors, output;
  DWORD exitCode = 0;
  EXPECT_FALSE(RunConsole(copy.path(), "/out=100000 /err=40000 /exit=3", SW_HIDE, 10, errors, output, exitCode));
  EXPECT_EQ(exitCode, 3u);
  ASSERT_EQ(output.size(), 100000u);
  EXPECT_EQ(output.find_first_not_of('o'), 99999u);
  EXPECT_EQ(output.back(), '#');
  ASSERT_EQ(errors.size(), 40000u);
  EXPECT_EQ(errors.back(), '#');

  EXPECT_TRUE(RunConsole(TestAppPath(), "/out=5", SW_HIDE, 0, errors, output, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(output, "oooo#");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST(RunConsole, ReportsChildrenThatCannotStart) {
  const DWORD handlesBefore = HandleCount();
  std::string errors = "old", output = "old";
  DWORD exitCode = 0;
  EXPECT_FALSE(RunConsole("C:\\no such\\program.exe", "/x", SW_HIDE, 0, errors, output, exitCode));
  EXPECT_EQ(exitCode, 21u);
  EXPECT_EQ(output, "");
  const std::string prefix = "\"C:\\no such\\program.exe\" /x --- ";
  EXPECT_EQ(errors.substr(0, prefix.size()), prefix);
  EXPECT_GT(errors.size(), prefix.size());  // the system's reason follows

  // Only the first 256 characters of a long command line are quoted back.
  EXPECT_FALSE(RunConsole("C:\\missing.exe", std::string(1000, 'p'), SW_HIDE, 0, errors, output, exitCode));
  EXPECT_EQ(errors.substr(0, 256 + 5), ("C:\\missing.exe " + std::string(1000, 'p')).substr(0, 256) + " --- ");

  EXPECT_FALSE(RunConsole(TestAppPath(), std::string(40000, 'p'), SW_HIDE, 0, errors, output, exitCode));
  EXPECT_EQ(exitCode, 21u);
  EXPECT_EQ(errors, "Command line is too long");
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST(ProcessLookups, FindTheProgramByPathNameAndShortName) {
  LongNamedCopy copy;
  const std::string shortPath = ShortPathOf(copy.path());
  ASSERT_FALSE(shortPath.empty());
  ASSERT_FALSE(SameText(shortPath, copy.path()));
  TestApp app(copy.path(), "\"/win=ZTFind;Find me;1;\"");
  HWND window = app.WaitWindow("ZTFind");
  ASSERT_TRUE(window);

  auto lookUpAll = [&] {
    for (const std::string& exe :
         {copy.path(), shortPath, " " + copy.name() + " ", std::string("ZTESTAPP_LONG_NAME.EXE")}) {
      SCOPED_TRACE(exe);
      EXPECT_EQ(FindPidByPsapi(exe, false, false), app.pid());
      EXPECT_EQ(FindPidByPsapi(exe, false, true), app.pid());
      EXPECT_EQ(FindPidByWindows(exe), app.pid());
      EXPECT_TRUE(IsProgramRunning(exe));
    }
    EXPECT_TRUE(IsProgramRunning("\"" + copy.path() + "\""));
    // With fullPathOnly a bare name no longer matches the process-status lookup.
    EXPECT_EQ(FindPidByPsapi(copy.name(), true, false), 0u);
    EXPECT_EQ(FindPidByPsapi(copy.path(), true, false), app.pid());
    // The snapshot carries bare executable names on the NT family (Wine does the same).
    EXPECT_EQ(FindPidByToolhelp(copy.name(), false, false), app.pid());
    EXPECT_EQ(FindPidByToolhelp(copy.name(), false, true), app.pid());
    // Wine's tasklist.exe (8.0) prints nothing, so the tasklist lookup finds nothing there;
    // its reading of real output is covered by the native tests.
    EXPECT_EQ(FindPidByTasklist(copy.name(), false), 0u);

    for (const std::string& none : {std::string(""), std::string("not_running.exe"), copy.path() + ".x",
                                    "C:\\" + std::string(400, 'x') + ".exe"}) {
      SCOPED_TRACE(none);
      EXPECT_EQ(FindPidByPsapi(none, false, false), 0u);
      EXPECT_EQ(FindPidByToolhelp(none, false, false), 0u);
      EXPECT_EQ(FindPidByWindows(none), 0u);
      EXPECT_FALSE(IsProgramRunning(none));
    }
  };
  lookUpAll();  // the first round loads the process-status library
  const DWORD handlesBefore = HandleCount();
  lookUpAll();
  EXPECT_EQ(HandleCount(), handlesBefore);

  EXPECT_EQ(ExeNameOfWindow(window), copy.name());
  EXPECT_EQ(ExeNameOfWindow(nullptr), "");
  EXPECT_TRUE(IsPidAlive(app.pid()));
  EXPECT_FALSE(IsPidAlive(0xFFFFFFF0));

  const std::string pidText = std::to_string(app.pid());
  const std::string handleText = std::to_string(reinterpret_cast<std::uintptr_t>(window));
  EXPECT_EQ(SUB::GetKeyValue(ListProcessWindows(true, false), copy.name()), pidText);
  EXPECT_TRUE(SUB::ContainsItem(ListProcessWindows(false, true), copy.name() + "=" + handleText, true));
  EXPECT_TRUE(SUB::ContainsItem(ListProcessWindows(false, false), copy.name(), true));

  // One window per executable, and the enumeration stops at the target.
  TProcessData data;
  EnumWindowsData(false, copy.name(), 0, data);
  const int n = SUB::CountItems(data.names);
  ASSERT_GT(n, 0);
  EXPECT_EQ(SUB::GetItem(data.names, n - 1), copy.name());
  EXPECT_EQ(SUB::GetItem(data.pids, n - 1), pidText);
  EXPECT_EQ(SUB::GetItem(data.classes, n - 1), "ZTFind");
  EXPECT_EQ(SUB::GetItem(data.titles, n - 1), "Find me");
  EXPECT_EQ(SUB::GetItem(data.visible, n - 1), "1");
  for (const std::string* list : {&data.pids, &data.classes, &data.handles, &data.threads, &data.titles, &data.visible})
    EXPECT_EQ(SUB::CountItems(*list), n);
}

TEST(ProcessLookups, TasklistComesFromTheSystemFolderOnly) {
  // A tasklist.exe planted beside the program and in the current folder answers with a
  // process of its own making; the lookup must never start it.
  const std::string beside = ExtractFilePath(TestAppPath()) + "tasklist.exe";
  const std::string current = TempFolder(true) + "zplanted_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(current.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(TestAppPath().c_str(), beside.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(TestAppPath().c_str(), (current + "\\tasklist.exe").c_str(), FALSE));
  char previous[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(current.c_str());
  // The planted copy does answer when it is started by its bare name.
  std::string errors, output;
  DWORD exitCode = 0;
  RunConsole("tasklist.exe", "/FO csv", SW_HIDE, 1, errors, output, exitCode);
  EXPECT_NE(output.find("planted.exe"), std::string::npos) << "control: the planted copy did not run";
  EXPECT_EQ(FindPidByTasklist("planted.exe", false), 0u);
  SetCurrentDirectoryA(previous);
  DeleteFileA(beside.c_str());
  DeleteTree(current, true);
}

TEST(MainWindow, ScoringPicksTheTopOwner) {
  HostWindow host;
  ASSERT_TRUE(host.get());
  // An untitled, hidden owner of a titled window wins over a titled, visible loner.
  TestApp app(TestAppPath(), "/win=ZTOwner;;0; /win=ZTOwned;Owned;1;#0 /win=ZTSolo;Solo;1;");
  HWND owner = app.WaitWindow("ZTOwner");
  ASSERT_TRUE(app.WaitWindow("ZTSolo"));
  ASSERT_TRUE(owner);
  EXPECT_EQ(FindMainWindowOfPid(app.pid()), owner);
  // The version decides the lookup: Wine's prefix reports 6.1, so the process-status
  // library is used here; the tool-help path is reachable by asking for it, and the
  // tasklist path finds nothing under Wine (its tasklist prints nothing).
  EXPECT_EQ(MainWindowLookup(), RecordedWindowsVersion() >= 602 ? ProcessLookup::Tasklist : ProcessLookup::Psapi)
      << RecordedWindowsVersion();
  EXPECT_EQ(FindMainWindow(TestAppPath(), true, false), owner);
  EXPECT_EQ(FindMainWindowVia(ProcessLookup::Psapi, "ztestapp.exe", false, true), owner);
  EXPECT_EQ(FindMainWindowVia(ProcessLookup::Toolhelp, "ztestapp.exe", false, false), owner);
  EXPECT_EQ(FindMainWindowVia(ProcessLookup::Tasklist, "ztestapp.exe", false, false), nullptr);
  EXPECT_EQ(FindMainWindow("not_running.exe", false, false), nullptr);
  EXPECT_EQ(FindMainWindowOfPid(0), nullptr);

  // Windows owned by a window of another process: a visible one is taken; untitled,
  // hidden, owned windows alone give none (the thread's titled input-method window,
  // which Wine leaves unowned, does not count).
  TestApp visible(TestAppPath(), "/win=ZTHid;;0;" + host.handle() + " /win=ZTVis;;1;" + host.handle());
  HWND vis = visible.WaitWindow("ZTVis");
  ASSERT_TRUE(vis);
  ASSERT_TRUE(visible.WaitWindow("ZTHid"));
  EXPECT_EQ(GetWindow(vis, GW_OWNER), host.get());
  EXPECT_EQ(FindMainWindowOfPid(visible.pid()), vis);
  TestApp hidden(TestAppPath(), "/win=ZTHid2;;0;" + host.handle() + " /win=ZTHid3;;0;" + host.handle());
  ASSERT_TRUE(hidden.WaitWindow("ZTHid3"));
  EXPECT_EQ(FindMainWindowOfPid(hidden.pid()), nullptr);

  // Equal scores: the first window in enumeration order.
  TestApp twins(TestAppPath(), "/win=ZTTwinA;A;1; /win=ZTTwinB;B;1;");
  ASSERT_TRUE(twins.WaitWindow("ZTTwinA"));
  ASSERT_TRUE(twins.WaitWindow("ZTTwinB"));
  HWND first = nullptr;
  for (HWND w = GetTopWindow(nullptr); w && !first; w = GetWindow(w, GW_HWNDNEXT)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == twins.pid()) first = w;
  }
  EXPECT_EQ(FindMainWindowOfPid(twins.pid()), first);
}

TEST(MainWindow, MoreWindowsThanTheTablesHold) {
  TestApp app(TestAppPath(), "/win=ZTFirst;First;1; /many=2100");
  ASSERT_TRUE(app.WaitWindow("ZTFirst"));
  int count = 0;
  for (int tries = 0; tries < 100 && count < 2101; ++tries) {
    count = 0;
    TProcessData data;
    EnumWindowsData(true, "", 0, data);
    const std::string pidText = std::to_string(app.pid());
    for (int i = 0, n = SUB::CountItems(data.pids); i < n; ++i) count += SUB::GetItem(data.pids, i) == pidText;
    if (count < 2101) Sleep(100);
  }
  ASSERT_GE(count, 2101);
  FindMainWindowOfPid(app.pid());
  const DWORD handlesBefore = HandleCount();
  HWND best = FindMainWindowOfPid(app.pid());
  ASSERT_TRUE(best);
  DWORD pid = 0;
  GetWindowThreadProcessId(best, &pid);
  EXPECT_EQ(pid, app.pid());
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST(EndingPrograms, CloseQuitAndKill) {
  const struct {
    const char* what;
    void (*end)(const std::string&, bool);
    DWORD exitCode;
  } cases[] = {
      {"close", CloseProgram, 100000 + 15 * 1000 + 255},
      {"quit", QuitProgram, 200000 + 15 * 1000 + 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestApp app(TestAppPath(), "/win=ZTEnd;End;1;");
    ASSERT_TRUE(app.WaitWindow("ZTEnd"));
    c.end(TestAppPath(), true);
    EXPECT_EQ(app.WaitExit(10000), c.exitCode);
  }
  EXPECT_FALSE(PostProcessMessage("not_running.exe", false, WM_CLOSE, 15, 255));

  TestApp app(TestAppPath(), "/win=ZTKill;Kill;0; /stay");
  ASSERT_TRUE(app.WaitWindow("ZTKill"));
  EXPECT_TRUE(KillProgram(TestAppPath(), false));
  EXPECT_EQ(app.WaitExit(10000), 0u);
  EXPECT_FALSE(KillProgram(TestAppPath(), false));
  EXPECT_FALSE(KillProgram("", false));
}

TEST(EndingPrograms, KillByFullPathSparesAProgramOfTheSameName) {
  const std::string folder = TempFolder(true) + "zkill_other_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string otherPath = folder + "\\ztestapp.exe";
  ASSERT_TRUE(CopyFileA(TestAppPath().c_str(), otherPath.c_str(), FALSE));
  {
    TestApp mine(TestAppPath(), "/win=ZTKillMine;Mine;0;");
    ASSERT_TRUE(mine.WaitWindow("ZTKillMine"));
    // Started last: its window is the newest one of that file name.
    TestApp other(otherPath, "/win=ZTKillOther;Other;0;");
    ASSERT_TRUE(other.WaitWindow("ZTKillOther"));
    EXPECT_FALSE(KillProgram(folder + "\\elsewhere\\ztestapp.exe", true));
    EXPECT_TRUE(KillProgram(TestAppPath(), true));
    EXPECT_EQ(mine.WaitExit(10000), 0u);
    EXPECT_TRUE(other.Running());
  }
  DeleteTree(folder, true);
}

TEST(Waits, WaitUntilProgramGoneOnBothFamilies) {
  const struct {
    bool nt;
    std::int64_t minMs, maxMs;
  } notRunning[] = {{true, 1000, 1900}, {false, 2000, 2900}};
  for (const auto& c : notRunning) {
    const std::int64_t start = TickMs();
    WaitUntilProgramGoneAs(c.nt, "not_running.exe", 0);
    const std::int64_t took = TickMs() - start;
    EXPECT_GE(took, c.minMs) << c.nt;
    EXPECT_LT(took, c.maxMs) << c.nt;
  }

  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt);
    TestApp app(TestAppPath(), "/win=ZTWaitGone;W;1;");
    g_closeTarget = app.WaitWindow("ZTWaitGone");
    ASSERT_TRUE(g_closeTarget);
    // A limit ends the wait while the program still runs.
    std::int64_t start = TickMs();
    // The snapshot names executables without their folder on the NT family (and under
    // Wine), so the tool-help branch is given the file name.
    const std::string exe = nt ? TestAppPath() : "ztestapp.exe";
    WaitUntilProgramGoneAs(nt, exe, 2500);
    EXPECT_GE(TickMs() - start, 2500);
    EXPECT_LT(TickMs() - start, 4500);
    EXPECT_TRUE(app.Running());
    // Without a limit it ends when the program does; the close comes from a timer of
    // this thread, which only fires because the wait pumps messages.
    SetTimer(nullptr, 0, 1500, CloseTargetLater);
    start = TickMs();
    WaitUntilProgramGoneAs(nt, nt ? "ztestapp.exe" : exe, 0);
    EXPECT_FALSE(app.Running());
    EXPECT_LT(TickMs() - start, 6000);
    EXPECT_NE(app.WaitExit(0), STILL_ACTIVE);
  }
}

namespace {

// Ends a program and gives its process id to a new process, all inside one timer call
// of the waiting thread, so that the wait cannot look in between. Wine hands a freed id
// out again once the ids freed before it have been used; threads that end at once move
// that queue along, and the id freed just before the target's tells when it is next.
struct IdReuse {
  DWORD pid = 0;
  HWND window = nullptr;
  UniqueHandle newcomer;  // the process that got the id
};
IdReuse* g_reuse = nullptr;

DWORD WINAPI EndAtOnce(void*) { return 0; }

DWORD CycleThreadId() {
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, &id));
  WaitForSingleObject(thread.get(), 5000);
  return id;
}

void CALLBACK ReuseTheId(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  IdReuse& r = *g_reuse;
  {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, r.pid));
    PostMessageA(r.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.get(), 10000);
  }
  // While a handle to the ended process is open its id stays taken: then this gives up.
  const DWORD deadline = GetTickCount() + 8000;
  DWORD before = 0, previous = 0;
  while (before == 0 && GetTickCount() < deadline) {
    const DWORD id = CycleThreadId();
    if (id == r.pid) before = previous;
    previous = id;
  }
  for (int attempt = 0; before != 0 && attempt < 5 && !r.newcomer; ++attempt) {
    for (int i = 0; i < 20000 && CycleThreadId() != before; ++i) {
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + TestAppPath() + "\" /stay";
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    UniqueHandle started(pi.hProcess);
    if (pi.dwProcessId == r.pid) {
      r.newcomer = std::move(started);
    } else {
      TerminateProcess(started.get(), 1);
      WaitForSingleObject(started.get(), 5000);
    }
  }
}

}  // namespace

TEST(Waits, WaitUntilProgramGoneEndsWhenTheProgramDoesEvenIfItsIdIsReused) {
  IdReuse reuse;
  {
    TestApp app(TestAppPath(), "/win=ZTReuse;Reuse;1;");
    reuse.pid = app.pid();
    reuse.window = app.WaitWindow("ZTReuse");
    ASSERT_TRUE(reuse.window);
    app.Release();
  }
  g_reuse = &reuse;
  // The wait finds the program after a second; half a second later it ends.
  SetTimer(nullptr, 0, 1500, ReuseTheId);
  const std::int64_t start = TickMs();
  WaitUntilProgramGone(TestAppPath(), 40000);
  const std::int64_t took = TickMs() - start;
  g_reuse = nullptr;
  EXPECT_LT(took, 30000) << (reuse.newcomer ? "the id went to another process" : "the id was not reused");
  if (reuse.newcomer) {
    TerminateProcess(reuse.newcomer.get(), 1);
    WaitForSingleObject(reuse.newcomer.get(), 5000);
  }
}

TEST(Waits, WaitWindowGone) {
  TestApp app(TestAppPath(), "/win=ZTWaitWin;Waiting;1;");
  g_closeTarget = app.WaitWindow("ZTWaitWin");
  ASSERT_TRUE(g_closeTarget);
  // Another title, or nothing to look for: no wait at all.
  std::int64_t start = TickMs();
  WaitWindowGone("ZTWaitWin", "Other title");
  WaitWindowGone("", "");
  EXPECT_LT(TickMs() - start, 500);
  SetTimer(nullptr, 0, 500, CloseTargetLater);
  start = TickMs();
  WaitWindowGone("ZTWaitWin", "Waiting");
  EXPECT_GE(TickMs() - start, 400);
  EXPECT_FALSE(IsWindow(g_closeTarget));
  EXPECT_NE(app.WaitExit(5000), STILL_ACTIVE);
}

namespace {
// Ends batch interpreters started by a process that has gone (used only when a test fails).
void EndChildrenOf(DWORD parent) {
  UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 e;
  e.dwSize = sizeof(e);
  for (BOOL more = Process32First(snap.get(), &e); more; more = Process32Next(snap.get(), &e)) {
    if (e.th32ParentProcessID != parent) continue;
    UniqueHandle p(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, e.th32ProcessID));
    if (p) {
      TerminateProcess(p.get(), 1);
      WaitForSingleObject(p.get(), 5000);
    }
  }
}
}  // namespace

// The system's list of deletions due at its next restart.
std::string PendingRemovals() {
  HKEY key = nullptr;
  std::string list;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return list;
  DWORD size = 0;
  if (RegQueryValueExA(key, kPendingRenameValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    list.resize(size);
    if (RegQueryValueExA(key, kPendingRenameValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&list[0]),
                         &size) != ERROR_SUCCESS)
      size = 0;
    list.resize(size);
  }
  RegCloseKey(key);
  return list;
}

TEST(DeleteMySelf, NotElevatedABatchRemovesTheExitedCopyElevatedTheSystemAtRestart) {
  // Wine runs every program elevated; "/limited" starts the copy with the linked token,
  // as a user without administrator rights would.
  const struct {
    const char* sw;
    bool folderGoes;
    bool readOnly;  // as a copy from a CD is
    bool elevated;
  } cases[] = {{"/deleteselfdir", true, false, false},
               {"/deleteself", false, false, false},
               {"/deleteselfdir", true, true, false},
               {"/deleteselfdir", true, true, true},
               {"/deleteself", false, false, true}};
  const std::string batch = TempFolder(true) + "_DEL_ME_.BAT";
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sw) + (c.readOnly ? " read-only" : "") + (c.elevated ? " elevated" : ""));
    // A folder of its own for each case: the system's list keeps what earlier ones left.
    const std::string folder =
        TempFolder(true) + "zself_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++n);
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\zself copy.exe";
    ASSERT_TRUE(CopyFileA(TestAppPath().c_str(), exe.c_str(), FALSE));
    if (c.readOnly) {
      ASSERT_TRUE(SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    DeleteFileA(batch.c_str());
    DWORD pid = 0;
    {
      // The copy stays up for a moment after asking, so the batch has to wait for it.
      TestApp app(exe, std::string(c.elevated ? "" : "/limited ") + c.sw + " /win=ZTSelf;Self;0;");
      // Without elevation the window is the relaunched copy's, not the launcher's.
      g_closeTarget = nullptr;
      for (int i = 0; i < 200 && !g_closeTarget; ++i) {
        g_closeTarget = c.elevated ? app.WaitWindow("ZTSelf") : FindWindowA("ZTSelf", nullptr);
        if (!g_closeTarget) Sleep(50);
      }
      ASSERT_TRUE(g_closeTarget);
      GetWindowThreadProcessId(g_closeTarget, &pid);
      YieldWait(0, 1000);
      EXPECT_TRUE(GetFileAttributesA(exe.c_str()) != INVALID_FILE_ATTRIBUTES);
      PostMessageA(g_closeTarget, WM_CLOSE, 0, 0);
      EXPECT_NE(app.WaitExit(10000), STILL_ACTIVE);
    }
    if (c.elevated) {
      // Nothing written to or run from the user's Temp; the file, its folder when asked,
      // each listed once for the system.
      EXPECT_EQ(GetFileAttributesA(batch.c_str()), INVALID_FILE_ATTRIBUTES);
      EXPECT_NE(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES);
      const std::string list = PendingRemovals();
      EXPECT_TRUE(PendingDeleteListed(list, exe));
      EXPECT_EQ(PendingDeleteListed(list, folder), c.folderGoes);
      SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
    } else {
      bool gone = false;
      for (int i = 0; i < 150 && !gone; ++i) {
        gone = GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES &&
               (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) == c.folderGoes &&
               GetFileAttributesA(batch.c_str()) == INVALID_FILE_ATTRIBUTES;
        if (!gone) Sleep(100);
      }
      EXPECT_TRUE(gone);
      Sleep(300);  // the batch interpreter ends after deleting its batch
    }
    EndChildrenOf(pid);
    DeleteTree(folder, true);
  }
}

TEST(DeleteMySelf, ListedOnceForTheSystemHoweverOftenItEnds) {
  const std::string folder = TempFolder(true) + "zonce_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string exe = folder + "\\zonce.exe";
  ASSERT_TRUE(CopyFileA(TestAppPath().c_str(), exe.c_str(), FALSE));
  for (int run = 0; run < 2; ++run) {
    TestApp app(exe, "/deleteself");
    EXPECT_EQ(app.WaitExit(10000), 0u);
  }
  const std::string list = PendingRemovals();
  const std::string entry = std::string("\\??\\") + exe + '\0';
  std::size_t found = 0;
  for (std::size_t at = list.find(entry); at != std::string::npos; at = list.find(entry, at + 1)) ++found;
  EXPECT_EQ(found, 1u);
  DeleteTree(folder, true);
}
