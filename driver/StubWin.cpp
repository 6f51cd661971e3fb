#include "driver/StubWin.h"

#include <windows.h>
#include <commctrl.h>

#include "agent/AgentCommands.h"
#include "agent/AgentStateLogic.h"
#include "agent/AgentTick.h"
#include "agent/DecisionLogic.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"
#include "driver/AgentCopy.h"
#include "system/DllSafety.h"
#include "driver/StubGlob.h"
#include "driver/StubLogic.h"
#include "internet/InetHTTP.h"
#include "package/SetupLogic.h"
#include "package/StubSetup.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/LangStrings.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

std::string StubClassName = kDefaultStubClassName;

namespace {

std::string AgentName() { return OwnFileInfo ? OwnFileInfo->AgentExeName() : std::string(); }

// The restart hands its overrides on as "/TRANSIENTx=": the copy that runs applies them,
// or they would end with the plain agent that read them.
void ApplyWorkingCopyOverrides() {
  const std::string transient = GetSwitchValue("/TRANSIENTx=");
  if (!transient.empty()) OverridesFromText(transient);
}

}  // namespace

bool NeedsSpanCopy() {
  return OwnFileInfo && OwnFileInfo->SpanCdLauncher() &&
         GetSwitchInt("/SpanCdLvl=", kSpanLauncherLevel) == kSpanLauncherLevel;
}

bool IsSpanCopy() { return GetSwitchInt("/SpanCdLvl=", kSpanLauncherLevel) == kSpanCopyLevel; }

bool ThisIs_Plain_AutoUpdate_Exe() {
  return ThisIs_AutoUpdateProg && IsAgentExeName(ProgramPath(), AgentName(), "");
}

bool ThisIs_X_AutoUpdate_Exe() {
  return ThisIs_AutoUpdateProg && IsAgentExeName(ProgramPath(), AgentName(), "X_");
}

namespace {

constexpr int kMaxWindowsOfClass = 64;     // a search of windows of one class ends here
constexpr int kDuplicateWaitMs = 3000;     // how long a duplicate copy looks for the running one
constexpr int kDuplicateWaitStepMs = 200;

// The program path the agent's names are made from: the same file started by another
// spelling of its path (8.3 names, "/", another case, a SUBST drive) must find the same
// working copy.
std::string AgentNamingPath() {
  return FinalPathOf(ProgramPath());
}

// Full path of the program a window belongs to; empty when the system does not say.
std::string ProgramOfWindow(HWND window, DWORD& pid) {
  pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (!pid) return std::string();
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::string();
  char buffer[MAX_PATH * 2];
  DWORD size = sizeof buffer;
  if (!QueryFullProcessImageNameA(process.get(), 0, buffer, &size) || size >= sizeof buffer) return std::string();
  return FinalPathOf(std::string(buffer, size));
}

}  // namespace

std::string WorkingCopyClass() { return WorkingCopyClassName(AgentName(), AgentNamingPath()); }

std::string WorkingCopyFile() { return ExtractFilePath(ProgramPath()) + "X_" + Trim(AgentName()); }

HWND FindAgentWindow(const std::string& className, const std::string& exePath) {
  const std::string wanted = FinalPathOf(exePath);
  HWND window = nullptr;
  for (int seen = 0; seen < kMaxWindowsOfClass; ++seen) {
    window = FindWindowExA(nullptr, window, className.c_str(), nullptr);
    if (!window) break;
    DWORD pid = 0;
    const std::string program = ProgramOfWindow(window, pid);
    if (!program.empty() && SameText(program, wanted)) return window;
    const std::string owner = program.empty() ? "process " + std::to_string(pid) : program;
    Output() << TracePid() << " FindAgentWindow() --- a window of " << className << " belongs to " << owner
             << EndLine;
    AgentLog("ERROR: a window of the agent's class " + className + " belongs to another program: " + owner);
  }
  return nullptr;
}

bool ClientWindowAllowed(std::int64_t window, std::int64_t message) {
  // Only the low 32 bits of a window handle are significant, on 64-bit Windows too: a
  // 32-bit host's handle arrives zero-extended and is sign-extended like Windows' own.
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(window));
  return ClientRegistrationAllowed(low, message) && IsWindow(static_cast<HWND>(LongToHandle(low)));
}

HWND FindWorkingCopyWindow() { return FindAgentWindow(WorkingCopyClass(), WorkingCopyFile()); }

bool X_ExeIsRunning() { return FindWorkingCopyWindow() != nullptr; }

