#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "driver/StubLogic.h"
#include "system/CommandLine.h"

TEST(StubRole, FirstMatchingRoleWins) {
  struct Case {
    bool window, plainAgent, workingCopy, spanCopy;
    StubRole role;
  } cases[] = {
      {true, true, false, true, StubRole::AlreadyRunning},
      {true, false, false, false, StubRole::AlreadyRunning},
      {false, true, false, true, StubRole::StartWorkingCopy},
      {false, false, true, true, StubRole::WorkingCopy},
      {false, false, false, true, StubRole::SpanLauncher},
      {false, false, false, false, StubRole::PlainStub},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseStubRole(c.window, c.plainAgent, c.workingCopy, c.spanCopy), c.role)
        << c.window << c.plainAgent << c.workingCopy << c.spanCopy;
}

TEST(StubNames, AgentNameChecks) {
  struct Case {
    const char* path;
    const char* agent;
    const char* prefix;
    bool match;
  } cases[] = {
      {"C:\\App\\update.EXE", "Update.exe", "", true},
      {"C:\\App\\Update.exe", " Update.exe ", "", true},
      {"C:\\App\\X_Update.exe", "Update.exe", "X_", true},
      {"C:\\App\\x_update.exe", "Update.exe", "X_", true},
      {"C:\\App\\X_Update.exe", "Update.exe", "", false},
      {"C:\\App\\Update.exe", "Update.exe", "X_", false},
      {"C:\\App\\Setup.exe", "Update.exe", "", false},
      {"C:\\Update.exe\\Setup.exe", "Update.exe", "", false},
      {"C:\\App\\.exe", "", "", false},  // no agent name: never an agent's file
  };
  for (const Case& c : cases) EXPECT_EQ(IsAgentExeName(c.path, c.agent, c.prefix), c.match) << c.path << " " << c.agent;
}

TEST(StubNames, WindowClassesOfStubsAndAgents) {
  EXPECT_EQ(StubClassNameFor(false, "C:\\Down loads\\Setup.exe"), "C:\\Down loads\\Setup.exe");
  const std::string app = "." + AgentFolderDigest("C:\\App\\Update.exe");
  EXPECT_EQ(app.size(), 17u);
  EXPECT_EQ(StubClassNameFor(true, "C:\\App\\Update.exe"), ".AutoUpdate.Update" + app);
  EXPECT_EQ(StubClassNameFor(true, "C:\\App\\X_Update.exe"), ".AutoUpdate.X_Update" + app);
  EXPECT_EQ(StubClassNameFor(true, "C:\\App\\My.Update.exe"), ".AutoUpdate.My.Update" + app);
  // The working copy's class, as the plain agent and the copy itself make it.
  EXPECT_EQ(WorkingCopyClassName("Update.exe", "C:\\App\\Update.exe"), StubClassNameFor(true, "C:\\App\\X_Update.exe"));
  EXPECT_EQ(WorkingCopyClassName(" Update.exe ", "C:\\App\\X_Update.exe"), ".AutoUpdate.X_Update" + app);
  // The lock is a file in the agent's folder, named after the agent, whoever asks.
  EXPECT_EQ(WorkingCopyLockPath(" Update.exe ", "C:\\App\\Update.exe"), "C:\\App\\X_Update.lock");
  EXPECT_EQ(WorkingCopyLockPath("My.Update.exe", "C:\\App\\X_My.Update.exe"), "C:\\App\\X_My.Update.lock");
}

TEST(StubNames, AgentsOfDifferentProductsKeepApart) {
  // Two products whose agents are both Update.exe: their working copies must not meet.
  EXPECT_NE(WorkingCopyClassName("Update.exe", "C:\\Editor\\Update.exe"),
            WorkingCopyClassName("Update.exe", "C:\\Viewer\\Update.exe"));
  EXPECT_NE(WorkingCopyClassName("Update.exe", "C:\\Editor\\Update.exe"),
            WorkingCopyClassName("Update.exe", "D:\\Editor\\Update.exe"));
  // The same folder written in another case is the same folder.
  EXPECT_EQ(WorkingCopyClassName("Update.exe", "C:\\Program Files\\Editor\\Update.exe"),
            WorkingCopyClassName("Update.exe", "c:\\PROGRAM FILES\\editor\\X_Update.exe"));
}

