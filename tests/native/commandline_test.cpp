#include <gtest/gtest.h>

#include <string>

#include "system/CommandLine.h"

namespace {

const std::string kProgram = "C:\\Program Files\\My App\\setup.exe";

class CommandLineTest : public ::testing::Test {
 protected:
  void Use(const std::string& raw, const std::string& program = kProgram) { SetCommandLineSource(raw, program); }
  void TearDown() override { SetCommandLineSource("", ""); }
};

TEST_F(CommandLineTest, ArgumentsWithoutTheProgramName) {
  struct Case { std::string raw, program, args; };
  const Case cases[] = {
      {"\"" + kProgram + "\" /TH_ID=17  /hide ", kProgram, "/TH_ID=17  /hide"},
      {"\"C:\\PROGRAM FILES\\MY APP\\SETUP.EXE\" /a", kProgram, "/a"},     // name ignores case
      {"setup.exe /a=\"x y\"", kProgram, "/a=\"x y\""},
      {"\"" + kProgram + "\"", kProgram, ""},
      {kProgram + " \"", kProgram, ""},                                  // lone quote left over
      {"setup /a", kProgram, "setup /a"},                                // name not found at all
      {"  /a  ", "", "/a"},                                              // no program path known
  };
  for (const Case& c : cases) {
    Use(c.raw, c.program);
    EXPECT_EQ(CommandLineArgs(), c.args) << c.raw;
  }
}

TEST_F(CommandLineTest, OwnFileNameAndFolder) {
  Use("x", kProgram);
  EXPECT_EQ(ExeFileName(false), kProgram);
  EXPECT_EQ(ExeFileName(true), "setup");
  EXPECT_EQ(ExeFolder(true), "C:\\Program Files\\My App\\");
  EXPECT_EQ(ExeFolder(false), "C:\\Program Files\\My App");
  EXPECT_EQ(ProgramPath(), kProgram);
  EXPECT_EQ(RawCommandLine(), "x");
}

TEST_F(CommandLineTest, SwitchListSeparatesOnBlankAndSwitchChar) {
  Use("\"" + kProgram + "\" /a=\"x /y\" -b=2 /c");
  // Quotes are gone before splitting, so a quoted " /" splits too.
  EXPECT_EQ(SwitchList('/', '|'), "||a=x|y -b=2|c|");
  EXPECT_EQ(SwitchList('-', '|'), "| /a=x /y|b=2 /c|");
}

TEST_F(CommandLineTest, SwitchValues) {
  Use("\"" + kProgram +
      "\" /TH_ID=17 /SpanCdLvl= 2 /SpanDiskFName1=\"C:\\My Files\\a b.exe.001\" "
      "/OriginExe=\"D:\\x y\\setup.exe\" /Empty= /TRANSIENT=|1|0| /hide /TH_ID=99 -dash=5");
  struct Case { std::string name, def, expected; };
  const Case cases[] = {
      {"TH_ID", "x", "17"},                    // first occurrence wins
      {"/TH_ID=", "x", "17"},
      {"th_id", "x", "17"},
      {"SpanCdLvl", "x", "2"},                 // blank after "=" trimmed away
      {"/SpanDiskFName1=", "x", "C:\\My Files\\a b.exe.001"},
      {"/OriginExe=", "x", "D:\\x y\\setup.exe"},
      {"/Empty=", "x", ""},                    // present without value
      {"/TRANSIENT=", "x", "|1|0|"},
      {"/TRANSIENTx=", "", ""},
      {"/TRANSIENTx=", "x", "x"},
      {"ID", "x", "x"},                        // tail of a longer name
      {"hide", "x", "x"},                      // bare switch has no value
      {"Missing", "x", "x"},
      {"  ", "x", "x"},
      {"/=", "x", "x"},
      {"-dash", "x", "5"},
      {"dash", "x", "x"},                      // written with "-", asked with "/"
  };
  for (const Case& c : cases) EXPECT_EQ(GetSwitchValue(c.name, c.def), c.expected) << c.name;

  Use("\"" + kProgram + "\" /TRANSIENTx=|1|");
  EXPECT_EQ(GetSwitchValue("/TRANSIENT=", ""), "");
  EXPECT_EQ(GetSwitchValue("/TRANSIENTx=", ""), "|1|");
}

TEST_F(CommandLineTest, SwitchIntegers) {
  struct Case { std::string args; std::int64_t expected; };
  const Case cases[] = {
      {"/spancdlvl=2", 2},  {"/SpanCdLvl= 2 /x", 2},  {"/x=2", 1},
      {"/SpanCdLvl=two", 1}, {"/SpanCdLvl=", 1},     {"/SpanCdLvl=99999999999999999999", 1},
      {"/SpanCdLvl=-7", -7},
  };
  for (const Case& c : cases) {
    Use(kProgram + " " + c.args);
    EXPECT_EQ(GetSwitchInt("/SpanCdLvl=", 1), c.expected) << c.args;
  }
}

TEST_F(CommandLineTest, BareSwitches) {
  struct Case { std::string args, sw; bool expected; };
  const Case cases[] = {
      {"/a=1 /HIDE", "/hide", true},
      {"/hide /a=1", " /Hide ", true},
      {"/hidex", "/hide", false},
      {"/TH_ID=17", "/TH_ID", false},
      {"/x /autoupdateprog", "/AutoUpdateProg", true},
      {"/x", "", false},
  };
  for (const Case& c : cases) {
    Use("\"" + kProgram + "\" " + c.args);
    EXPECT_EQ(HasSwitch(c.sw), c.expected) << c.args << " " << c.sw;
  }
}

}  // namespace
