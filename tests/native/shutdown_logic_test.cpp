// The shut-down methods by name and the rule for the program a downloaded record may
// name: only a file inside the product's or the agent's folders.
#include <gtest/gtest.h>

#include "agent/ShutDownLogic.h"

namespace {

TEST(ShutDownLogic, MethodNamesCompareExactly) {
  EXPECT_EQ(ShutDownKindOf("Issue a Message Box"), ShutDownKind::AskInBox);
  EXPECT_EQ(ShutDownKindOf("Using WM_CLOSE"), ShutDownKind::Close);
  EXPECT_EQ(ShutDownKindOf("Using WM_QUIT"), ShutDownKind::Quit);
  EXPECT_EQ(ShutDownKindOf("Using Terminate Process"), ShutDownKind::Terminate);
  EXPECT_EQ(ShutDownKindOf("Don't Shut Down"), ShutDownKind::DontShutDown);
  for (const char* other : {"", "using wm_close", "Don't Shut Down ", "Terminate"})
    EXPECT_EQ(ShutDownKindOf(other), ShutDownKind::WaitOnly) << other;
}

TEST(ShutDownLogic, RunningProcessOnlyInsideTheProductsFolders) {
  const std::vector<std::string> folders = {"C:\\Program Files\\Sample\\", "d:\\shared", "\\\\srv\\apps\\Sample",
                                            "", "C:\\", "relative\\dir", "E:\\Bad\\..\\Other"};
  struct Case {
    const char* path;
    bool allowed;
  } cases[] = {
      {"C:\\Program Files\\Sample\\Host.exe", true},
      {"c:\\PROGRAM FILES\\sample\\bin\\host.exe", true},  // a-z fold, sub-folder
      {"D:\\Shared\\tool.exe", true},
      {"\\\\SRV\\apps\\Sample\\host.exe", true},
      {"C:\\Program Files\\Sample", false},           // the folder itself
      {"C:\\Program Files\\Sample\\", false},          // names a folder
      {"C:\\Program Files\\SampleX\\host.exe", false},  // prefix of another folder
      {"C:\\Program Files\\Sample\\..\\Other\\x.exe", false},
      {"C:\\Program Files\\Sample\\...\\x.exe", false},
      {"C:\\Program Files\\Sample\\.\\x.exe", false},
      {"C:\\Program Files\\Sample\\NUL.exe", false},  // device
      {"C:\\Program Files\\Sample\\com1", false},
      {"C:\\Program Files\\Sample\\x.exe:stream", false},
      {"C:\\Program Files\\Sample\\x*.exe", false},
      {"C:\\Program Files\\Sample\\x\".exe", false},
      {"C:\\Program Files\\Sample/x.exe", false},
      {"C:\\Program Files\\Sample\\\\x.exe", false},
      {"C:\\Windows\\System32\\cmd.exe", false},  // "C:\" is no folder of the product
      {"E:\\Other\\x.exe", false},                 // a folder with ".." counts for nothing
      {"relative\\dir\\x.exe", false},
      {"\\\\?\\C:\\Program Files\\Sample\\Host.exe", false},
      {"\\\\.\\C:\\Program Files\\Sample\\Host.exe", false},
      {"Host.exe", false},
      {"", false},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(IsAllowedRunningProcess(c.path, folders, &reason), c.allowed) << c.path;
    EXPECT_EQ(reason.empty(), c.allowed) << c.path;
  }
  EXPECT_FALSE(IsAllowedRunningProcess("C:\\Program Files\\Sample\\Host.exe", {}));
}

TEST(ShutDownLogic, StopRequest) {
  RequestAgentStop(true);
  EXPECT_TRUE(AgentStopRequested());
  RequestAgentStop(false);
  EXPECT_FALSE(AgentStopRequested());
}

}  // namespace
