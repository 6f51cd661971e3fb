#include "agent/SetupRecords.h"

#include <windows.h>

#include "agent/SetupRecordsLogic.h"
#include "driver/StubGlob.h"
#include "system/CommandLine.h"
#include "system/Utils.h"
#include "system/WinUtils.h"
#include "ui/LangStrings.h"

namespace {

using namespace records;

// Both names derive from the ".info" name; without one there is no record.
std::string RecordPath(std::string (TGFileInfo::*name)() const) {
  if (!OwnFileInfo || OwnFileInfo->InfoFileName().empty()) return std::string();
  return ExeFolder(true) + (OwnFileInfo.get()->*name)();
}

// The profile functions read the whole file at every call: a record this large is not
// one a vendor writes, and is read as missing rather than parsed again and again.
bool TooLargeForARecord(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow > kRecordSizeLimit;
}

// An empty path must not reach the profile functions: they would read win.ini.
std::string ReadText(const std::string& file, const char* section, const char* key, const std::string& def) {
  return file.empty() || TooLargeForARecord(file) ? def : ReadIniString(file, section, key, def);
}

std::string Original(const char* section, const char* key, const std::string& def = "") {
  return ReadText(OriginalPath(), section, key, def);
}
std::string Info(const char* section, const char* key, const std::string& def = "") {
  return ReadText(InfoPath(), section, key, def);
}

std::int64_t OriginalInt64(const char* key) { return RecordInt64(Original(kOriginalSetup, key), 0); }
std::int32_t OriginalInt32(const char* key) { return RecordInt32(Original(kOriginalSetup, key), 0); }
bool InfoFlag(const char* key) { return RecordFlag(Info(kNewSetup, key, "0")); }

bool WriteOriginal(const char* key, std::int64_t value) {
  return WriteIniString(OriginalPath(), kOriginalSetup, key, std::to_string(value));
}
// A time key and its text twin.
bool WriteOriginalTime(const char* key, std::int64_t value) {
  const bool written = WriteOriginal(key, value);
  WriteIniString(OriginalPath(), kOriginalSetup, std::string(kTimeTextPrefix) + key, RecordTimeText(value));
  return written;
}

}  // namespace

std::string OriginalPath() { return RecordPath(&TGFileInfo::OriginalFileName); }
std::string InfoPath() { return RecordPath(&TGFileInfo::InfoFileName); }

std::int64_t RecordNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return RecordSecondsFromDateTime(
      EncodeDateTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds));
}

// ---- ".original" [OriginalSetup] ----
std::int64_t ProbeSecondsInterval() { return OriginalInt64("ProbeSecondsInterval"); }
bool SetProbeSecondsInterval(std::int64_t value) { return WriteOriginal("ProbeSecondsInterval", value); }
std::int64_t ProbeSecondsLast() { return OriginalInt64("ProbeSecondsLast"); }
bool SetProbeSecondsLast(std::int64_t value) { return WriteOriginalTime("ProbeSecondsLast", value); }
std::int64_t ReAskSecondsInterval() { return OriginalInt64("ReAskSecondsInterval"); }
bool SetReAskSecondsInterval(std::int64_t value) { return WriteOriginal("ReAskSecondsInterval", value); }
std::int64_t ReAskSecondsLast() { return OriginalInt64("ReAskSecondsLast"); }
bool SetReAskSecondsLast(std::int64_t value) { return WriteOriginalTime("ReAskSecondsLast", value); }
std::int32_t VersionOriginal() { return OriginalInt32("VersionOriginal"); }
bool SetVersionOriginal(std::int32_t value) { return WriteOriginal("VersionOriginal", value); }
// Stamps are only compared: a vendor may stamp with a date-time number wider than 31 bits.
std::int64_t OriginalStamp() { return OriginalInt64("Stamp"); }
bool SetOriginalStamp(std::int64_t value) { return WriteOriginal("Stamp", value); }
std::string OriginalProgramName() { return Original(kOriginalSetup, "ProgramName"); }

// ---- ".original" [Directories] and [UnInstall] ----
std::string TargetDir() { return Original(kDirectories, "TargetDir"); }
std::string SharedDir() { return Original(kDirectories, "SharedDir"); }
std::string AuxiliaryDir() { return Original(kDirectories, "AuxiliaryDir"); }
std::string StartUpLink() { return Original(kUnInstall, "StartUpLink"); }
std::string CheckforNewUpdateLink() { return Original(kUnInstall, "CheckforNewUpdateLink"); }

