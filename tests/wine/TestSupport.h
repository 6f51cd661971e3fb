#pragma once
// Small helpers shared by the tests that run under Wine.
#include <windows.h>

#include <string>
#include <vector>

#include "system/WinHandles.h"
#include "ui/StatusView.h"

// Handles this process holds, counted from the system's handle list
// (GetProcessHandleCount answers 0 under Wine).
DWORD HandleCount();

// The whole content of a file, or "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::string& name);

// A view of the test's own in place of the main window's while it lives: the windows
// and the end flag that the test sets.
struct TestView : StatusView {
  TestView() : previous(SetStatusView(this)) {}
  ~TestView() { SetStatusView(previous); }
  TestView(const TestView&) = delete;
  TestView& operator=(const TestView&) = delete;
  StatusView* previous;
};

// ztestapp.exe beside the test program.
inline std::string TestAppPath() {
  char own[MAX_PATH];
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  std::string path = own;
  return path.substr(0, path.find_last_of('\\') + 1) + "ztestapp.exe";
}

// A running ztestapp; terminated at the end of the test if it is still there.
class TestApp {
 public:
  TestApp(const std::string& exe, const std::string& args) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = "\"" + exe + "\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      process_.reset(pi.hProcess);
      CloseHandle(pi.hThread);
      pid_ = pi.dwProcessId;
    }
  }
  ~TestApp() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), 5000);
    }
  }
  DWORD pid() const { return pid_; }
  // Lets go of the process: once it ends, nothing here keeps its id from being reused.
  void Release() { process_.reset(); }
  bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // The exit code, or 259 when it has not ended within ms.
  DWORD WaitExit(DWORD ms) const {
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0) GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  // The first top-level window of this process with the class, waiting up to 10 s for it.
  HWND WaitWindow(const std::string& cls) const {
    for (int i = 0; i < 200; ++i) {
      for (HWND w = FindWindowExA(nullptr, nullptr, cls.c_str(), nullptr); w;
           w = FindWindowExA(nullptr, w, cls.c_str(), nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == pid_) return w;
      }
      Sleep(50);
    }
    return nullptr;
  }

 private:
  UniqueHandle process_;
  DWORD pid_ = 0;
};
