#include "driver/AgentCopy.h"

#include <windows.h>

#include "agent/SetupRecordsLogic.h"
#include "driver/StubGlob.h"
#include "driver/StubLogic.h"
#include "driver/StubWin.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr int kCopyStartWaitMs = 3000;
constexpr int kCopyStartStepMs = 200;
constexpr WPARAM kPerformUpdateCycle = 31;  // agent command: probe now
constexpr WPARAM kStopAfterTest = 2;        // StopCode for a copy started only for the test

std::string AgentName() { return OwnFileInfo ? OwnFileInfo->AgentExeName() : std::string(); }

// The requests go to the copy's main window, found by its class and its program: a
// process's "main window" picked by title and visibility may be one of its message boxes
// or a hidden window of a system library, and a request posted there is lost; a window of
// the class made by another program must not receive them (FindAgentWindow).
HWND WorkingCopyWindow() { return FindWorkingCopyWindow(); }

void PostToWorkingCopy(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = WorkingCopyWindow();
  Output() << TracePid() << " Wnd=" << reinterpret_cast<std::uintptr_t>(window) << EndLine;
  if (window) PostMessageA(window, message, wParam, lParam);
}

// The copy's process runs before its window exists; the requests need the window.
void WaitForCopyWindow() {
  const std::int64_t start = TickMs();
  while (TickMs() - start < kCopyStartWaitMs) {
    if (WorkingCopyWindow()) return;
    YieldWait(0, kCopyStartStepMs);
  }
}

}  // namespace

bool CreateAndRun_X_Exe(bool xExeIsRunning) {
  AgentLog("CreateAndRun_X_Exe() --- Start");
  const std::string zz = GetSwitchValue("/_ZZ=");
  Output() << TracePid() << " CreateAndRun_X_Exe-1 " << zz << EndLine;
  const std::string self = ProgramPath();
  if (ThisIs_AutoUpdateProg && !(xExeIsRunning && zz != "99") && IsAgentExeName(self, AgentName(), "")) {
    Output() << TracePid() << " CreateAndRun_X_Exe-2" << EndLine;
    const std::int64_t wait = GetSwitchInt("/WAIT=", 0);
    AgentLog("Wait " + std::to_string(wait) + " SEC");
    const int waitMs = WorkingCopyWaitMs(wait);
    if (waitMs > 0) YieldWait(0, waitMs);

    const std::string target = WorkingCopyPath(self);
    // A copy still running keeps its file: the old file is started again then.
    if (!CopyFileA(self.c_str(), target.c_str(), FALSE))
      Output() << TracePid() << " CreateAndRun_X_Exe() --- copy to " << target << " failed: " << GetLastError()
               << EndLine;
    AgentLog("Create X_ File ");
    const std::string parameters =
        WorkingCopyParameters(GetSwitchValue("/TRANSIENT="), GetSwitchValue("/DELAY="));
    AgentLog("WinExec: " + target + parameters);
    // Quoted: a blank in the folder would let the system try shorter names first.
    const UINT started = WinExec((Quote(target) + parameters).c_str(), SW_HIDE);
    if (started <= 31)
      Output() << TracePid() << " CreateAndRun_X_Exe() --- start of " << target << " failed: " << started
               << EndLine;
    else if (!CommandLineArgs().empty())
      WaitForCopyWindow();
  }
  AgentLog("CreateAndRun_X_Exe() --- End");
  return xExeIsRunning;
}

bool HandleParamOK(bool xExeIsRunning) {
  AgentLog("HandleParamOK() --- Start");
  const std::string xPath = WorkingCopyPath(ProgramPath());
  bool forwarded = false;

  const std::int64_t stop = GetSwitchInt("/STOP=", -1);
  if (stop >= 0 && FileExists(xPath)) {
    AgentLog("PostProcessMessage(wm_ShutDown) to: " + xPath);
    PostToWorkingCopy(wm_ShutDown, static_cast<WPARAM>(stop), 0);
    forwarded = true;
  }

  const std::string client = GetSwitchValue("/WM_MSG=");
  if (!client.empty() && FileExists(xPath)) {
    const ClientSwitch parsed = ParseClientSwitch(client);
    if (!ClientWindowAllowed(parsed.window, parsed.message)) {
      // The copy would refuse it too; a request that cannot be right is not handed on.
      AgentLog("ERROR: /WM_MSG= refused (no window, a broadcast or a system message): " + parsed.list);
      Output() << TracePid() << " HandleParamOK() --- /WM_MSG= refused: " << parsed.list << EndLine;
    } else {
      AgentLog("PostProcessMessage(wm_LocalMsg) to: " + xPath + " - " + parsed.list);
      PostToWorkingCopy(wm_LocalMsg, static_cast<WPARAM>(parsed.window), static_cast<LPARAM>(parsed.message));
      forwarded = true;
    }
  }

  const std::int64_t test = GetSwitchInt("/TEST=", -1);
  if (test >= 0 && FileExists(xPath)) {
    AgentLog("PostProcessMessage(wm_AgentMsg) to: " + xPath + " - AU_PerformUpdateCycle (" + std::to_string(test) +
             ")");
    PostToWorkingCopy(wm_AgentMsg, kPerformUpdateCycle, static_cast<LPARAM>(test));
    if (!xExeIsRunning && test > 0) PostToWorkingCopy(wm_ShutDown, kStopAfterTest, 0);
    forwarded = true;
  }

  const std::string transient = GetSwitchValue("/TRANSIENTx=");
  if (!transient.empty()) OverridesFromText(transient);

  AgentLog("HandleParamOK() --- End");
  return forwarded;
}
