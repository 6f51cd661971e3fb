#include "agent/AgentTick.h"

#include <windows.h>

#include "agent/AgentCommands.h"
#include "agent/AgentStateLogic.h"
#include "agent/DecisionLogic.h"
#include "agent/InfoFetch.h"
#include "agent/SetupRecords.h"
#include "agent/SetupRecordsLogic.h"
#include "agent/UpdateRun.h"
#include "driver/StubGlob.h"
#include "internet/InetHTTP.h"
#include "internet/InetHTTPLogic.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr int kManualEndPauseMs = 1000;

double LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return EncodeDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

std::string Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return DateToText(EncodeDateTime(now.wYear, now.wMonth, now.wDay));
}

std::string UpdateBase() { return OwnFileInfo ? OwnFileInfo->UpdateUrl() : std::string(); }
std::string InfoName() { return OwnFileInfo ? OwnFileInfo->InfoFileName() : std::string(); }

// Step 10 of the tick on every way out: idle again, and the next tick may run.
struct TickEnd {
  ~TickEnd() {
    Agent.AgentState = kAgentIdle;
    Agent.Busy = false;
  }
};

// A manual check that performed nothing ends with an answer to the user.
void AnswerManualCheck(const std::string& infoError, int stage, const std::string& reason) {
  std::string systemText;
  const bool connected = HTTP_CheckConnection(systemText);
  Output() << TracePid() << " TestMode=" << BoolToText(Agent.TestMode)
           << " InternetConnected=" << BoolToText(connected) << EndLine;
  switch (ChooseManualAnswer(Agent.TestMode, connected, infoError)) {
    case ManualAnswer::NoConnection: {
      std::string text = AgentText("s2");
      if (!systemText.empty()) text += "<P><P>" + systemText;
      MsgError(MsgOwnerTitle(), text, MsgBoxError(), MsgBoxBtnText(), MsgBoxCharSet());
      break;
    }
    case ManualAnswer::InfoError:
      MsgError(MsgOwnerTitle(), infoError, MsgBoxError(), MsgBoxBtnText(), MsgBoxCharSet());
      break;
    case ManualAnswer::NothingNew: {
      // Like every other agent text, the answer names the program.
      std::string text = ReplaceProgName(AgentText("s21"), OriginalProgramName());
      if (IsDeveloperMode()) text += ManualAnswerDetail(stage, reason);
      MsgAttention(MsgOwnerPlain(), text, MsgBoxAttention(), MsgBoxBtnText(), MsgBoxCharSet());
      break;
    }
  }
}

}  // namespace

void AgentTimerTick() {
  if (Agent.Busy) return;
  Agent.Busy = true;
  TickEnd tickEnd;

  if (Agent.JustDownloadInfoFile) {
    Output() << TracePid() << " -------------- JustDownloadInfoFile ---------------" << EndLine;
    Agent.JustDownloadInfoFile = false;
    FetchInfoOnly();
    return;
  }
  SetMsgBoxFont(MsgBoxFontName(), MsgBoxFontSize(), MsgBoxCharSet());
  Agent.AgentState = kAgentIdle;

  if (Agent.ManualCheck == kManualCheckRequested) Agent.ManualCheck = kManualCheckRunning;
  if (Agent.ManualCheck == kManualCheckRunning) Agent.TimerCount = 0;

  if (CountDownStopCode(Agent)) {
    Output() << TracePid() << " StopCode reached 0: the agent ends" << EndLine;
    AgentLog("StopCode=0 - PostQuitMessage");
    PostQuitMessage(0);
    // A probe now would pump the queue and take the quit message out of it.
    return;
  }

  if (Agent.TimerCount < INT32_MAX) Agent.TimerCount += 1;
  Output() << TracePid() << " AutoUpdateTimerCount=" << Agent.TimerCount << EndLine;
  if (Agent.TimerCount <= 0) return;

  CheckTestMode(false);
  int status = ShotTimeStatus();
  Output() << TracePid() << " ShotTimeStatus=" << status << EndLine;
  if (status == kShotDueOnce) Agent.FirstShotPending = false;

  if (status >= kShotDue && (Agent.ManualCheck == kManualCheckRunning || AskBeforeEachProbe()))
    AskBeforeProbe(status);
  if (status >= kShotDue) PerformShot();
  if (Agent.ManualCheck == kManualCheckRunning) Agent.ManualCheck = kManualCheckNone;
}

bool CheckTestMode(bool force) {
  const std::uint32_t now = GetTickCount();
  if (TestModeCheckDue(force, now, Agent.LastTestModeCheck)) {
    const std::string key = TestModeRegistryKey(ProcessIsElevated());
    const std::string mode = ReadRegString(key, "TestMode", "0", false);
    const std::string date = ReadRegString(key, "TestModeDate", "", false);
    Agent.TestModeURL = ReadRegString(key, "TestModeURL", "", false);
    Agent.TestMode = TestModeOn(mode, date, Today());
  }
  Agent.LastTestModeCheck = now;
  return Agent.TestMode;
}

