#include "agent/InfoFetch.h"

#include <windows.h>

#include "agent/AgentStateLogic.h"
#include "agent/SetupRecords.h"
#include "driver/StubGlob.h"
#include "driver/StubWin.h"
#include "internet/CommUtils.h"
#include "internet/InetHTTP.h"
#include "internet/InetHTTPLogic.h"
#include "internet/ZProgBar.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/ZDebug.h"
#include "ui/ZMsgBox.h"

namespace {

constexpr int kNetPauseMs = 500;

const char* StatusTextId(DownloadKind kind) {
  switch (kind) {
    case DownloadKind::Info: return "s31";
    case DownloadKind::Update: return "s32";
    default: return "s33";
  }
}

// A record from a folder is read only when it is no larger than a fetch may be: the same
// cap as over HTTP, so neither source can make the agent hold more.
bool ReadInfoFromFolder(const std::string& source, std::string& content, std::string& error) {
  const std::int64_t size = FileSizeByName(source);
  if (size > static_cast<std::int64_t>(kMemoryDownloadCap)) {
    error = "The file " + source + " is larger than " + std::to_string(kMemoryDownloadCap) + " bytes";
    return false;
  }
  content = ReadFilePart(source);
  return true;
}

}  // namespace

bool DownloadFileAU(const std::string& baseIn, const std::string& fileNameIn, DownloadKind kind, std::string& error) {
  error.clear();
  if (kind != DownloadKind::Info) {
    Output() << TracePid() << " DownloadFileAU() --- kind " << static_cast<int>(kind) << " not built yet" << EndLine;
    return false;
  }
  std::string content;
  const std::string fileName = ExtractFileName(fileNameIn);
  const std::string base = Agent.TestMode ? Agent.TestModeURL : baseIn;

  std::string source = base + "\\" + fileName;
  Output() << TracePid() << " DownloadFileAU: " << source << EndLine;
  AgentLog("TestMode=" + BoolToText(Agent.TestMode));
  AgentLog("Download START: " + source);
  SetStatusText(StatusLine, AgentText(StatusTextId(kind)), MsgBoxFontName(), MsgBoxCharSet(), MsgBoxFontSize());

  if (FileExists(source)) {
    ReadInfoFromFolder(source, content, error);
  } else if (!Agent.TestMode && HTTP_CheckConnection()) {
    YieldWait(0, kNetPauseMs);
    source = base + "/" + fileName;
    SetDownloadAborted(false);
    HWND window = Agent.ManualCheck == kManualCheckRunning ? MainWindow : nullptr;
    // Into memory: the client stops at kMemoryDownloadCap bytes with an error.
    HTTP_DownloadFile_Incremental(window, source, "", content, &EnsureProgBar(), error);
    YieldWait(0, kNetPauseMs);
  }
  AgentLog("Download END:   " + source);

  if (error.empty() && !content.empty()) CheckErrorPage("", content, source, "", error);
  const bool ok = error.empty() && !content.empty();
  // The copy shows what the last fetch brought, even nothing.
  WriteTextFile(InfoPath(), content);
  if (!error.empty() && error[0] == '3') error.clear();
  return ok;
}
