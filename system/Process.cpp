#include "system/Process.h"

#include <memory>
#include <vector>

#include "system/Files.h"
#include "system/ProcessViewer.h"
#include "system/TestHooks.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "system/Pump.h"

namespace {

BOOL CALLBACK AddToAnalizer(HWND window, LPARAM param) {
  // Every GUI thread gets a titled input-method window; it is never the program's main
  // window, yet its title would outscore an owned, visible window of the program.
  const std::string cls = WindowClassName(window);
  if (SameText(cls, "IME") || SameText(cls, "MSCTFIME UI")) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  reinterpret_cast<TAnalizer*>(param)->Add(reinterpret_cast<TAnalizer::Window>(window), pid);
  return TRUE;
}

HWND AsWindow(TAnalizer::Window w) { return reinterpret_cast<HWND>(w); }

}  // namespace

ProcessLookup MainWindowLookup() {
  if (!IsWindowsNT()) return ProcessLookup::Toolhelp;
  // Wine reports the version its prefix is set to (6.1 for the test bench's default).
  return IsWindows8OrLater() ? ProcessLookup::Tasklist : ProcessLookup::Psapi;
}

bool IsProgramRunning(const std::string& exe) {
  const std::string name = Unquote(exe);
  if (IsWindowsNT()) return FindPidByWindows(name) != 0;
  return FindPidByToolhelp(name, false, false) != 0;
}

void WaitUntilProgramGoneAs(bool ntFamily, const std::string& exe, DWORD timeoutMs) {
  const std::string name = Unquote(exe);
  const std::int64_t start = TickMs();
  auto timedOut = [&] { return timeoutMs != 0 && TickMs() - start >= static_cast<std::int64_t>(timeoutMs); };
  YieldWait(0, 1000);
  if (ntFamily) {
    const DWORD pid = FindPidByWindows(name);
    if (pid == 0) return;
    // The process object, not its id: an id is given to another process once this one
    // has ended, and a wait on the id would then never end.
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    auto alive = [&] { return process ? WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT : IsPidAlive(pid); };
    do {
      YieldWait(0, 1000);
    } while (!timedOut() && alive());
  } else {
    do {
      YieldWait(0, 1000);
    } while (!timedOut() && FindPidByToolhelp(name, false, false) != 0);
  }
}

void WaitUntilProgramGone(const std::string& exe, DWORD timeoutMs) {
  WaitUntilProgramGoneAs(IsWindowsNT(), exe, timeoutMs);
}

void WaitWindowGone(const std::string& className, const std::string& title) {
  // Without a class and a title any window would do: that wait would never end.
  if (className.empty() && title.empty()) return;
  const char* cls = className.empty() ? nullptr : className.c_str();
  const char* text = title.empty() ? nullptr : title.c_str();
  while (FindWindowA(cls, text)) {
    YieldX(0);
    Sleep(100);
  }
}

HWND FindMainWindowOfPid(DWORD pid) {
  if (pid == 0) return nullptr;
  // 2001 windows in two tables: too large for the stack of a caller deep in a wait.
  auto analizer = std::make_unique<TAnalizer>();
  analizer->Reset(pid);
  EnumWindows(AddToAnalizer, reinterpret_cast<LPARAM>(analizer.get()));
  analizer->Score([](TAnalizer::Window w) { return reinterpret_cast<TAnalizer::Window>(TopOwner(AsWindow(w))); },
                  [](TAnalizer::Window w) { return GetWindowTextLengthA(AsWindow(w)) > 0; },
                  [](TAnalizer::Window w) { return IsWindowVisible(AsWindow(w)) != 0; });
  return AsWindow(analizer->Best());
}

HWND FindMainWindowVia(ProcessLookup lookup, const std::string& exe, bool fullPathOnly, bool fromEnd) {
  DWORD pid = 0;
  switch (lookup) {
    case ProcessLookup::Tasklist:
      pid = FindPidByTasklist(exe, fromEnd);
      break;
    case ProcessLookup::Psapi:
      pid = FindPidByPsapi(exe, fullPathOnly, fromEnd);
      break;
    case ProcessLookup::Toolhelp:
      pid = FindPidByToolhelp(exe, fullPathOnly, fromEnd);
      break;
  }
  return FindMainWindowOfPid(pid);
}

