#include "driver/StubWin.h"

#include <windows.h>

#include "driver/StubGlob.h"
#include "driver/StubLogic.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/ZDebug.h"

std::string StubClassName = kDefaultStubClassName;

namespace {

std::string AgentName() { return OwnFileInfo ? OwnFileInfo->AgentExeName() : std::string(); }

void Placeholder(const char* routine) {
  Output() << TracePid() << " " << routine << "() --- not built yet, returns at once" << std::endl;
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

bool X_ExeIsRunning() { return FindWindowA(WorkingCopyClassName(AgentName()).c_str(), nullptr) != nullptr; }

void CreateAndRun_Y_Exe() {
  std::string self = ProgramPath();
  std::string target = SpanCopyPath(SetupTempFolder(), self);
  if (!CopyFileA(self.c_str(), target.c_str(), FALSE))
    Output() << TracePid() << " CreateAndRun_Y_Exe() --- copy to " << target << " failed: " << GetLastError()
             << std::endl;
  // The target is quoted: the temporary folder may hold blanks, and an unquoted path
  // with blanks lets the system try shorter names first.
  std::string command = Quote(target) + " " + SpanCopyArguments(CommandLineArgs(), self);
  UINT started = WinExec(command.c_str(), SW_HIDE);
  if (started <= 31)
    Output() << TracePid() << " CreateAndRun_Y_Exe() --- start of " << target << " failed: " << started << std::endl;
}

void DoRunStubWin() {
  AgentLog("DoRunStubWin() --- Start");
  StubClassName = StubClassNameFor(ThisIs_AutoUpdateProg, ProgramPath());

  const bool xRunning = X_ExeIsRunning();
  const bool plainAgent = ThisIs_Plain_AutoUpdate_Exe();
  const bool workingCopy = ThisIs_X_AutoUpdate_Exe();
  AgentLog("X_ExeIsRunning=" + BoolToText(xRunning));
  AgentLog("ThisIs_Plain_AutoUpdate_Exe=" + BoolToText(plainAgent));
  AgentLog("ThisIs_X_AutoUpdate_Exe=" + BoolToText(workingCopy));

  bool ownWindow = FindWindowA(StubClassName.c_str(), nullptr) != nullptr;
  switch (ChooseStubRole(ownWindow, plainAgent, workingCopy, NeedsSpanCopy())) {
    case StubRole::AlreadyRunning:
      break;
    case StubRole::StartWorkingCopy:
      CreateAndRun_X_Exe();
      break;
    case StubRole::WorkingCopy:
      AgentLog("CheckTestMode");
      CheckTestMode(true);
      AgentLog("WinMain");
      StubWinMain();
      AgentLog("DeleteMySelf");
      DeleteMySelf(false);
      break;
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

void StubWinMain() { Placeholder("StubWinMain"); }
void CreateAndRun_X_Exe() { Placeholder("CreateAndRun_X_Exe"); }
void HandleParamOK(bool) { Placeholder("HandleParamOK"); }
void CheckTestMode(bool) { Placeholder("CheckTestMode"); }
