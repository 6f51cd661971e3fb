#include "agent/UpdateRun.h"

#include <windows.h>

#include "agent/AgentCommands.h"
#include "agent/AgentStateLogic.h"
#include "agent/DownloadToken.h"
#include "agent/InfoFetch.h"
#include "agent/SetupRecords.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/ShutDown.h"
#include "agent/ShutDownLogic.h"
#include "agent/UpdateRunLogic.h"
#include "driver/StubGlob.h"
#include "folders/Variables.h"
#include "package/PackX.h"
#include "package/StubSetup.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Process.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/StatusView.h"
#include "ui/StubInformDlg.h"
#include "ui/ZMsgBox.h"

namespace {

void TraceUpdate(int n) { Output() << TracePid() << " ==== PerformAutoUpdate-" << n << " ====" << EndLine; }
void TraceInform(int n) { Output() << TracePid() << " ==== PerformAutoInform-" << n << " ====" << EndLine; }

UpdateQuestionTexts QuestionTexts() {
  return {AgentText("s11"), AgentText("s12"), AgentText("s13"), AgentText("s14"),
          AgentText("s18"), AgentText("s19"), AgentText("s20")};
}

// A question the ".info" asks: forced ones are only told (they cannot be declined).
bool AskUser(const std::string& question, bool forced) {
  if (forced) {
    MsgAttention(MsgOwnerNoClose(), question, MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet());
    return true;
  }
  return MsgConfirm(MsgOwnerTitle(), question, MsgBoxConfirm(), MsgBoxBtnText(), MsgBoxCharSet());
}

bool AskBeforeDownload() {
  if (!RequestConfirmationBeforeDownload() || Agent.ManualCheck == kManualCheckRunning) return true;
  const bool forced = RequestConfirmationBeforeDownloadForce();
  const std::string question =
      DownloadQuestion(QuestionTexts(), RequestConfirmationBeforeInstall(), forced, InfoProgramName());
  return AskUser(question, forced);
}

bool AskBeforeInstall() {
  if (!RequestConfirmationBeforeInstall() || Agent.ManualCheck == kManualCheckRunning) return true;
  const bool forced = RequestConfirmationBeforeInstallForce();
  return AskUser(InstallQuestion(QuestionTexts(), forced, InfoProgramName()), forced);
}

// The program the update replaces, as the ".info" names it; empty when none is named.
// refused is set when it names a program outside the product's folders.
std::string ProgramToStop(bool& refused) {
  refused = false;
  SetInstallDirs(TargetDir(), SharedDir(), AuxiliaryDir());
  const std::string named = RunningProcess();
  if (Trim(named).empty()) return "";
  const std::string path = ExpandVariables(named, "\\", true, true);
  std::string reason;
  if (IsAllowedRunningProcess(path, RunningProcessFolders(), &reason)) return path;
  refused = true;
  Output() << TracePid() << " RunningProcess refused >" << path << "<: " << reason << EndLine;
  AgentLog("ERROR: RunningProcess refused (" + path + "): " + reason);
  return "";
}

// The update's or the inform's download, announced to the host (notification 41).
bool FetchForHost(const std::string& url, const std::string& name, DownloadKind kind,
                  std::string& localFile) {
  Agent.AgentState = kAgentFetching;
  NotifyClient(kNotifyDownload, 1);
  std::string error;
  const bool fetched = DownloadFileAU(url, name, kind, error, &localFile);
  NotifyClient(kNotifyDownload, 2);
  return fetched;
}

// Starts without waiting for the program to become idle (as WinExec would).
void StartProgram(const std::string& path, const std::string& commandLine, int showState) {
  if (!UniqueHandle(RunProgram(commandLine, showState, path)))
    AgentLog("ERROR: unable to start " + commandLine);
}

// The user's program, stopped for the update, is started again with the desktop user's
// rights: an elevated agent starts it only with the token of the user's shell, and
// without a usable one tells the user to start it (it would run as administrator).
void RestartUsersProgram(const std::string& path) {
  if (!ProcessIsElevated()) {
    StartProgram(path, Quote(path), SW_SHOW);
    return;
  }
  if (UniqueHandle token = DesktopUserToken()) {
    if (StartWithToken(token.get(), Quote(path), SW_SHOW, path)) {
      Output() << TracePid() << " Restarted as the desktop user >" << path << "<" << EndLine;
      return;
    }
  }
  Output() << TracePid() << " Not restarted, no desktop user to start it as >" << path << "<" << EndLine;
  AgentLog("ERROR: no desktop user's token to restart " + path + " with: the user is asked to start it");
  MsgAttention(MsgOwnerPlain(), ReplaceProgName(AgentText("s37"), InfoProgramName()) + "<P><P>" + path,
               MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet());
}

}  // namespace