int ShotTimeStatus() {
  return ShotTimeStatusFor(Agent.FirstShotPending, Agent.ForceShot, Agent.TestMode, RecordNow(), ProbeSecondsLast(),
                           ProbeSecondsInterval());
}

void AskBeforeProbe(int& status) {
  const bool testMode = CheckTestMode(true);
  const std::string base = testMode ? Agent.TestModeURL : UpdateBase();
  const std::string question = ProbeQuestionText(AgentText("s22", ""), AgentText("s23", ""), AgentText("s24", ""),
                                                 base, testMode, OriginalProgramName());
  if (!MsgConfirm(MsgOwnerPlain(), question, MsgBoxConfirm(), MsgBoxBtnText(), MsgBoxCharSet(), 0)) status = 0;
}

void PerformShot() {
  Output() << TracePid() << " Fire  " << DateTimeToText(LocalNow()) << EndLine;
  CheckTestMode(true);
  Agent.AgentState = kAgentProbing;
  NotifyClient(kNotifyInfoFetch, 1);
  std::string infoError;
  const bool infoOK = DownloadFileAU(UpdateBase(), InfoName(), DownloadKind::Info, infoError);
  NotifyClient(kNotifyInfoFetch, 2);
  // Every probe counts, failed or not: the next waits the full interval.
  SetProbeSecondsLast(RecordNow());

  bool performed = false;
  int stage = 0;
  std::string reason;
  if (GetOkToPerformAU(infoOK, stage, reason)) {
    Output() << TracePid() << " ==== PerformShot-1 ====" << EndLine;
    performed = true;
    SetReAskSecondsLast(RecordNow());
    SetOriginalStamp(InfoStamp());
    if (IsAutoInform())
      PerformAutoInform();
    else if (PerformAutoUpdate())
      ReStartAutoUpdateExe();
    Output() << TracePid() << " ==== PerformShot-2 ====" << EndLine;
  }

  if (Agent.ManualCheck == kManualCheckRunning) {
    YieldWait(0, kManualEndPauseMs);
    ShowView(false);
    if (!performed) AnswerManualCheck(infoError, stage, reason);
  }
}

bool GetOkToPerformAU(bool infoOK, int& stage, std::string& reason) {
  const DecisionRecord record =
      ReadDecisionRecord(infoOK, Agent.ManualCheck == kManualCheckRunning, RecordNow());
  stage = DecisionStage(record, [] { return UpdateSizeOK(DownloadURL_UPDATE(), NameOfUpdateFile(), NameOfInformFile()); });
  reason = DecisionReason(stage);
  Output() << TracePid() << " GetOkToPerformAU=" << stage << EndLine;
  AgentLog("GetOkToPerformAU = " + std::to_string(stage) + " - " + reason);
  return stage == kDecisionOK;
}

bool UpdateSizeOK(const std::string& url, const std::string& updateName, const std::string& informName) {
  const bool inform = IsAutoInform();
  const std::int64_t expected = inform ? SizeOfInformFile() : SizeOfUpdateFile();
  const std::string name = ExtractFileName(inform ? informName : updateName);
  const std::string base = Agent.TestMode ? Agent.TestModeURL : url;
  const std::uint64_t largest = OwnFileInfo ? OwnFileInfo->LargestSetupFile() : kDefaultLargestSetupFile;
  if (!inform && !UpdateSizeAllowed(expected, largest)) {
    AgentLog("  SizeOfUpdateFile=" + std::to_string(expected) +
             " is above the largest setup file this agent takes (" + std::to_string(largest) + ")");
    return false;
  }

  std::string used = base + "\\" + name;
  std::int64_t actual = -1;
  const DownloadKind kind = inform ? DownloadKind::Inform : DownloadKind::Update;
  if (FolderLookupAllowed(kind, Agent.TestMode, Agent.InfoFromFolder) && FileExists(used)) {
    actual = FileSizeByName(used);
  } else if (!Agent.TestMode && HTTP_CheckConnection()) {
    used = base + "/" + name;
    actual = HTTP_GetFileSize(used);
  }
  const bool ok = SizeWithinTolerance(expected, actual);
  if (!ok) {
    if (!FolderLookupAllowed(kind, Agent.TestMode, Agent.InfoFromFolder) && !IsWebScheme(base))
      AgentLog("  a record fetched over the network names no folder: " + base);
    AgentLog("  InfoSize=" + std::to_string(expected));
    AgentLog("  HttpSize=" + std::to_string(actual));
    AgentLog("  URL=" + used);
  }
  return ok;
}

void FetchInfoOnly() {
  NotifyClient(kNotifyInfoFetch, 1);
  std::string error;
  DownloadFileAU(UpdateBase(), InfoName(), DownloadKind::Info, error);
  NotifyClient(kNotifyInfoFetch, 2);
}
