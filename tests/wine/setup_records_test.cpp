#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "agent/SetupRecords.h"
#include "agent/SetupRecordsLogic.h"
#include "driver/StubGlob.h"
#include "system/CommandLine.h"
#include "system/Utils.h"
#include "system/WinUtils.h"
#include "tests/wine/TestSupport.h"
#include "system/TestHooks.h"

namespace {

// An agent in a private folder: its package names the ".info" file with StubInfo item 1,
// and the records lie beside the agent's path.
class AgentRecords : public ::testing::Test {
 protected:
  void SetUp() override { UseInfoName("MyApp.setup.info"); }
  void TearDown() override {
    DeleteFileA(OriginalPath().c_str());
    DeleteFileA(InfoPath().c_str());
    RemoveDirectoryA(folder_.c_str());
    OwnFileInfo.reset();
    ResetOverrides();
    SetCommandLineSource("", "");
  }
  void UseInfoName(const std::string& item1) {
    folder_ = TempFolder() + "records." + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    SetCommandLineSource("\"" + folder_ + "\\Agent.exe\"", folder_ + "\\Agent.exe");
    OwnFileInfo = std::make_unique<TGFileInfo>(folder_ + "\\no-package.exe");
    OwnFileInfo->StubInfo = "|http://updates.example/app/|" + item1 + "|Agent.exe|";
  }
  static void PutFile(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
  }
  std::string folder_;
};

TEST_F(AgentRecords, NamesComeFromTheInfoName) {
  EXPECT_EQ(InfoPath(), folder_ + "\\MyApp.setup.info");
  EXPECT_EQ(OriginalPath(), folder_ + "\\MyApp.original");
  UseInfoName("http://updates.example/app/Other.info");
  EXPECT_EQ(InfoPath(), folder_ + "\\Other.info");
  EXPECT_EQ(OriginalPath(), folder_ + "\\Other.original");
}

TEST_F(AgentRecords, MissingFilesGiveEveryDefault) {
  EXPECT_EQ(ProbeSecondsInterval(), 0);
  EXPECT_EQ(ReAskSecondsLast(), 0);
  EXPECT_EQ(VersionOriginal(), 0);
  EXPECT_EQ(OriginalStamp(), 0);
  EXPECT_EQ(OriginalProgramName(), "");
  EXPECT_EQ(TargetDir(), "");
  EXPECT_EQ(CheckforNewUpdateLink(), "");
  EXPECT_EQ(MsgBoxBtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(MsgBoxError(), "Error");
  EXPECT_EQ(MsgBoxConfirm(), "Confirm");
  EXPECT_EQ(MsgBoxAttention(), "Attention");
  EXPECT_EQ(MsgBoxCharSet(), 0);
  EXPECT_EQ(MsgBoxFontName(), "Tahoma");
  EXPECT_EQ(MsgBoxFontSize(), 8);
  EXPECT_EQ(AgentText("s3"), "File Download Aborted!");
  EXPECT_EQ(AgentText("s32"), "Downloading UPDATE File...");
  EXPECT_EQ(AgentText("s21"), "");
  EXPECT_EQ(DownloadURL_UPDATE(), "");
  EXPECT_EQ(SizeOfUpdateFile(), 0);
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  EXPECT_FALSE(RestartProcess());
  EXPECT_FALSE(AskBeforeEachProbe());
  EXPECT_EQ(VersionNew(), 0);
  EXPECT_EQ(InfoStamp(), 0);
  EXPECT_FALSE(IsAutoInform());
  EXPECT_EQ(AutoInformW(), 360);
  EXPECT_EQ(AutoInformH(), 360);
  // Reading created nothing.
  EXPECT_EQ(GetFileAttributesA(OriginalPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(AgentRecords, RecordsAreReadFreshAtEveryCall) {
  PutFile(OriginalPath(),
            "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=7\r\nProgramName=<B>Demo</B>\r\n"
            "[Directories]\r\nTargetDir=C:\\Program Files\\Demo\r\n"
            "[MsgBox]\r\nFontName=Arial\r\nFontSize=10\r\nCharSet=204\r\n"
            "[AutoUpdate]\r\ns3=Abgebrochen\r\ns21=Nothing new for PROG_NAME\r\n");
  PutFile(InfoPath(),
            "[NewSetup]\r\nVersionNew=101\r\nStamp=8\r\nRequestConfirmationBeforeDownload=1\r\n"
            "BackgroundUpdate=yes\r\nShutDownMethod=Using WM_CLOSE\r\nValidVersions=99,100\r\n"
            "SizeOfUpdateFile=1000000\r\n[General]\r\nAutoInform=1\r\n[AutoInform]\r\nAutoInformW=500\r\n");
  EXPECT_EQ(VersionOriginal(), 100);
  EXPECT_EQ(OriginalStamp(), 7);
  EXPECT_EQ(OriginalProgramName(), "<B>Demo</B>");
  EXPECT_EQ(TargetDir(), "C:\\Program Files\\Demo");
  EXPECT_EQ(MsgBoxFontName(), "Arial");
  EXPECT_EQ(MsgBoxFontSize(), 10);
  EXPECT_EQ(MsgBoxCharSet(), 204);
  EXPECT_EQ(AgentText("s3"), "Abgebrochen");
  EXPECT_EQ(AgentText("s21"), "Nothing new for PROG_NAME");
  EXPECT_EQ(VersionNew(), 101);
  EXPECT_EQ(InfoStamp(), 8);
  EXPECT_TRUE(RequestConfirmationBeforeDownload());
  EXPECT_FALSE(BackgroundUpdate());  // "yes" is not "1"
  EXPECT_EQ(ShutDownMethod(), "Using WM_CLOSE");
  EXPECT_EQ(ValidVersions(), "99,100");
  EXPECT_EQ(SizeOfUpdateFile(), 1000000);
  EXPECT_TRUE(IsAutoInform());
  EXPECT_EQ(AutoInformW(), 500);
  EXPECT_EQ(AutoInformH(), 360);

  // Another process rewrites the records: the next read sees it.
  PutFile(OriginalPath(), "[OriginalSetup]\r\nVersionOriginal=102\r\n");
  PutFile(InfoPath(), "");
  EXPECT_EQ(VersionOriginal(), 102);
  EXPECT_EQ(OriginalStamp(), 0);
  EXPECT_EQ(VersionNew(), 0);
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
}

TEST_F(AgentRecords, OverridesTakeThePlaceOfInfoFlags) {
  PutFile(InfoPath(), "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\nRestartProcess=0\r\n");
  ASSERT_TRUE(SetOverride(2, 0));
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  ASSERT_TRUE(SetOverride(8, 1));
  EXPECT_TRUE(RestartProcess());
  OverridesFromText("|1|255|255|255|255|255|1|0|");
  EXPECT_TRUE(AskBeforeEachProbe());
  EXPECT_TRUE(RequestConfirmationBeforeDownload());  // back to the record
  EXPECT_TRUE(RequestConfirmationBeforeDownloadForce());
  EXPECT_FALSE(RequestConfirmationBeforeInstallForce());
}

TEST_F(AgentRecords, WritesKeepTheOtherKeysAndMirrorTimesAsText) {
  PutFile(OriginalPath(), "[OriginalSetup]\r\nProgramName=Demo\r\n[AutoUpdate]\r\ns21=x\r\n");
  const std::int64_t when = RecordSecondsFromDateTime(EncodeDateTime(2026, 12, 8, 14, 30, 5));
  EXPECT_TRUE(SetProbeSecondsLast(when));
  EXPECT_TRUE(SetReAskSecondsLast(when + 60));
  EXPECT_TRUE(SetProbeSecondsInterval(-1));
  EXPECT_TRUE(SetReAskSecondsInterval(86400));
  EXPECT_TRUE(SetVersionOriginal(101));
  EXPECT_TRUE(SetOriginalStamp(-9));
  EXPECT_EQ(ProbeSecondsLast(), when);
  EXPECT_EQ(ReAskSecondsLast(), when + 60);
  EXPECT_EQ(ProbeSecondsInterval(), -1);
  EXPECT_EQ(ReAskSecondsInterval(), 86400);
  EXPECT_EQ(VersionOriginal(), 101);
  EXPECT_EQ(OriginalStamp(), -9);
  EXPECT_TRUE(SetOriginalStamp(202603011215));  // a date-time stamp, as the decision records it
  EXPECT_EQ(OriginalStamp(), 202603011215);
  EXPECT_EQ(OriginalProgramName(), "Demo");
  EXPECT_EQ(AgentText("s21"), "x");
  const std::string text = ReadWholeFile(OriginalPath());
  EXPECT_NE(text.find("__ProbeSecondsLast=08-DEC-2026 14:30:05"), std::string::npos) << text;
  EXPECT_NE(text.find("__ReAskSecondsLast=08-DEC-2026 14:31:05"), std::string::npos) << text;
  // The record time of now is today's date.
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(RecordTimeText(RecordNow()).substr(0, 11),
            DateToText(EncodeDateTime(now.wYear, now.wMonth, now.wDay)));
}

TEST_F(AgentRecords, HostileRecordsGiveDefaults) {
  const std::string huge(40000, '9');
  PutFile(OriginalPath(), "garbage without sections\r\n[OriginalSetup\r\nVersionOriginal=1\r\n"
                            "[OriginalSetup]\r\nProbeSecondsInterval=99999999999999999999\r\n"
                            "ProbeSecondsLast=-9223372036854775808\r\nStamp=18446744073709551616\r\n"
                            "[MsgBox]\r\nFontSize=" + huge + "\r\nCharSet=<B>1</B>\r\n");
  std::string info = "[NewSetup]\r\nVersionNew=2147483648\r\nSizeOfUpdateFile=1e9\r\nValidVersions=" +
                     std::string(200000, ',') + "\r\nShutDownMethod=<P><B>" + std::string(20000, 'x') +
                     "</B>\r\n[AutoInform]\r\nAutoInformW=-99999999999\r\n";
  for (int i = 0; i < 20000; ++i) info += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  PutFile(InfoPath(), info);
  EXPECT_EQ(VersionOriginal(), 0);  // the key above lies in a broken section header
  EXPECT_EQ(ProbeSecondsInterval(), 0);
  EXPECT_EQ(ProbeSecondsLast(), INT64_MIN);
  EXPECT_EQ(OriginalStamp(), 0);
  EXPECT_EQ(MsgBoxFontSize(), 8);
  EXPECT_EQ(MsgBoxCharSet(), 0);
  EXPECT_EQ(VersionNew(), 0);
  EXPECT_EQ(SizeOfUpdateFile(), 0);
  EXPECT_EQ(AutoInformW(), 360);
  EXPECT_EQ(ShutDownMethod().size(), 20000u + 10u);
  EXPECT_LE(ValidVersions().size(), 200000u);
}

TEST_F(AgentRecords, EveryDecisionStageReachedByRecordsMadeForIt) {
  const std::int64_t now = RecordNow();
  const std::string original = "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=5\r\n";
  const std::string info = "[NewSetup]\r\nVersionNew=101\r\nStamp=6\r\nValidVersions=99,100\r\n";
  const std::string reAskDue = "ReAskSecondsInterval=60\r\nReAskSecondsLast=" + std::to_string(now - 61) + "\r\n";
  const std::string reAskNotDue = "ReAskSecondsInterval=60\r\nReAskSecondsLast=" + std::to_string(now - 59) + "\r\n";
  const struct {
    const char* name;
    std::string original, info;
    bool infoOK, manualCheck, sizeOK;
    int stage;
  } cases[] = {
      {"fetch failed", original, info, false, false, true, 0},
      {"no .original", "", info, true, false, true, 1},
      {"unreadable version", "[OriginalSetup]\r\nVersionOriginal=abc\r\nStamp=5\r\n", info, true, false, true, 1},
      {"same stamp", original, "[NewSetup]\r\nVersionNew=101\r\nStamp=5\r\n", true, false, true, 2},
      {"same stamp, re-ask not yet due", original + reAskNotDue, "[NewSetup]\r\nVersionNew=101\r\nStamp=5\r\n",
       true, false, true, 2},
      {"same stamp, re-ask due", original + reAskDue, "[NewSetup]\r\nVersionNew=101\r\nStamp=5\r\n", true, false,
       true, 6},
      {"same stamp, manual check", original, "[NewSetup]\r\nVersionNew=101\r\nStamp=5\r\n", true, true, true, 6},
      {"not newer", original, "[NewSetup]\r\nVersionNew=100\r\nStamp=6\r\n", true, false, true, 3},
      {"empty .info (failed fetch copy)", original, "", true, false, true, 3},
      {"not a valid version", original, "[NewSetup]\r\nVersionNew=101\r\nStamp=6\r\nValidVersions=99, 100\r\n",
       true, false, true, 4},
      {"size differs", original, info, true, false, false, 5},
      {"all passed", original, info, true, false, true, 6},
      // Stamps are date-time numbers for some vendors: wider than 31 bits, still compared.
      {"new wide stamp", "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=202603011200\r\n",
       "[NewSetup]\r\nVersionNew=101\r\nStamp=202603011215\r\n", true, false, true, 6},
      {"same wide stamp", "[OriginalSetup]\r\nVersionOriginal=100\r\nStamp=202603011200\r\n",
       "[NewSetup]\r\nVersionNew=101\r\nStamp=202603011200\r\n", true, false, true, 2},
  };
  for (const auto& c : cases) {
    PutFile(OriginalPath(), c.original);
    PutFile(InfoPath(), c.info);
    const DecisionRecord record = ReadDecisionRecord(c.infoOK, c.manualCheck, now);
    EXPECT_EQ(DecisionStage(record, [&] { return c.sizeOK; }), c.stage) << c.name;
  }
}

TEST_F(AgentRecords, OversizedRecordsReadAsMissing) {
  const std::string keys = "[NewSetup]\r\nVersionNew=101\r\n[General]\r\nAutoInform=1\r\n";
  PutFile(InfoPath(), keys + "[Padding]\r\n" + std::string(records::kRecordSizeLimit - keys.size() - 11, 'p'));
  EXPECT_EQ(VersionNew(), 101);  // exactly at the limit
  PutFile(InfoPath(), keys + "[Padding]\r\n" + std::string(records::kRecordSizeLimit, 'p'));
  const DWORD start = GetTickCount();
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(VersionNew(), 0);
    EXPECT_FALSE(IsAutoInform());
  }
  EXPECT_LT(GetTickCount() - start, 2000u);
  PutFile(OriginalPath(), "[OriginalSetup]\r\nVersionOriginal=100\r\n" + std::string(2 * records::kRecordSizeLimit, ';'));
  EXPECT_EQ(VersionOriginal(), 0);  // the decision stops at "Error reading .ORIGINAL file"
}

TEST(AgentRecordsWithoutPackage, NothingIsReadOrWritten) {
  OwnFileInfo.reset();
  EXPECT_EQ(OriginalPath(), "");
  EXPECT_EQ(InfoPath(), "");
  EXPECT_EQ(MsgBoxFontName(), "Tahoma");
  EXPECT_EQ(VersionOriginal(), 0);
  EXPECT_FALSE(SetVersionOriginal(5));
  EXPECT_FALSE(SetProbeSecondsLast(5));
  // Without an ".info" name neither record exists (not even "<folder>\.original").
  OwnFileInfo = std::make_unique<TGFileInfo>("no-package.exe");
  OwnFileInfo->StubInfo = "|http://x/||Agent.exe|";
  EXPECT_EQ(OriginalPath(), "");
  EXPECT_FALSE(SetOriginalStamp(1));
  OwnFileInfo.reset();
}

}  // namespace
