#include "package/StubSetup.h"

#include <exception>

#include "driver/StubGlob.h"
#include "internet/CommUtils.h"
#include "internet/InetHTTP.h"
#include "internet/InetHTTPLogic.h"
#include "internet/ZProgBar.h"
#include "package/PackX.h"
#include "package/SetupLogic.h"
#include "package/SignerRule.h"
#include "package/UnPack.h"
#include "system/CommandLine.h"
#include "system/Files.h"
#include "system/Process.h"
#include "system/Utils.h"
#include "system/Win64.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/LangStrings.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

bool InstallWorkRunning = false;

namespace {

constexpr const char kSpanDiskKey[] = "HKEY_CURRENT_USER\\Software\\Brenmoor\\Zorvik\\SpanDisk";

struct StubSetupState {
  // Alternative base: empty, or e.g. "D:\TEMP" / "D:\TEMP\TEMP".
  std::string altTempBase;
};
StubSetupState state;

// A fresh, empty folder: whatever an earlier run left under that name goes first.
std::string MakeFreshFolder(const std::string& folder) {
  DeleteTree(folder, true);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

// What an elevated stub tells when it has no folder only administrators can write: it
// runs nothing from a place another program of the user could reach.
std::string NoProtectedFolderText() {
  return "Unable to create a protected temporary folder in " + ProtectedTempBase() + "<P><P>" +
         LastErrorText() + "<P><P>Setup cannot continue.";
}

// The installed product's shortcuts and whether the update description asks to remove
// them after a successful run. Both records lie beside the running executable.
struct ShortcutCleanup {
  std::string startUpLink, checkLink;
};

ShortcutCleanup ReadShortcutLinks() {
  ShortcutCleanup links;
  if (!OwnFileInfo || Trim(OwnFileInfo->InfoFileName()).empty()) return links;
  std::string original = ExeFolder(true) + OwnFileInfo->OriginalFileName();
  links.startUpLink = ReadIniString(original, "UnInstall", "StartUpLink", "");
  links.checkLink = ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "");
  return links;
}

void RemoveShortcuts(const ShortcutCleanup& links) {
  if (!OwnFileInfo || Trim(OwnFileInfo->InfoFileName()).empty()) return;
  std::string info = ExeFolder(true) + OwnFileInfo->InfoFileName();
  auto remove = [&](const char* key, const std::string& link) {
    if (ReadIniString(info, "NewSetup", key, "0") == "1" && !link.empty() && FileExists(link))
      DeleteFileA(link.c_str());
  };
  remove("RemoveStartUpShortcut", links.startUpLink);
  remove("RemoveCheckForNewUpdateShortcut", links.checkLink);
}

// Starts the engine, waits for it and its dialog, and reports whether it removed the
// atom. The engine's exit code becomes the stub's.
bool RunEngine(const std::string& folder, const std::string& engineEntry, const std::string& arguments,
               bool foreground) {
  const std::string token = ThreadToken(GetCurrentThreadId());
  std::string commandLine =
      EngineCommandLine(folder, engineEntry, arguments, token, ProgramPath(), ThisIs_AutoUpdateProg);
  ShortcutCleanup links = ReadShortcutLinks();
  Output() << TracePid() << " ==== WinExec(Engine.exe) >>" << commandLine << "<<" << EndLine;

  const std::string atomName = kEngineAtomPrefix + token;
  UniqueAtom atom(GlobalAddAtomA(atomName.c_str()));
  // The engine's path is named apart from its command line, so a temporary folder with
  // blanks in it cannot make the system start a shorter name instead.
  std::string enginePath = SetTrailingBackslash(folder, true) + EngineName(engineEntry);
  UniqueHandle process(RunProgram(commandLine, foreground ? SW_SHOW : SW_HIDE, enginePath));
  const DWORD startError = process ? 0 : GetLastError();
  ShowView(false);
  YieldWait(0, 1000);
  WaitForProcess(process.get());

  DWORD exitCode = 0;
  if (process && GetExitCodeProcess(process.get(), &exitCode)) {
    StubExitCode = exitCode;
  } else {
    // Nothing ran: say so instead of handing on a success.
    StubExitCode = kExitInstallFailed;
    Output() << TracePid() << " RunInstallFlow() --- the engine could not be started: " << startError
             << EndLine;
  }
  Output() << TracePid() << " ==== Engine exit code: " << exitCode << EndLine;
  WaitWindowGone(kEngineDialogClassPrefix + token, "");
  YieldWait(0, 1000);

  bool finished = GlobalFindAtomA(atomName.c_str()) == 0;
  atom.reset();
  Output() << TracePid() << " ==== Engine finished its work=" << BoolToText(finished) << EndLine;
  if (finished) RemoveShortcuts(links);
  return finished;
}

bool InstallFlow(std::string folder, const std::string& packageFile, const std::string& agentName,
                 bool foreground, const std::string& arguments) {
  TGFileInfo info(packageFile);
  bool result = false;
  if (folder.empty()) {
    StubExitCode = kExitInstallFailed;
    Output() << TracePid() << " RunInstallFlow() --- no protected temporary folder" << EndLine;
    MsgError(MsgOwnerTitle(), NoProtectedFolderText(), info.GetLangString("Error", "Error"));
    return false;
  }

  if (HWND activityBar = View().activityBar; activityBar && info.ShowActivityBar())
    ShowWindow(activityBar, SW_SHOW);
  SetViewStatus(info.GetLangString("s1", "Extracting Files..."), info.GetLangFontName(),
                info.GetLangCharset(), info.GetLangFontSize());
  if (!HasTempSpace(folder, packageFile) && FindAltTempBase() && !AltSetupTempFolder().empty())
    folder = AltSetupTempFolder();  // elevated: a protected one, else the protected folder stays
  Output() << "========= ForegroundOp=" << BoolToText(foreground) << " ==========" << EndLine;

  if (foreground && !CheckTempSpace(folder, packageFile, info)) {
    StubExitCode = kExitInstallCancelled;
  } else {
    const std::string prompt =
        info.GetLangString("s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    const std::string caption = info.GetLangString("Attention", "Attention");
    const std::string buttons = info.GetLangString("BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
    const int charset = info.GetLangCharset();
    if (foreground) ShowView(true);
    YieldWait(1, 1000);

    bool checkResult = false;
    TExtractDetails details;
    std::string engineEntry = ExtractPackage(packageFile, folder, agentName, ReadForcePrompt(), charset, buttons,
                                             caption, prompt, ProgressCallback, checkResult, &details);
    YieldWait(0, 1000);
    // Closing the main window ends the install: no engine runs from its removed folder.
    if (View().loopEnded && details.Status == TExtractStatus::Ok) {
      details.Status = TExtractStatus::Cancelled;
      engineEntry.clear();
    }

    if (!engineEntry.empty() && checkResult) {
      result = RunEngine(folder, engineEntry, arguments, foreground);
    } else {
      StubExitCode = details.Status == TExtractStatus::Cancelled ? kExitInstallCancelled : kExitInstallFailed;
      if (!details.Reason.empty())
        Output() << TracePid() << " RunInstallFlow() --- package refused: " << details.Reason << EndLine;
      else if (checkResult && details.Status == TExtractStatus::Ok)
        // A sound package that names no engine: nothing to run, and nothing to tell the user.
        Output() << TracePid() << " RunInstallFlow() --- the package names no engine" << EndLine;
      if (!checkResult)
        MsgError(MsgOwnerTitle(),
                 info.GetLangString("s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
                 info.GetLangString("Error", "Error"), buttons, charset);
    }
  }
  CleanAltTempFolder();
  return result;
}

// ---- The web install ----

// Err of WebInstall when the user declined the download: no box follows.
constexpr char kDeclinedMarker[] = "!";

void CopyFileTime(const std::string& from, const std::string& to) {
  UniqueHandle source(CreateFileA(from.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  UniqueHandle target(CreateFileA(to.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  FILETIME written;
  if (source && target && GetFileTime(source.get(), nullptr, nullptr, &written))
    SetFileTime(target.get(), nullptr, nullptr, &written);
}

// The agent: a copy of this web stub with its agent byte set, left in SetupTempFolder for
// the engine to install.
void WriteWebAgentCopy(const TGFileInfo& own) {
  const std::string agentName = ExtractFileName(own.AgentExeName());
  if (!own.MakeAgent() || Trim(agentName).empty() || SetupTempFolder().empty()) return;
  const std::string image = ReadFilePart(ProgramPath());
  const std::string target = SetTrailingBackslash(SetupTempFolder(), true) + agentName;
  if (image.empty() || !WriteTextFile(target, WebAgentImage(image, VerifiedSignerRecord(ProgramPath())))) {
    Output() << TracePid() << " RunWebBranch() --- cannot write the agent " << target << ": " << LastErrorText()
             << EndLine;
    return;
  }
  CopyFileTime(ProgramPath(), target);
  Output() << TracePid() << " New AU-Agent: " << target << EndLine;
}

void ShowWebError(const TGFileInfo& own, const std::string& err) {
  MsgError(MsgOwnerTitle(), err, own.GetLangString("Error", lang::kError), own.GetLangString("BtnText", lang::kBtnText),
           own.GetLangCharset());
}

}  // namespace

void WebInstall(const std::string& folder, const std::string& base, const std::string& setupFileName) {
  Output() << TracePid() << " WebInstall() --- Start" << EndLine;
  const TGFileInfo& own = *OwnFileInfo;
  std::string err;
  bool deleteAfter = false;
  const bool hidden = HasSwitch("/hide") || own.HiddenByDefault();
  const std::string url = base + "/" + setupFileName;
  std::string setupFile = SetTrailingBackslash(base, true) + setupFileName;
  std::string why;

  // Elevated, the download goes to a protected folder of its own, where nobody else can
  // change or swap it before it is installed; a folder apart from the extraction's, so a
  // file of the package may carry the setup file's name.
  std::string downloadFolder = TempFolder(true);
  if (ProcessIsElevated())
    downloadFolder = SetTrailingBackslash(MakeProtectedSetupFolder(ProtectedTempBase()), true);

  if (folder.empty() || downloadFolder.size() < 2) {
    err = NoProtectedFolderText();
    setupFile.clear();
  } else if (!IsSafeWebFileName(setupFileName, &why)) {
    // Checked before any file is looked at: the download would first clear the name's
    // partial files ("*" would clear the temporary folder) and then replace it.
    err = "Bad setup file name \"" + setupFileName + "\": " + why;
    setupFile.clear();
  } else if (FileExists(setupFile)) {
    Output() << TracePid() << " WebInstall() --- local setup file: " << setupFile << EndLine;
  } else {
    SetViewStatus(own.GetLangString("s10", lang::kS10), own.GetLangFontName(), own.GetLangCharset(),
                  own.GetLangFontSize());
    if (own.AskBeforeDownload() && !hidden) {
      const std::string question = WebConfirmText(own.GetLangString("s11", lang::kS11), own.WebSize());
      if (!MsgConfirm(MsgOwnerTitle(), question, own.GetLangString("Confirm", lang::kConfirm),
                      own.GetLangString("BtnText", lang::kBtnText), own.GetLangCharset()))
        err = kDeclinedMarker;
    }
    std::string systemText;
    if (!HTTP_CheckConnection(systemText)) {
      err = own.GetLangString("s12", lang::kS12);
      if (!systemText.empty()) err += "<P><P>" + systemText;
    }
    SetDownloadAborted(false);
    // Only the name: the download never lands outside the temporary folder.
    setupFile = downloadFolder + ExtractFileName(setupFileName);
    HWND window = hidden ? nullptr : View().window;
    TProgBar& progBar = EnsureProgBar();
    if (err.empty()) {
      std::string unused;
      const bool complete = HTTP_DownloadFile_Incremental(
          window, url, setupFile, WebDownloadLimit(own.WebSize(), own.LargestSetupFile()), unused, &progBar,
          err);
      // A server that sent no size leaves no file and no error: that is no setup file.
      if (err.empty() && !complete)
        err = DownloadErrorText(UrlFileName(url), "the transfer did not complete");
      if (err.empty()) deleteAfter = true;
    }
    YieldWait(0, 300);
    ProgressCallback(0, 0, 10, 0, 1, "");
    YieldWait(0, 700);
  }

  // Held from the token check until the engine has run: nobody can write, rename or
  // delete it, and the checks and the install read it through this handle.
  if (err.empty()) {
    const bool held = HoldPath(setupFile, OpenDenyingWrites(setupFile));
    TGFileInfo setup(setupFile);
    if (!held || !own.SameWebToken(setup)) CheckErrorPage(setupFile, "", url, "Bad Secret Token!", err);
  }
  // A signed web stub installs only what its own publisher signed.
  std::string reason;
  if (err.empty() && !UpdateSignatureOk(setupFile, ProgramPath(), reason))
    err = "Bad Signature!<P><P>" + setupFile + ": " + reason +
          ".<P><P>The setup file must carry the signature of this installer's publisher.";
  if (err.empty()) RunInstallFlow(folder, setupFile, "", !hidden, CommandLineArgs());
  ReleaseHeld(setupFile);
  if (deleteAfter) DeleteFileA(setupFile.c_str());
  if (downloadFolder != TempFolder(true)) DeleteTree(downloadFolder, true);
  if (!err.empty()) {
    // Declined or aborted by the user, else nothing could be installed.
    StubExitCode = err == kDeclinedMarker || err == "Download Aborted" ? kExitInstallCancelled : kExitInstallFailed;
    Output() << TracePid() << " WebInstall() --- not installed: " << err << EndLine;
    if (err != kDeclinedMarker) ShowWebError(own, err);
  }
  Output() << TracePid() << " WebInstall() --- End, exit code " << StubExitCode << EndLine;
}

void RunWebBranch() {
  try {
    const TGFileInfo& own = *OwnFileInfo;
    WriteWebAgentCopy(own);
    std::string base = own.WebUrl();
    // A web stub named like its setup file is not a copy of that file beside itself.
    const std::string local = ExeFolder(true) + own.WebFileName();
    if (IsSafeWebFileName(own.WebFileName()) && !own.WebNoLocal() && FileExists(local) &&
        !SameText(local, ProgramPath()))
      base = ExeFolder(false);
    WebInstall(SetupTempFolder(), base, own.WebFileName());
  } catch (const std::exception& error) {
    TraceException(error, "RunWebBranch");
    if (StubExitCode == 0) StubExitCode = kExitInstallFailed;  // never a failure reported as success
  }
}

bool RunInstallFlow(const std::string& folder, const std::string& packageFile, const std::string& agentName,
                    bool foreground, const std::string& arguments) {
  Output() << TracePid() << " RunInstallFlow() --- Start" << EndLine;
  bool result = false;
  try {
    result = InstallFlow(folder, packageFile, agentName, foreground, arguments);
  } catch (const std::exception& error) {
    TraceException(error, "RunInstallFlow");
    StubExitCode = kExitInstallFailed;
    CleanAltTempFolder();
  }
  Output() << TracePid() << " RunInstallFlow() --- End: " << BoolToText(result) << ", exit code " << StubExitCode
           << EndLine;
  return result;
}

void TimerTick(HWND window) {
  KillTimer(window, 1);
  InstallWorkRunning = true;
  try {
    std::string agentName = OwnFileInfo && OwnFileInfo->MakeAgent() ? OwnFileInfo->AgentExeName() : std::string();
    if (OwnFileInfo && OwnFileInfo->IsWebInstall()) {
      RunWebBranch();
    } else {
      std::string packageFile = ProgramPath();
      std::string spanFile = GetSwitchValue("/SpanDiskFName1=", "");
      if (!spanFile.empty()) packageFile = spanFile;
      bool hidden = HasSwitch("/hide") || (OwnFileInfo && OwnFileInfo->HiddenByDefault());
      RunInstallFlow(SetupTempFolder(), packageFile, agentName, !hidden, CommandLineArgs());
    }
  } catch (const std::exception& error) {
    TraceException(error, "TimerTick");
  }
  InstallWorkRunning = false;
  // Our own folder: read-only files the package brought are removed as well.
  DeleteTree(SetupTempFolder(), true);
  PostQuitMessage(0);
}

bool HasTempSpace(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info(packageFile);
  return info.SpaceNeeded(folder) < DiskFree(folder) && FolderExists(folder);
}

bool CheckTempSpace(const std::string& folder, const std::string& packageFile, const TGFileInfo& info) {
  (void)packageFile;  // the information was read from it already
  SpaceTexts texts;
  texts.note = info.GetLangString("s2", "Zorvik will extract files to your Temp Drive (<DRIVE>)<P>");
  texts.limited = info.GetLangString("s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  texts.required =
      info.GetLangString("s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  texts.available = info.GetLangString("s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  texts.proceed = info.GetLangString("s6", "<P>Continue with Setup?<P>");
  std::string text = SpaceQuestionText(texts, folder, info.ShowTempNote(), info.SpaceNeeded(folder), DiskFree(folder));
  if (text.empty()) return true;
  return MsgConfirm(MsgOwnerTitle(), text, info.GetLangString("Confirm", "Confirm"),
                    info.GetLangString("BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"),
                    info.GetLangCharset());
}

bool ReadForcePrompt() { return ReadRegString(kSpanDiskKey, "ForcePrompt", "0", UseRegistry64View) == "1"; }

HANDLE RunProgram(const std::string& commandLine, int showState, const std::string& applicationName) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;  // CreateProcessA may write into its command line
  if (!CreateProcessA(applicationName.empty() ? nullptr : applicationName.c_str(), &line[0], nullptr, nullptr,
                      FALSE, 0, nullptr, nullptr, &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

void WaitForProcess(HANDLE process) {
  // The process object tells whether it still runs: an engine may really exit with 259
  // (STILL_ACTIVE), which would keep an exit-code loop waiting for ever.
  do {
    YieldWait(0, 500);
  } while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT);
}

bool FindAltTempBase() {
  if (!state.altTempBase.empty()) return true;
  // Elevated, nothing is made or written in a place anyone may create (C:\TEMP) to probe
  // a drive: the root's free space counts, and the folder is a protected one in the root.
  const bool elevated = ProcessIsElevated();
  double freeBytes[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    std::string root = std::string(1, char('C' + i)) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_FIXED) continue;
    if (elevated) {
      freeBytes[i] = DiskFree(root);
      continue;
    }
    std::string probe = root + "TEMP";
    if (FolderExists(probe)) probe += "\\TEMP" + RandomRangeText(10000, 100000);
    CreateDirectoryA(probe.c_str(), nullptr);
    std::string probeFile = probe + "\\~aa.tmp";
    WriteTextFile(probeFile, "aa");
    if (FileExists(probeFile)) freeBytes[i] = DiskFree(probe);
    DeleteTree(probe, true);
  }
  const std::string temp = elevated ? ProtectedTempBase() : TempFolder(true);
  char current = UpperAscii(temp.empty() ? 'C' : temp[0]);
  char best = current;
  double most = 0;
  for (int i = 0; i < 3; ++i) {
    if (freeBytes[i] > most) {
      most = freeBytes[i];
      best = char('C' + i);
    }
  }
  if (best != current && elevated) {
    state.altTempBase = std::string(1, best) + ":\\";
  } else if (best != current) {
    state.altTempBase = std::string(1, best) + ":\\TEMP";
    if (FolderExists(state.altTempBase)) state.altTempBase += "\\TEMP";
  }
  return !state.altTempBase.empty();
}

std::string AltSetupTempFolder() {
  static std::string folder;
  static bool made = false;
  if (!made && !state.altTempBase.empty()) {
    made = true;
    folder = ProcessIsElevated() ? MakeProtectedSetupFolder(state.altTempBase)
                                 : MakeFreshFolder(state.altTempBase + "_" + RandomRangeText(10000, 100000));
  }
  return folder;
}

void CleanAltTempFolder() {
  if (!state.altTempBase.empty()) DeleteTree(AltSetupTempFolder(), true);
}