HWND FindMainWindow(const std::string& exe, bool fullPathOnly, bool fromEnd) {
  return FindMainWindowVia(MainWindowLookup(), exe, fullPathOnly, fromEnd);
}

bool PostProcessMessage(const std::string& exe, bool fullPathOnly, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FindMainWindow(exe, fullPathOnly, false);
  Output() << "Wnd=" << reinterpret_cast<std::uintptr_t>(window) << EndLine;
  if (!window) return false;
  PostMessageA(window, message, wParam, lParam);
  return true;
}

void CloseProgram(const std::string& exe, bool fullPathOnly) {
  PostProcessMessage(exe, fullPathOnly, WM_CLOSE, 15, 255);
}

void QuitProgram(const std::string& exe, bool fullPathOnly) { PostProcessMessage(exe, fullPathOnly, WM_QUIT, 15, 255); }

bool KillProgram(const std::string& exe, bool fullPathOnly) {
  // The window list knows file names only; "full path only" must not end another
  // program that merely has the same name, so then the process-status library decides.
  DWORD pid = 0;
  if (!IsWindowsNT())
    pid = FindPidByToolhelp(exe, fullPathOnly, false);
  else
    pid = fullPathOnly ? FindPidByPsapi(exe, true, false) : FindPidByWindows(exe);
  Output() << "PID=" << pid << "\t   Exists=" << BoolToText(FileExists(exe)) << "\t  >" << exe << "<" << EndLine;
  if (pid == 0) return false;
  UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  return process && TerminateProcess(process.get(), 0);
}

UniqueHandle DesktopUserToken() {
  if (!ProcessIsElevated()) return UniqueHandle();
  HWND shell = GetShellWindow();
  DWORD pid = 0;
  if (!shell || !GetWindowThreadProcessId(shell, &pid) || pid == 0) return UniqueHandle();
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  UniqueHandle shellToken;
  if (!process || !OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, shellToken.receive()))
    return UniqueHandle();
  // Unknown counts as elevated, and as another session.
  TOKEN_ELEVATION elevation{1};
  DWORD shellSession = ~0UL, ownSession = ~1UL, length = 0;
  GetTokenInformation(shellToken.get(), TokenElevation, &elevation, sizeof elevation, &length);
  GetTokenInformation(shellToken.get(), TokenSessionId, &shellSession, sizeof shellSession, &length);
  ProcessIdToSessionId(GetCurrentProcessId(), &ownSession);
  if (const char* refusal = ShellTokenRefusal(elevation.TokenIsElevated != 0, shellSession, ownSession)) {
    Output() << "DesktopUserToken: refused, " << refusal << EndLine;
    return UniqueHandle();
  }
  UniqueHandle primary;
  const DWORD access =
      TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
  if (!DuplicateTokenEx(shellToken.get(), access, nullptr, SecurityImpersonation, TokenPrimary,
                        primary.receive()))
    return UniqueHandle();
  return primary;
}

UniqueHandle StartWithToken(HANDLE token, const std::string& commandLine, int showState,
                            const std::string& applicationName) {
  // Wide texts in plain vectors, each ending in a null: std::wstring would pull a large part of
  // the wide library into the stub.
  const auto wide = [](const std::string& text) {
    std::vector<wchar_t> out(text.size() + 1, L'\0');
    if (!text.empty() && MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                             out.data(), static_cast<int>(out.size())) <= 0)
      out.assign(1, L'\0');
    return out;
  };
  std::vector<wchar_t> line = wide(commandLine);  // the call may write into its command line
  const std::vector<wchar_t> application = wide(applicationName);
  if (line[0] == L'\0') return UniqueHandle();
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION started{};
  if (!CreateProcessWithTokenW(token, 0, application[0] == L'\0' ? nullptr : application.data(), line.data(),
                               0, nullptr, nullptr, &startup, &started))
    return UniqueHandle();
  UniqueHandle thread(started.hThread);
  return UniqueHandle(started.hProcess);
}