void CreateAndRun_Y_Exe() {
  std::string self = ProgramPath();
  if (SetupTempFolder().empty()) {  // elevated without a protected folder: nothing is copied or run
    StubExitCode = kExitInstallFailed;
    Output() << TracePid() << " CreateAndRun_Y_Exe() --- no protected temporary folder" << EndLine;
    return;
  }
  std::string target = SpanCopyPath(SetupTempFolder(), self);
  if (!CopyFileA(self.c_str(), target.c_str(), FALSE))
    Output() << TracePid() << " CreateAndRun_Y_Exe() --- copy to " << target << " failed: " << GetLastError()
             << EndLine;
  // A copy of a file on a CD keeps its read-only attribute; the copy deletes itself at
  // the end and could not.
  ClearReadOnly(target);
  // The target is quoted: the temporary folder may hold blanks, and an unquoted path
  // with blanks lets the system try shorter names first.
  std::string command = Quote(target) + " " + SpanCopyArguments(CommandLineArgs(), self);
  UINT started = WinExec(command.c_str(), SW_HIDE);
  if (started <= 31)
    Output() << TracePid() << " CreateAndRun_Y_Exe() --- start of " << target << " failed: " << started << EndLine;
}

namespace {

// A second working copy gives the first a moment to show its window.
bool WaitForWorkingCopyWindow() {
  const std::int64_t start = TickMs();
  for (;;) {
    if (FindWorkingCopyWindow()) return true;
    if (TickMs() - start >= kDuplicateWaitMs) return false;
    YieldWait(0, kDuplicateWaitStepMs);
  }
}

}  // namespace

