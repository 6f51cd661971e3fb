#include <gtest/gtest.h>

#include <string>

#include "package/SetupLogic.h"

TEST(SetupLogic, SizeTextDecimalsFollowTheSize) {
  struct Case {
    double bytes;
    const char* text;
  } cases[] = {
      {134365340, "128.1"},   // above 10 MB: one decimal
      {10485760, "10.00"},    // exactly 10 MB is not above 10
      {5242880, "5.00"},      // from 1 MB: two decimals
      {1048576, "1.00"},
      {524288, "0.500"},      // below 1 MB: three decimals
      {1048575, "1.000"},     // rounds up but keeps the small-size format
      {0, "0.000"},
      {-4096, "0.000"},       // negative counts as nothing
      {5e12, "4768371.6"},    // no thousands separators
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(SetupLogic, RemoveSwitchCutsUpToTheNextSwitch) {
  struct Case {
    const char* line;
    const char* sw;
    const char* result;
  } cases[] = {
      {"E.exe /SpanCdLvl=2 /TH_ID=_7", "/SpanCdLvl=", "E.exe /TH_ID=_7"},
      {"E.exe /TH_ID=_7 /SpanCdLvl=2", "/SpanCdLvl=", "E.exe /TH_ID=_7 "},
      {"E.exe /SpanDiskFName1=\"C:\\a b\\s.exe.001\" /X", "/SpanDiskFName1=", "E.exe /X"},
      {"E.exe /spancdlvl=2 /X", "/SpanCdLvl=", "E.exe /spancdlvl=2 /X"},  // exact case only
      {"E.exe /A=1 /A=2", "/A=", "E.exe /A=2"},                           // first occurrence only
      {"E.exe /P=x/y /Q", "/P=", "E.exe /y /Q"},                          // a "/" in the value ends the cut
      {"E.exe", "/X=", "E.exe"},
      {"", "/X=", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoveSwitch(c.line, c.sw), c.result) << c.line;
}

TEST(SetupLogic, EngineCommandLine) {
  const std::string folder = "C:\\Temp\\SETUP_123";
  const std::string stub = "C:\\cd\\Setup.exe";
  struct Case {
    const char* entry;
    const char* arguments;
    bool agent;
    std::string expected;
  } cases[] = {
      // Entry with "*" and no arguments of its own; the stub's "/hide" goes on.
      {"Engine.exe*", "/hide", false,
       folder + "\\Engine.exe /hide /TH_ID=_42 /OriginExe=\"" + stub + "\""},
      // The entry's arguments are trimmed and follow the stub's.
      {"Setup.exe* /S", "", false, folder + "\\Setup.exe /S /TH_ID=_42 /OriginExe=\"" + stub + "\""},
      {" Setup.exe * /S /V ", "/hide", false,
       folder + "\\Setup.exe /hide /S /V /TH_ID=_42 /OriginExe=\"" + stub + "\""},
      // Arguments of the span copy: both span switches go, its /OriginExe= stays alone.
      {"Engine.exe*", "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\Setup.exe.001\" /OriginExe=\"D:\\Setup.exe\"", false,
       folder + "\\Engine.exe /OriginExe=\"D:\\Setup.exe\" /TH_ID=_42"},
      // The agent says so; an entry without "*" is the engine name as it stands.
      {"Engine.exe", "", true, folder + "\\Engine.exe /TH_ID=_42 /OriginExe=\"" + stub + "\" /AutoUpdateProg"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(EngineCommandLine(folder + "\\", c.entry, c.arguments, ThreadToken(42), stub, c.agent), c.expected)
        << c.entry << " / " << c.arguments;
  EXPECT_EQ(EngineName(" Setup.exe * /S"), "Setup.exe");
  EXPECT_EQ(EngineName("Engine.exe"), "Engine.exe");
}

TEST(SetupLogic, SpaceQuestion) {
  SpaceTexts texts{"note <DRIVE>|", "short <DRIVE>|", "need <SPACE_REQ>|", "free <SPACE_AVAIL>|", "go?"};
  const double mb = 1048576;
  // Enough room and no note: no question.
  EXPECT_EQ(SpaceQuestionText(texts, "c:\\temp", false, 1 * mb, 2 * mb), "");
  // The note is asked even with room; every placeholder is filled.
  EXPECT_EQ(SpaceQuestionText(texts, "c:\\temp", true, 1 * mb, 20 * mb), "note C:|need 1.00|free 20.0|go?");
  // Short space replaces the note; equal counts as short.
  EXPECT_EQ(SpaceQuestionText(texts, "d:\\t", true, 2 * mb, 2 * mb), "short D:|need 2.00|free 2.00|go?");
  EXPECT_EQ(SpaceQuestionText(texts, "d:\\t", false, 3 * mb, 0.5 * mb), "short D:|need 3.00|free 0.500|go?");
  // No folder: no drive letter.
  EXPECT_EQ(SpaceQuestionText(texts, "", false, 1, 0), "short |need 0.000|free 0.000|go?");
}