// ---- ".original" [MsgBox] ----
std::string MsgBoxBtnText() { return Original(kMsgBox, "BtnText", lang::kBtnText); }
std::string MsgBoxError() { return Original(kMsgBox, "Error", lang::kError); }
std::string MsgBoxConfirm() { return Original(kMsgBox, "Confirm", lang::kConfirm); }
std::string MsgBoxAttention() { return Original(kMsgBox, "Attention", lang::kAttention); }
int MsgBoxCharSet() { return RecordInt32(Original(kMsgBox, "CharSet"), lang::kCharset); }
std::string MsgBoxFontName() { return Original(kMsgBox, "FontName", lang::kFontName); }
int MsgBoxFontSize() { return RecordInt32(Original(kMsgBox, "FontSize"), lang::kFontSize); }

// ---- ".original" [AutoUpdate] ----
std::string AgentText(const std::string& id, const std::string& def) {
  return ReadText(OriginalPath(), kAutoUpdate, id.c_str(), def);
}
std::string AgentText(const std::string& id) { return AgentText(id, AgentTextDefault(id)); }

// ---- ".info" [NewSetup] ----
std::string DownloadURL_UPDATE() { return Info(kNewSetup, "DownloadURL_UPDATE"); }
std::string NameOfUpdateFile() { return Info(kNewSetup, "NameOfUpdateFile"); }
std::int64_t SizeOfUpdateFile() { return RecordInt64(Info(kNewSetup, "SizeOfUpdateFile"), 0); }
bool RequestConfirmationBeforeDownload() {
  return FlagWithOverride(2, InfoFlag("RequestConfirmationBeforeDownload"));
}
bool RequestConfirmationBeforeDownloadForce() {
  return FlagWithOverride(3, InfoFlag("RequestConfirmationBeforeDownloadForce"));
}
bool RequestConfirmationBeforeInstall() { return FlagWithOverride(4, InfoFlag("RequestConfirmationBeforeInstall")); }
bool RequestConfirmationBeforeInstallForce() {
  return FlagWithOverride(5, InfoFlag("RequestConfirmationBeforeInstallForce"));
}
bool BackgroundUpdate() { return FlagWithOverride(6, InfoFlag("BackgroundUpdate")); }
bool InformFinish() { return FlagWithOverride(7, InfoFlag("InformFinish")); }
bool RestartProcess() { return FlagWithOverride(8, InfoFlag("RestartProcess")); }
bool AskBeforeEachProbe() { return FlagWithOverride(1, false); }
std::string ShutDownMethod() { return Info(kNewSetup, "ShutDownMethod"); }
std::string RunningProcess() { return Info(kNewSetup, "RunningProcess"); }
std::string InfoProgramName() { return Info(kNewSetup, "ProgramName"); }
std::int32_t VersionNew() { return RecordInt32(Info(kNewSetup, "VersionNew"), 0); }
std::int64_t InfoStamp() { return RecordInt64(Info(kNewSetup, "Stamp"), 0); }
std::string ValidVersions() { return Info(kNewSetup, "ValidVersions"); }
bool RemoveStartUpShortcut() { return InfoFlag("RemoveStartUpShortcut"); }
bool RemoveCheckForNewUpdateShortcut() { return InfoFlag("RemoveCheckForNewUpdateShortcut"); }

// ---- ".info" [General] and [AutoInform] ----
std::int64_t AutoInform() { return RecordInt64(Info(kGeneral, "AutoInform"), 0); }
bool IsAutoInform() { return AutoInform() == 1; }
std::string DownloadURL_INFORM() { return Info(kAutoInform, "DownloadURL_INFORM"); }
std::string NameOfInformFile() { return Info(kAutoInform, "NameOfInformFile"); }
std::int64_t SizeOfInformFile() { return RecordInt64(Info(kAutoInform, "SizeOfInformFile"), 0); }
int AutoInformW() { return RecordInt32(Info(kAutoInform, "AutoInformW"), kDefaultInformSize); }
int AutoInformH() { return RecordInt32(Info(kAutoInform, "AutoInformH"), kDefaultInformSize); }

DecisionRecord ReadDecisionRecord(bool infoOK, bool manualCheck, std::int64_t now) {
  DecisionRecord record;
  record.infoOK = infoOK;
  record.manualCheck = manualCheck;
  record.versionOriginal = VersionOriginal();
  record.versionNew = VersionNew();
  record.originalStamp = OriginalStamp();
  record.infoStamp = InfoStamp();
  record.reAskDue = ReAskDue(now, ReAskSecondsLast(), ReAskSecondsInterval());
  record.validVersions = ValidVersions();
  return record;
}
