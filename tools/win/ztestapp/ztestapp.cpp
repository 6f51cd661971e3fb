// A program for the process tests. Switches (any order, each may repeat where it makes sense):
//   /win=class;title;visible;owner  a top-level window; visible 1 or 0; owner empty, "#n"
//                                    (the n-th window made here, from 0) or a window handle
//   /many=N        N hidden, untitled windows of class "ZTestMany"
//   /out=N /err=N  N bytes to standard output / error, each in one write
//   /exit=N        exit code when the program ends by itself
//   /stay          keep running without windows until killed
//   /shell         make the last window made here the desktop's shell window (stand-in for
//                  the user's shell, whose token an elevated program starts things with)
//   /limited       (first) start this program again with the rest of the arguments and
//                  the token without administrator rights (the linked token; an
//                  elevated program's desktop user), wait for it and end with its code
//   /elevation=FILE  append "elevated" or "limited" (this process's token) to FILE
//   /lock=PATH     open (or create) PATH unshared and hold it until the end
//   /mutex=NAME    create (and hold) the named mutex
//   /post=class;message;wparam;lparam   post the message (decimal numbers) to the first
//                  top-level window of the class, as any program of the session can
//   /record=FILE   append the rest of the command line (one line) to FILE: the stand-in
//                  handler of web addresses records what the shell handed it
//   /deleteself /deleteselfdir   remove the own file (and folder) after the end
//   /FO            answers like tasklist.exe ("/FO csv"): a list naming "planted.exe"
//                  with id 4242, so a copy planted as tasklist.exe shows when it ran
// Started without arguments, it takes them from the file beside it with its name and the
// extension ".args" (one a line), so a program started again by its bare path (the
// agent's restart after an update) comes up as it was first started.
// Exit codes: WM_CLOSE to any window 100000 + wParam * 1000 + lParam, WM_QUIT
// 200000 + wParam * 1000 + lParam.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "system/Files.h"