bool PerformAutoUpdate() {
  AgentLog("PerformAutoUpdate() - START");
  bool result = false;
  TraceUpdate(4);
  // Only a stop that arrives during the update ends its wait for the program: a copy
  // started for one test probe already carries its stop code.
  RequestAgentStop(false);
  [&] {
    const std::string url = DownloadURL_UPDATE();
    const std::string name = NameOfUpdateFile();
    if (url.empty() || name.empty()) return;

    TraceUpdate(5);
    const bool goOn = AskBeforeDownload();
    YieldWait(0, 500);
    if (!goOn) return;

    TraceUpdate(6);
    std::string setupFile;
    const bool arrived = FetchForHost(url, name, DownloadKind::Update, setupFile);
    bool fetched = arrived;
    // From the check until the engine has run, nobody can change the file: the token and
    // signature are checked again through the name while the handle denies writes.
    UniqueHandle locked;
    if (fetched) {
      locked = OpenDenyingWrites(setupFile);
      if (!locked || !CheckDownloadToken(setupFile, DownloadKind::Update)) {
        AgentLog("ERROR: the update file changed or cannot be held: " + setupFile);
        fetched = false;
      }
    }
    const auto dropSetupFile = [&] {
      locked.reset();
      DropDownload(setupFile);
    };

    const bool install = fetched && AskBeforeInstall();
    YieldWait(0, 100);
    if (!install) {
      if (arrived) dropSetupFile();
      return;
    }

    TraceUpdate(7);
    bool refused = false;
    const std::string procPath = ProgramToStop(refused);
    if (refused) {
      dropSetupFile();
      return;
    }
    const bool wasRunning = !procPath.empty() && IsProgramRunningAt(procPath);
    const std::string method = ShutDownMethod();
    AgentLog("Shut Down Process() - START  (" + procPath + ")  Method: " + method);
    const ShutDownBox box{AgentText("s15"), MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet()};
    const bool gone = ShutDownProcess(procPath, method, box);
    AgentLog("Shut Down Process() - END");
    if (!gone && ShutDownKindOf(method) != ShutDownKind::DontShutDown && AgentWaitStopped()) {
      // The user ended the agent while it waited: the program keeps running, nothing is installed.
      // A stop that came when nothing was waited for lets the update finish first.
      AgentLog("Shut Down Process() - stopped by request: no install");
      dropSetupFile();
      return;
    }
    const bool stopped = wasRunning && gone;
    const bool restart = RestartProcess() && stopped;

    const std::string arguments = "/OriginalInfoFile=" + Quote(InfoPath());
    Agent.AgentState = kAgentInstalling;
    NotifyClient(kNotifyInstall, 1);
    TraceUpdate(10);
    const std::string agentName = OwnFileInfo ? OwnFileInfo->AgentExeName() : std::string();
    // The process's setup folder is deleted after each run, and the working copy may run
    // more than one update: an elevated agent takes a new protected folder each time
    // rather than make the known name again, which anyone could have taken meanwhile.
    std::string folder = ProcessIsElevated() ? MakeProtectedSetupFolder(ProtectedTempBase()) : std::string();
    if (folder.empty()) folder = SetupTempFolder();
    result = RunInstallFlow(folder, setupFile, agentName, !BackgroundUpdate(), arguments);
    DeleteTree(folder, true);
    TraceUpdate(11);
    NotifyClient(kNotifyInstall, 2);
    if (result) SetVersionOriginal(VersionNew());
    dropSetupFile();

    const std::string finished = ReplaceProgName(AgentText("s16"), InfoProgramName());
    const std::string restartQuestion = ReplaceProgName(AgentText("s17"), InfoProgramName());
    bool restartOk = true;
    if (result && (InformFinish() || Agent.ManualCheck == kManualCheckRunning)) {
      if (restart)
        restartOk = MsgConfirm(MsgOwnerPlain(), finished + restartQuestion, MsgBoxConfirm(), MsgBoxBtnText(),
                               MsgBoxCharSet());
      else
        MsgAttention(MsgOwnerPlain(), finished, MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet());
    }
    TraceUpdate(12);
    Output() << TracePid() << " Restart=" << BoolToText(restart) << " RestartOk=" << BoolToText(restartOk) << "  >"
             << procPath << "<" << EndLine;
    // The program was stopped for the update: it is started again whatever the result.
    if (restart && restartOk) RestartUsersProgram(procPath);
  }();
  TraceUpdate(13);
  AgentLog("PerformAutoUpdate() - END    Result=" + BoolToText(result));
  return result;
}

