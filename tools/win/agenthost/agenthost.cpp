// A sample host application of the auto-update agent: the protocol from the host's side.
//
//   agenthost.exe <agent path> <record file> [/manual] [/seconds=N]
//
// It starts the installed agent with "/WM_MSG=" + its window handle + ":" + its message
// number, receives the agent's notifications (40..43, 50, 51), reads values with
// synchronous wm_AgentMsg (types 4, 5, 7 .. 11), sets the re-ask interval (13) and writes
// back the last re-ask time it read (15), asks for a probe (type 31; value 2, a
// manual check with its boxes, with /manual; else 1, a silent one), and once the ".info"
// fetch has ended stops the agent by starting it with "/STOP=0". Each event is appended
// to the record file as a line, which the tests read:
//   start <command line>    notify <code> <value>    value <type> <result>    set <type> <value>
//   request <type> <value>  stop <command line>      done | timeout
// Exit code 0 when the agent's loop ended (notification 43), 1 on a time-out.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr UINT kClientMessage = WM_APP + 7;  // any number the host likes
constexpr UINT wm_AgentMsg = 1125;
constexpr UINT_PTR kDeadlineTimer = 1;

std::string agentPath;
std::string recordFile;
bool manualCheck = false;
HWND agentWindow = nullptr;
bool stopSent = false;
int exitCode = 1;

void Record(const std::string& line) {
  if (FILE* f = std::fopen(recordFile.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

// Starts the agent with the given switches and waits until that plain agent has ended
// (it only makes or keeps the working copy and forwards the request).
void RunAgent(const std::string& what, const std::string& switches) {
  std::string command = "\"" + agentPath + "\" " + switches;
  Record(what + " " + command);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    Record("error start " + std::to_string(GetLastError()));
    return;
  }
  // Keep answering messages meanwhile: the agent may notify at once.
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// The agent's answer is a 32-bit value (a window procedure's result cut to 32 bits).
long ReadValue(WPARAM type) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(agentWindow, wm_AgentMsg, type, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
    Record("value " + std::to_string(type) + " failed");
    return 0;
  }
  const long value = static_cast<long>(static_cast<std::int32_t>(result));
  Record("value " + std::to_string(type) + " " + std::to_string(value));
  return value;
}

void SetValue(WPARAM type, long value) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(agentWindow, wm_AgentMsg, type, static_cast<LPARAM>(value), SMTO_ABORTIFHUNG, 5000, &ignored);
  Record("set " + std::to_string(type) + " " + std::to_string(value));
}

// Reads every value, then changes the re-ask interval (type 13) and reads it back, and
// writes the last re-ask time back as it was read (type 15), as a host that saves and
// restores it would.
void ReadValues() {
  long reAskLast = 0;
  for (WPARAM type : {4, 5, 7, 8, 9, 10, 11}) {
    const long value = ReadValue(type);
    if (type == 11) reAskLast = value;
  }
  SetValue(13, 86400);
  ReadValue(9);
  SetValue(15, reAskLast);
}

void OnNotify(HWND window, WPARAM code, LPARAM value) {
  Record("notify " + std::to_string(code) + " " + std::to_string(static_cast<long>(value)));
  switch (code) {
    case 50:
      agentWindow = reinterpret_cast<HWND>(value);
      break;
    case 51:
      if (!agentWindow || value != static_cast<LPARAM>(wm_AgentMsg)) break;
      ReadValues();
      {
        const LPARAM request = manualCheck ? 2 : 1;
        Record("request 31 " + std::to_string(static_cast<long>(request)));
        PostMessageA(agentWindow, wm_AgentMsg, 31, request);
      }
      break;
    case 40:
      if (value == 2 && !stopSent) {
        stopSent = true;
        RunAgent("stop", "/STOP=0");
      }
      break;
    case 43:
      Record("done");
      exitCode = 0;
      DestroyWindow(window);
      break;
  }
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kClientMessage:
      OnNotify(window, wParam, lParam);
      return 0;
    case WM_TIMER:
      Record("timeout");
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 2;
  agentPath = __argv[1];
  recordFile = __argv[2];
  int seconds = 60;
  for (int i = 3; i < __argc; ++i) {
    const std::string arg = __argv[i];
    if (arg == "/manual") manualCheck = true;
    if (arg.rfind("/seconds=", 0) == 0) seconds = std::atoi(arg.c_str() + 9);
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = instance;
  wc.lpszClassName = "ZAgentHost";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("ZAgentHost", "Agent host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                              instance, nullptr);
  if (!window) return 2;
  SetTimer(window, kDeadlineTimer, static_cast<UINT>(seconds) * 1000, nullptr);
  RunAgent("start", "/WM_MSG=" + std::to_string(reinterpret_cast<UINT_PTR>(window)) + ":" +
                        std::to_string(kClientMessage) + " /DELAY=60");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return exitCode;
}
