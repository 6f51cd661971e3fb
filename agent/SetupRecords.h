#pragma once
// The agent's setup records beside the agent: "<name>.original", the installed setup
// (kept up to date by the agent), and "<name>.info", the last copy of the published
// update description. One accessor per key; each opens the file by path, reads or writes
// that one key and closes it again, so a change made by another process is seen at the
// next read. A missing file, section or key gives the default, and so does every key of
// a file larger than kRecordSizeLimit; values are parsed by
// agent/SetupRecordsLogic. Both names come from StubInfo item 1 of the own package
// (OwnFileInfo): without a package or a name, both paths are empty and every read gives
// its default and every write fails.
#include <cstdint>
#include <string>

#include "agent/DecisionLogic.h"

std::string OriginalPath();
std::string InfoPath();

// Record time of this moment (seconds since 30 December 1899, local time).
std::int64_t RecordNow();

// ---- ".original" [OriginalSetup] ----
std::int64_t ProbeSecondsInterval();  // -1 never, 0 once per run, > 0 seconds
bool SetProbeSecondsInterval(std::int64_t value);
std::int64_t ProbeSecondsLast();
bool SetProbeSecondsLast(std::int64_t value);  // also writes "__ProbeSecondsLast" as text
std::int64_t ReAskSecondsInterval();
bool SetReAskSecondsInterval(std::int64_t value);
std::int64_t ReAskSecondsLast();
bool SetReAskSecondsLast(std::int64_t value);  // also writes "__ReAskSecondsLast" as text
std::int32_t VersionOriginal();
bool SetVersionOriginal(std::int32_t value);
std::int64_t OriginalStamp();  // Stamp (64-bit: stamps are only compared)
bool SetOriginalStamp(std::int64_t value);
std::string OriginalProgramName();  // ProgramName

// ---- ".original" [Directories] and [UnInstall] ----
std::string TargetDir();
std::string SharedDir();
std::string AuxiliaryDir();
std::string StartUpLink();
std::string CheckforNewUpdateLink();

// ---- ".original" [MsgBox]: the agent's message boxes ----
std::string MsgBoxBtnText();  // BtnText, default the seven captions
std::string MsgBoxError();
std::string MsgBoxConfirm();
std::string MsgBoxAttention();
int MsgBoxCharSet();
std::string MsgBoxFontName();
int MsgBoxFontSize();

// ---- ".original" [AutoUpdate]: the agent's texts by id ("s2" ... "s35") ----
std::string AgentText(const std::string& id, const std::string& def);
// With the id's own default (AgentTextDefault).
std::string AgentText(const std::string& id);

// ---- ".info" [NewSetup] ----
std::string DownloadURL_UPDATE();
std::string NameOfUpdateFile();
std::int64_t SizeOfUpdateFile();
// Flags that an override can replace (O2 .. O8).
bool RequestConfirmationBeforeDownload();       // O2
bool RequestConfirmationBeforeDownloadForce();  // O3
bool RequestConfirmationBeforeInstall();        // O4
bool RequestConfirmationBeforeInstallForce();   // O5
bool BackgroundUpdate();                        // O6
bool InformFinish();                            // O7
bool RestartProcess();                          // O8
// O1: ask before each probe; no record key, so only the override can set it.
bool AskBeforeEachProbe();
std::string ShutDownMethod();
std::string RunningProcess();
std::string InfoProgramName();  // ProgramName
std::int32_t VersionNew();
std::int64_t InfoStamp();  // Stamp (64-bit)
std::string ValidVersions();
bool RemoveStartUpShortcut();
bool RemoveCheckForNewUpdateShortcut();

// ---- ".info" [General] and [AutoInform] ----
std::int64_t AutoInform();
bool IsAutoInform();  // AutoInform is 1: the ".info" announces news
std::string DownloadURL_INFORM();
std::string NameOfInformFile();
std::int64_t SizeOfInformFile();
int AutoInformW();
int AutoInformH();

// ---- The decision's view of both records ----
// What DecisionStage looks at, read from the records at this moment; the re-ask rule is
// applied at now (record time).
DecisionRecord ReadDecisionRecord(bool infoOK, bool manualCheck, std::int64_t now);