namespace {

bool g_closed = false;
int g_closeCode = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    g_closed = true;
    g_closeCode = 100000 + static_cast<int>(wParam) * 1000 + static_cast<int>(lParam);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClassOnce(const std::string& name) {
  static std::set<std::string> done;
  if (!done.insert(name).second) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = done.find(name)->c_str();
  RegisterClassExA(&wc);
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t p = text.find(sep, start);
    parts.push_back(text.substr(start, p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return parts;
}

void WriteBytes(DWORD which, long count, char fill) {
  if (count <= 0) return;
  std::string data(static_cast<std::size_t>(count), fill);
  // A recognisable end, so a reader can tell that nothing was lost at the tail.
  data.back() = '#';
  DWORD written = 0;
  WriteFile(GetStdHandle(which), data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

// The arguments of the command line, or those of the ".args" file when there are none.
std::vector<std::string> Arguments() {
  std::vector<std::string> args(__argv + 1, __argv + __argc);
  if (!args.empty()) return args;
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string argsFile = path;
  const std::size_t dot = argsFile.find_last_of('.');
  argsFile = argsFile.substr(0, dot == std::string::npos ? argsFile.size() : dot) + ".args";
  for (std::string line : Split(ReadFilePart(argsFile), '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) args.push_back(line);
  }
  return args;
}

// The command line after the first argument, as given.
std::string RestOfCommandLine() {
  const char* line = GetCommandLineA();
  bool quoted = false;
  for (; *line && (quoted || (*line != ' ' && *line != '\t')); ++line)
    if (*line == '"') quoted = !quoted;
  while (*line == ' ' || *line == '\t') ++line;  // the blanks after the program
  for (; *line && *line != ' '; ++line) {        // the first argument
  }
  return line;
}

int RunLimited() {
  HANDLE own = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD length = 0;
  HANDLE primary = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) ||
      !GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &length) ||
      !DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                        &primary))
    return 5;
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string line = "\"" + std::string(path) + "\"" + RestOfCommandLine();
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child{};
  if (!CreateProcessAsUserA(primary, nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &child))
    return 6;
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 7;
  GetExitCodeProcess(child.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<HWND> windows;
  int exitCode = 0;
  bool stay = false;
  const std::vector<std::string> args = Arguments();
  if (!args.empty() && args[0] == "/limited") return RunLimited();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](const char* name) -> const char* {
      const std::size_t n = std::strlen(name);
      return arg.compare(0, n, name) == 0 ? arg.c_str() + n : nullptr;
    };
    if (const char* v = value("/win=")) {
      std::vector<std::string> f = Split(v, ';');
      f.resize(4);
      RegisterClassOnce(f[0]);
      HWND owner = nullptr;
      if (!f[3].empty() && f[3][0] == '#') {
        std::size_t k = std::strtoul(f[3].c_str() + 1, nullptr, 10);
        if (k < windows.size()) owner = windows[k];
      } else if (!f[3].empty()) {
        owner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoul(f[3].c_str(), nullptr, 10)));
      }
      HWND w = CreateWindowExA(0, f[0].c_str(), f[1].c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, owner, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
      if (w && f[2] == "1") ShowWindow(w, SW_SHOWNOACTIVATE);
      windows.push_back(w);
    } else if (const char* v = value("/many=")) {
      RegisterClassOnce("ZTestMany");
      long n = std::strtol(v, nullptr, 10);
      for (long k = 0; k < n; ++k)
        CreateWindowExA(0, "ZTestMany", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
      stay = true;
    } else if (const char* v = value("/out=")) {
      WriteBytes(STD_OUTPUT_HANDLE, std::strtol(v, nullptr, 10), 'o');
    } else if (const char* v = value("/err=")) {
      WriteBytes(STD_ERROR_HANDLE, std::strtol(v, nullptr, 10), 'e');
    } else if (const char* v = value("/exit=")) {
      exitCode = std::atoi(v);
    } else if (const char* v = value("/record=")) {
      std::string line;
      for (std::size_t k = i + 1; k < args.size(); ++k) line += std::string(k > i + 1 ? " " : "") + args[k];
      line += "\r\n";
      HANDLE file = CreateFileA(v, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
      DWORD written = 0;
      if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
      }
      break;
    } else if (arg == "/FO") {
      const std::string list = "\"Image Name\",\"PID\"\r\n\"planted.exe\",\"4242\"\r\n";
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), list.data(), static_cast<DWORD>(list.size()), &written, nullptr);
    } else if (const char* v = value("/elevation=")) {
      HANDLE token = nullptr;
      TOKEN_ELEVATION elevation{};
      DWORD length = 0;
      const bool elevated =
          OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
          GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &length) &&
          elevation.TokenIsElevated;
      const std::string line = elevated ? "elevated\r\n" : "limited\r\n";
      HANDLE file = CreateFileA(v, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
      DWORD written = 0;
      if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
      }
    } else if (const char* v = value("/lock=")) {
      // held until the process ends
      if (CreateFileA(v, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr) == INVALID_HANDLE_VALUE)
        exitCode = 8;
    } else if (const char* v = value("/mutex=")) {
      CreateMutexA(nullptr, FALSE, v);  // held until the process ends
    } else if (const char* v = value("/post=")) {
      std::vector<std::string> f = Split(v, ';');
      f.resize(4);
      HWND target = FindWindowA(f[0].c_str(), nullptr);
      if (target)
        PostMessageA(target, static_cast<UINT>(std::strtoul(f[1].c_str(), nullptr, 10)),
                     static_cast<WPARAM>(std::strtoull(f[2].c_str(), nullptr, 10)),
                     static_cast<LPARAM>(std::strtoll(f[3].c_str(), nullptr, 10)));
      else
        exitCode = 3;
    } else if (arg == "/stay") {
      stay = true;
    } else if (arg == "/shell") {
      // Not in the SDK headers: looked up in user32.
      using SetShellWindowProc = BOOL(WINAPI*)(HWND);
      const auto setShell = reinterpret_cast<SetShellWindowProc>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetShellWindow")));
      if (windows.empty() || !setShell || !setShell(windows.back())) exitCode = 4;
    } else if (arg == "/deleteself" || arg == "/deleteselfdir") {
      DeleteMySelf(arg == "/deleteselfdir");
    }
  }
  if (windows.empty() && !stay) return exitCode;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (g_closed) return g_closeCode;
  return 200000 + static_cast<int>(msg.wParam) * 1000 + static_cast<int>(msg.lParam);
}