void ReStartAutoUpdateExe() {
  AgentLog(".. ReStartAutoUpdateExe() - Start");
  // A StopCode of 0 is a stop that arrived during the update (the tick turns it into the
  // quit message and then -1): the agent ends as asked instead of coming back.
  if (Agent.StopCode < 0 && !AgentStopRequested() && OwnFileInfo) {
    const std::string command =
        AgentRestartCommand(ExeFolder(true), OwnFileInfo->AgentExeName(), OverridesToText());
    AgentLog(".. WinExec - " + command);
    // The new agent first waits for this one to end: this one must not wait for it.
    StartProgram(ExeFolder(true) + OwnFileInfo->AgentExeName(), command, SW_HIDE);
    YieldWait(0, 1000);
    AgentLog(".. PostMessage(WM_DESTROY)");
    if (HWND window = View().window) PostMessageA(window, WM_DESTROY, 0, 0);
  }
  AgentLog(".. ReStartAutoUpdateExe() - End");
}

bool PerformAutoInform() {
  AgentLog("PerformAutoInform() - START ");
  bool result = false;
  TraceInform(1);
  const std::string url = DownloadURL_UPDATE();
  const std::string name = NameOfInformFile();
  if (!url.empty() && !name.empty()) {
    TraceInform(2);
    std::string informFile;
    const bool fetched = FetchForHost(url, name, DownloadKind::Inform, informFile);
    if (fetched) {
      TraceInform(3);
      std::string token, body;
      const std::string text = ReadFilePart(informFile, kInformTextMax);
      SplitInformText(text, token, body);
      // The text stays beside the agent; the elevated agent's own folder goes now.
      if (!IsBesideAgent(informFile)) {
        const std::string beside = LocalDownloadPath(name, DownloadKind::Inform);
        if (!KeepBesideAgent(beside, text)) AgentLog("ERROR: the inform text was not kept as " + beside);
        DropDownload(informFile);
      }
      bool notOpened = false;
      result = ShowInform(View().window, AgentText("s34"), AgentText("s35"), body, DownloadURL_INFORM(),
                          AutoInformW(), AutoInformH(), MsgBoxFontName(), MsgBoxFontSize(), MsgBoxCharSet(),
                          AgentText("s36"), &notOpened);
      if (notOpened)
        AgentLog("ERROR: no desktop user's token to open " + DownloadURL_INFORM() +
                 " with: shown to the user");
      if (result) SetVersionOriginal(VersionNew());
      TraceInform(4);
    }
  }
  AgentLog("PerformAutoInform() - END " + BoolToText(result));
  return result;
}