TEST(ClientSwitch, OnlyAWindowAndAnApplicationMessage) {
  struct Case {
    std::int32_t window;
    std::int64_t message;
    bool allowed;
  } cases[] = {
      {132456, 32768, true},       // the host of the documented example
      {132456, 0x0400, true},      // WM_USER
      {132456, 0xFFFF, true},      // a registered message
      {65535, 16, false},          // HWND_BROADCAST with WM_CLOSE: every window of the session
      {65535, 0x8007, false},      // the broadcast handle, whatever the message
      {0, 0x8007, false},          // no window
      {132456, 16, false},         // WM_CLOSE
      {132456, 18, false},         // WM_QUIT
      {132456, 0x03FF, false},     // below WM_USER
      {132456, 0x10000, false},    // no message number
      {132456, 0x100000010, false},  // cut to 32 bits it would be WM_CLOSE
      {132456, -1, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClientRegistrationAllowed(c.window, c.message), c.allowed) << c.window << ":" << c.message;
}

TEST(AgentLog, FileNameIsSharedByTheAgentAndItsWorkingCopy) {
  struct Case {
    const char* program;
    const char* log;
  } cases[] = {
      {"C:\\App\\Update.exe", "C:\\App\\X_Update.log"},
      {"C:\\App\\X_Update.exe", "C:\\App\\X_Update.log"},
      {"C:\\App\\x_Update.exe", "C:\\App\\X_x_Update.log"},  // the prefix is matched exactly
      {"C:\\My.App\\Update", "C:\\My.App\\X_Update.log"},
      {"C:\\App\\Up.v2.exe", "C:\\App\\X_Up.v2.log"},
  };
  for (const Case& c : cases) EXPECT_EQ(AgentLogFileNameFor(c.program), c.log) << c.program;
}

TEST(AgentLog, LineLayout) {
  EXPECT_EQ(AgentLogLine("03/04/24 10:11:12", 456, "   ", "WinMain"), "03/04/24 10:11:12   456   WinMain\r\n");
  EXPECT_EQ(AgentLogLine("03/04/24 10:11:12", 456, " X ", "WinMain"), "03/04/24 10:11:12   456 X WinMain\r\n");
  EXPECT_EQ(AgentLogLine("03/04/24 10:11:12", 1234567, "   ", ""), "03/04/24 10:11:12 1234567   \r\n");
}

TEST(SpanCopy, CommandLineCarriesTheSpanSwitchesToTheCopy) {
  const std::string launcher = "D:\\Disk One\\Setup.exe";
  const std::string copy = SpanCopyPath("C:\\Temp\\SETUP_23100", launcher);
  EXPECT_EQ(copy, "C:\\Temp\\SETUP_23100\\Y_Setup.exe");

  EXPECT_EQ(SpanCopyArguments("", launcher),
            "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\Disk One\\Setup.exe.001\" /OriginExe=\"D:\\Disk One\\Setup.exe\"");

  // The copy reads the switches back from its own command line.
  std::string args = SpanCopyArguments("/hide /LANG=de", launcher);
  SetCommandLineSource("\"" + copy + "\" " + args, copy);
  EXPECT_EQ(GetSwitchInt("/SpanCdLvl=", 1), 2);
  EXPECT_EQ(GetSwitchValue("/SpanDiskFName1=", ""), "D:\\Disk One\\Setup.exe.001");
  EXPECT_EQ(GetSwitchValue("/OriginExe=", ""), launcher);
  EXPECT_EQ(GetSwitchValue("/LANG=", ""), "de");
  EXPECT_TRUE(HasSwitch("/hide"));
  SetCommandLineSource("", "");
}

TEST(SetupTempFolder, NameFollowsTheFileTime) {
  EXPECT_EQ(SetupTempFolderName("C:\\Temp\\", 0x5A3C), "C:\\Temp\\SETUP_23100");
  EXPECT_EQ(SetupTempFolderName("C:\\Temp\\", 0), "C:\\Temp\\SETUP_0");
}
