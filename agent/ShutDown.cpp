#include "agent/ShutDown.h"

#include <windows.h>

#include "agent/SetupRecords.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDownLogic.h"
#include "folders/Variables.h"
#include "system/CommandLine.h"
#include "system/Process.h"
#include "system/ProcessViewer.h"
#include "system/Utils.h"
#include "system/ZDebug.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

void TraceStage(int n) { Output() << TracePid() << " ==== PerformAutoUpdate-" << n << " ====" << EndLine; }

// Looks once a second until the program has ended or the wait is stopped.
void WaitUntilGoneOrStopped(const std::string& procPath) {
  while (!AgentWaitStopped() && IsProgramRunningAt(procPath)) YieldWait(0, 1000);
}

}  // namespace

bool IsProgramRunningAt(const std::string& procPath) { return FindPidByPsapi(procPath, true, false) != 0; }

bool AgentWaitStopped() {
  HWND window = View().window;
  return AgentStopRequested() || View().loopEnded || (window != nullptr && !IsWindow(window));
}

bool ShutDownProcess(const std::string& procPath, const std::string& method, const ShutDownBox& box) {
  const ShutDownKind kind = ShutDownKindOf(method);
  if (kind == ShutDownKind::AskInBox) {
    const std::string text = ReplaceProgName(box.text, ExtractFileName(procPath));
    Output() << TracePid() << " s1=" << text << "<" << EndLine;
    while (!AgentWaitStopped() && IsProgramRunningAt(procPath))
      MsgAttention(MsgOwnerTitle(), text, box.caption, box.buttons, box.charset);
  }
  TraceStage(8);
  // Nothing is sent when the program does not run from this file: the lookups behind the
  // close, quit and kill can also match a program of the same name elsewhere.
  switch (IsProgramRunningAt(procPath) ? kind : ShutDownKind::WaitOnly) {
    case ShutDownKind::Close:
      CloseProgram(procPath, true);
      break;
    case ShutDownKind::Quit:
      QuitProgram(procPath, true);
      break;
    case ShutDownKind::Terminate:
      KillProgram(procPath, true);
      break;
    default:
      break;
  }
  if (kind != ShutDownKind::DontShutDown) WaitUntilGoneOrStopped(procPath);
  TraceStage(9);
  return !IsProgramRunningAt(procPath);
}

std::vector<std::string> RunningProcessFolders() {
  std::vector<std::string> folders;
  for (const std::string& folder : {TargetDir(), SharedDir(), AuxiliaryDir()})
    if (!folder.empty()) folders.push_back(ExpandVariables(folder, "\\", true, true));
  folders.push_back(ExeFolder(false));
  return folders;
}
