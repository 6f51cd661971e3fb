// Entry point of ZStub.exe: the start routine. It traces its start, reads the own
// package, lets DoRunStubWin pick and run the role, and ends with the exit code the
// role left (the setup engine's, or 0).
#include <windows.h>

#include <exception>

#include "system/DllSafety.h"
#include "driver/StubGlob.h"
#include "driver/StubWin.h"
#include "package/SetupLogic.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Win64.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/ZMsgBox.h"

namespace {

// An elevated stub that cannot hold its own file runs nothing: another program has it
// open in a way that lets it be renamed or written.
bool RefusedUnheld() {
  if (HoldOwnFile()) return false;
  Output() << TracePid() << " ==== cannot hold the own file: " << LastErrorText() << EndLine;
  if (!ProcessIsElevated()) return false;
  StubExitCode = kExitInstallFailed;
  MsgError(MsgOwnerTitle(),
           ProgramPath() + "<P><P>Unable to open this file for reading alone.<P><P>" + LastErrorText(),
           "Error");
  return true;
}

void RunStub() {
  Output() << TracePid() << " ==== STUB START ====> " << RawCommandLine() << "<" << EndLine;

  // The own file is held from here to the end, and the package and the signer record are
  // read through that handle: renaming the file after the user consented and putting
  // another at its name changes nothing.
  if (!RefusedUnheld()) {
    OwnFileInfo = std::make_unique<TGFileInfo>(ProgramPath());
    ThisIs_AutoUpdateProg = OwnFileInfo->ThisIsAgent() != 0;
    AgentLogOn = ThisIs_AutoUpdateProg && OwnFileInfo->AgentLogWanted();
    if (ThisIs_X_AutoUpdate_Exe()) AgentLogIndent = " X ";

    AgentLog("");
    AgentLog("");
    AgentLog("=== START === " + ProgramPath());
    AgentLog("CommandLine=" + RawCommandLine());
    if (AgentLogOn) AgentLog("Agent Version=" + GetExeVersion(ProgramPath(), 1, 4));

    Output() << TracePid() << " ==== ThisIs_AutoUpdateProg=" << ThisIs_AutoUpdateProg << EndLine;

    try {
      DoRunStubWin();
    } catch (const std::exception& error) {
      TraceException(error, "DoRunStubWin");
    } catch (...) {
      Output() << TracePid() << " --- DoRunStubWin() --- unknown exception" << EndLine;
    }
  }

  OwnFileInfo.reset();
  Output() << TracePid() << " ==== STUB END ====> " << RawCommandLine() << "<" << EndLine;
  Output() << EndLine;

  AgentLog("=== EXIT === " + ProgramPath());
  AgentLog("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: never from the folder the stub was started in.
  RestrictDllSearch();
  Win64StartUp();
  InstallLeadBytePredicate();
  InitCommandLineFromProcess();
  try {
    RunStub();
  } catch (const std::exception& error) {
    TraceException(error, "Stub");
  } catch (...) {
  }
  return static_cast<int>(StubExitCode);
}