void DoRunStubWin() {
  AgentLog("DoRunStubWin() --- Start");
  StubClassName = StubClassNameFor(ThisIs_AutoUpdateProg, ThisIs_AutoUpdateProg ? AgentNamingPath() : ProgramPath());

  const bool xRunning = X_ExeIsRunning();
  const bool plainAgent = ThisIs_Plain_AutoUpdate_Exe();
  const bool workingCopy = ThisIs_X_AutoUpdate_Exe();
  AgentLog("X_ExeIsRunning=" + BoolToText(xRunning));
  AgentLog("ThisIs_Plain_AutoUpdate_Exe=" + BoolToText(plainAgent));
  AgentLog("ThisIs_X_AutoUpdate_Exe=" + BoolToText(workingCopy));
  if (ThisIs_AutoUpdateProg) AgentLog("Class=" + StubClassName);

  // An agent's class is known to every program: only a window of this very file counts.
  const bool ownWindow = ThisIs_AutoUpdateProg ? FindAgentWindow(StubClassName, ProgramPath()) != nullptr
                                               : FindWindowA(StubClassName.c_str(), nullptr) != nullptr;
  switch (ChooseStubRole(ownWindow, plainAgent, workingCopy, NeedsSpanCopy())) {
    case StubRole::AlreadyRunning:
      break;
    case StubRole::StartWorkingCopy:
      CreateAndRun_X_Exe(xRunning);
      break;
    case StubRole::WorkingCopy: {
      // Two plain agents started at once may both start a copy before either copy's
      // window exists: the lock lets only the first run. It goes with the process.
      const std::string lockPath = WorkingCopyLockPath(AgentName(), ProgramPath());
      UniqueHandle lock(CreateFileA(lockPath.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
      if (!lock && GetLastError() == ERROR_SHARING_VIOLATION) {
        AgentLog("Working copy already running");
        Output() << TracePid() << " DoRunStubWin() --- a working copy runs already" << EndLine;
        // The running copy runs from this very file: it is left alone. When no copy shows
        // its window, another program holds the lock (only one that may write the agent's
        // folder can): say so, and end.
        if (!WaitForWorkingCopyWindow()) {
          Output() << TracePid() << " DoRunStubWin() --- " << lockPath << " held, no working copy runs"
                   << EndLine;
          AgentLog("ERROR: the working copy's lock " + lockPath +
                   " is held, but no working copy of this agent runs: another program holds it");
          DeleteMySelf(false);
        }
        break;
      }
      // A folder where the lock cannot be made (not elevated, or a folder in its place):
      // the copy runs as it did before there was one.
      if (!lock) AgentLog("ERROR: no lock " + lockPath + ": " + LastErrorText());
      ApplyWorkingCopyOverrides();
      AgentLog("CheckTestMode");
      AgentLog(std::string("TestMode key: ") + TestModeRegistryKey(ProcessIsElevated()));
      CheckTestMode(true);
      AgentLog("WinMain");
      StubWinMain();
      AgentLog("DeleteMySelf");
      DeleteMySelf(false);
      break;
    }
    case StubRole::SpanLauncher:
      CreateAndRun_Y_Exe();
      break;
    case StubRole::PlainStub:
      StubWinMain();
      if (IsSpanCopy()) DeleteMySelf(true);
      break;
  }
  if (plainAgent) HandleParamOK(xRunning);
  AgentLog("DoRunStubWin() --- End");
}

// ---- The main window ----

namespace {

struct StubWinState {
  // The main window as the work sees it: its window, bars, status line (set by
  // SetStatusText) and end flag; handed over by StubWinMain.
  StatusView view;
  // The status line's current font; replaced (and the old one deleted) by SetStatusText,
  // deleted when the main loop has ended.
  UniqueGdiObject statusFont;
};
StubWinState state;

constexpr DWORD kMainWindowStyle = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;  // 0x02C80000
constexpr int kMainWidth = 492;
constexpr int kMainHeight = 110;
constexpr UINT_PTR kMainTimer = 1;
constexpr UINT kMainTimerMs = 1000;
constexpr DWORD kStatusStyle = WS_CHILD | WS_VISIBLE;  // 0x50000000
constexpr DWORD kStatusRtlStyle = kStatusStyle | SS_RIGHT;  // 0x50000002
constexpr int kCharsetHebrew = 177;
constexpr int kCharsetArabic = 178;

bool IsRtlCharset(int charset) { return charset == kCharsetHebrew || charset == kCharsetArabic; }

void GiveStatusFont(HWND statusLine, HFONT font) {
  if (!font) return;
  SendMessageA(statusLine, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  state.statusFont.reset(font);  // the previous font is no longer selected anywhere
}

// comctl32 is not imported at load time (it would be searched for beside the program);
// it stays loaded for the life of the process because its window classes must.
void InitCommonControlsAtRunTime() {
  static HMODULE comctl = LoadSystemLibrary("comctl32.dll");
  if (!comctl) {
    Output() << TracePid() << " StubWinMain() --- comctl32.dll not loaded" << EndLine;
    return;
  }
  auto init = Z_PROC(comctl, InitCommonControlsEx);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  if (!init || !init(&icc)) Output() << TracePid() << " StubWinMain() --- InitCommonControlsEx failed" << EndLine;
}

void CreateControls(HWND window) {
  state.view.window = window;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const bool rtl = IsRtlCharset(TGFileInfo(ProgramPath()).GetLangCharset());
  // The right-to-left status line is right-aligned from the start, not only once a text is set.
  state.view.statusLine =
      CreateWindowExA(rtl ? WS_EX_RTLREADING : 0, "Static", "", rtl ? kStatusRtlStyle : kStatusStyle,
                      rtl ? 122 : 70, 20, 340, 18, window, nullptr, instance, nullptr);
  state.view.progressBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13,
                                           window, nullptr, instance, nullptr);
  state.view.activityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, rtl ? 70 : 416, 20, 46, 13,
                                           window, nullptr, instance, nullptr);
  SetTimer(window, kMainTimer, kMainTimerMs, nullptr);
  if (state.view.statusLine)
    GiveStatusFont(state.view.statusLine,
                   CreateFontA(-11, 0, 0, 0, FW_DONTCARE, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma"));
}

void PaintMainWindow(HWND window) {
  HDC dc = GetDC(window);
  if (!dc) return;
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon")) DrawIcon(dc, 18, 20, icon);
  ReleaseDC(window, dc);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls(window);
      break;
    case WM_DESTROY:
      Output() << TracePid() << " - wm_Destroy -" << EndLine;
      DestroyMainWindow();
      // the controls go with it
      state.view.window = state.view.statusLine = state.view.progressBar = state.view.activityBar = nullptr;
      break;
    case WM_QUIT:
      Output() << TracePid() << " - wm_Quit -" << EndLine;
      DestroyMainWindow();
      break;
    case WM_PAINT:
      PaintMainWindow(window);
      break;  // default processing validates the window
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_TIMER:
      if (ThisIs_AutoUpdateProg)
        AgentTimerTick();
      else
        TimerTick(window);
      break;
    case wm_ShutDown:
      Agent.StopCode = static_cast<std::int32_t>(wParam);
      RequestAgentStop(Agent.StopCode == 0);
      Output() << TracePid() << " wm_ShutDown StopCode=" << Agent.StopCode << EndLine;
      break;
    case wm_LocalMsg:
      // Any program may post this: the elevated agent would post to whatever it names.
      if (!ClientWindowAllowed(static_cast<std::int64_t>(wParam), lParam)) {
        Output() << TracePid() << " wm_LocalMsg refused: " << wParam << ":" << lParam << EndLine;
        AgentLog("ERROR: wm_LocalMsg refused (no window, a broadcast or a system message): " +
                 std::to_string(wParam) + ":" + std::to_string(lParam));
        break;
      }
      RegisterClient(static_cast<HWND>(LongToHandle(static_cast<LONG>(wParam))), static_cast<UINT>(lParam));
      Output() << TracePid() << " wm_LocalMsg client=" << wParam << ":" << lParam << EndLine;
      NotifyClient(kNotifyWindow, reinterpret_cast<LPARAM>(window));
      NotifyClient(kNotifyAgentMsg, wm_AgentMsg);
      break;
    case wm_AgentMsg:
      return AgentCommand(static_cast<std::int32_t>(wParam), static_cast<std::int32_t>(lParam));
    default:
      if (message != 0 && message == AutoPlayCancelMessage()) return 1;  // cancel AutoPlay
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void SetStatusText(HWND statusLine, const std::string& text, const std::string& fontName, int charset,
                   int fontSize) {
  if (!statusLine || !IsWindow(statusLine)) return;
  const bool rtl = IsRtlCharset(charset);
  SetWindowLongA(statusLine, GWL_EXSTYLE, rtl ? WS_EX_RTLREADING : 0);
  SetWindowLongA(statusLine, GWL_STYLE, rtl ? kStatusRtlStyle : kStatusStyle);
  GiveStatusFont(statusLine, CreateFontA(-PointsToPixels(fontSize), 0, 0, 0, FW_DONTCARE, 0, 0, 0,
                                         static_cast<DWORD>(charset), 0, 0, 0, 0, fontName.c_str()));
  SetWindowTextA(statusLine, text.c_str());
}

bool CloseMainWindow() {
  AgentLog(".. CloseMainWindow() - Start");
  const bool result = DownloadAborted();
  if (!result) SetDownloadAborted(true);
  AgentLog(".. CloseMainWindow() - End");
  return result;
}

void DestroyMainWindow() {
  AgentLog(".. DestroyMainWindow() - Start");
  SetDownloadAborted(true);
  // Thousands of extracted files take seconds to remove: the window would stay that long.
  if (!InstallWorkRunning) DeleteTree(SetupTempFolder(), true);
  PostQuitMessage(0);
  state.view.loopEnded = true;
  AgentLog(".. DestroyMainWindow() - End");
}

void StubWinMain() {
  state.view.loopEnded = false;
  state.view.setStatus = SetStatusText;
  SetStatusView(&state.view);  // stays: the end of the loop is asked after it too
  ApplyStartDelay(Agent, GetSwitchInt("/SleepX=", -1));
  HINSTANCE instance = GetModuleHandleA(nullptr);
  InitCommonControlsAtRunTime();

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.lpszClassName = StubClassName.c_str();
  ScopedWindowClass windowClass(wc.lpszClassName, instance);
  if (!windowClass.Register(wc))
    Output() << TracePid() << " StubWinMain() --- RegisterClassEx failed: " << GetLastError() << EndLine;

  int left = 0, top = 0;
  CenterInWorkArea(kMainWidth, kMainHeight, left, top);
  TGFileInfo info(ProgramPath());
  const std::string title = info.GetLangString("s0", lang::kS0);
  HWND window = CreateWindowExA(0, wc.lpszClassName, title.c_str(), kMainWindowStyle, left, top, kMainWidth,
                                kMainHeight, nullptr, nullptr, instance, nullptr);
  SetMsgBoxFont(info.GetLangFontName(), info.GetLangFontSize(), info.GetLangCharset());

  if (window) {
    ShowWindow(window, SW_HIDE);
    MSG msg;
    // GetMessage gives -1 on an error: a loop on "not 0" would never end.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (state.view.loopEnded) break;
    }
  } else {
    Output() << TracePid() << " StubWinMain() --- CreateWindowEx failed: " << GetLastError() << EndLine;
    // Nothing ran: the caller must not take this for a finished installation.
    StubExitCode = kExitInstallFailed;
  }

  if (window) KillTimer(window, kMainTimer);
  SetDownloadAborted(true);
  // The loop may end on a quit message with the window still there: take it down now
  // (the class is unregistered next). Then drop the quit message the tear-down posts, so
  // that later waits and boxes of this thread are not cut short by it.
  if (window && IsWindow(window)) DestroyWindow(window);
  MSG quit;
  while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  state.view.window = state.view.statusLine = state.view.progressBar = state.view.activityBar = nullptr;
  state.statusFont.reset();
  HTTP_UnloadWinINet();
  NotifyClient(kNotifyLoopEnded, 0);
}
