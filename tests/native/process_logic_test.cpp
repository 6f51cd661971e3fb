#include <gtest/gtest.h>

#include <map>

#include "system/FilesLogic.h"
#include "system/ProcessLogic.h"

TEST(SelfDeleteBatch, LoopsUntilTheExeIsGoneThenRemovesFolderAndItself) {
  const std::string with = SelfDeleteBatchText("C:\\Users\\a\\Setup.exe", "C:\\Temp\\_DEL_ME_.BAT", true);
  EXPECT_EQ(with,
            ":START\r\n"
            "DEL \"C:\\Users\\a\\Setup.exe\"\r\n"
            "IF exist \"C:\\Users\\a\\Setup.exe\" GOTO START\r\n"
            "RD \"C:\\Users\\a\"\r\n"
            "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
  const std::string without = SelfDeleteBatchText("C:\\Users\\a\\Setup.exe", "C:\\Temp\\_DEL_ME_.BAT", false);
  EXPECT_EQ(without.find("RD "), std::string::npos);
  EXPECT_NE(without.find("GOTO START\r\nDEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n"), std::string::npos);
}

TEST(RemovalAtRestart, AFileListedOnceIsNotListedAgain) {
  using namespace std::string_literals;
  const std::string exe = "C:\\App\\X_Update.exe";
  const struct {
    std::string list;
    bool listed;
  } cases[] = {
      {""s, false},
      {"\\??\\C:\\App\\X_Update.exe\0\0"s, true},
      {"\\??\\c:\\app\\x_update.EXE\0\0\0"s, true},                          // any case, the list's end
      {"\\??\\C:\\Other\\a.tmp\0\0\\??\\C:\\App\\X_Update.exe\0\0"s, true},  // a later pair
      {"\\??\\C:\\App\\X_Update.exe\0\\??\\C:\\New\\x.exe\0"s, false},       // renamed, not deleted
      {"\\??\\C:\\New\\x.exe\0\\??\\C:\\App\\X_Update.exe\0"s, false},       // a target is no source
      {"\\??\\C:\\App\\X_Update.exe.old\0\0"s, false},
      {"C:\\App\\X_Update.exe\0\0"s, false},
      {"\\??\\C:\\App\\X_Update.exe"s, false},          // cut before its end
      {"\0\0\\??\\C:\\App\\X_Update.exe\0\0"s, false},  // after the end of the list
  };
  for (const auto& c : cases) EXPECT_EQ(PendingDeleteListed(c.list, exe), c.listed) << c.list;
}

TEST(FinalPath, LongPathPrefixGoes) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\\\?\\C:\\App", "C:\\App"},
      {"\\\\?\\UNC\\srv\\share\\App", "\\\\srv\\share\\App"},
      {"\\\\?\\unc\\srv\\share", "\\\\srv\\share"},
      {"C:\\App", "C:\\App"},
      {"\\\\srv\\share", "\\\\srv\\share"},
  };
  for (const auto& [path, plain] : cases) EXPECT_EQ(WithoutLongPathPrefix(path), plain) << path;
}

TEST(ShellToken, OnlyANonElevatedShellOfThisSession) {
  EXPECT_EQ(ShellTokenRefusal(false, 1, 1), nullptr);
  EXPECT_STREQ(ShellTokenRefusal(true, 1, 1), "the shell runs elevated");
  EXPECT_STREQ(ShellTokenRefusal(false, 2, 1), "the shell runs in another session");
  EXPECT_NE(ShellTokenRefusal(true, 0, 1), nullptr);
}

TEST(WriteChunks, SizeFollowsTheTextLength) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {0, 0},        {500, 500},        {1024, 1024},        {10249, 1024},
      {10250, 1025}, {1048577, 104857}, {10485760, 1048576}, {200000000, 1048576},
  };
  for (const auto& [total, chunk] : cases) EXPECT_EQ(WriteChunkSize(total), chunk) << total;
}

TEST(DiskFreePath, KeepsTheFirstTwoLevels) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:/Temp/x", "C:\\Temp"},
      {"C:\\Temp\\Setup", "C:\\Temp"},
      {"C:\\Temp", "C:\\Temp"},
      {"C:\\", "C:\\"},
      {"c:", "C:\\"},
      {"d", "D:\\"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(DiskFreeQueryPath(in), out) << in;
  EXPECT_EQ(DriveRootOf("e:\\x\\y"), "E:\\");
}

TEST(ConsoleCommandLine, QuotesOnlyBlankProgramsWithoutQuotes) {
  EXPECT_EQ(BuildCommandLine("C:\\a b\\x.exe", "/q"), "\"C:\\a b\\x.exe\" /q");
  EXPECT_EQ(BuildCommandLine("\"C:\\a b\\x.exe\"", ""), "\"C:\\a b\\x.exe\"");
  EXPECT_EQ(BuildCommandLine("tasklist.exe", "/FO csv"), "tasklist.exe /FO csv");
  EXPECT_EQ(BuildCommandLine("x.exe", ""), "x.exe");
}

namespace {
const char kTasklist[] =
    "\r\n\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
    "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
    "\"App.exe\",\"1200\",\"Console\",\"1\",\"10,120 K\"\r\n"
    "\"other.exe\",\"77\",\"Console\",\"1\",\"1,000 K\"\r\n"
    "\"APP.EXE\",\"3400\",\"Console\",\"1\",\"2,000 K\"\r\n"
    "\"bad.exe\",\"n/a\",\"Console\",\"1\",\"2,000 K\"\r\n";
}

TEST(Tasklist, FindsByFileNameInAnyCaseFromEitherEnd) {
  EXPECT_EQ(PidFromTasklist(kTasklist, "C:\\Program Files\\app.exe", false), 1200u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "app.exe", true), 3400u);
  EXPECT_EQ(PidFromTasklist(kTasklist, " Other.EXE ", false), 77u);
  // The header and lines without a number never give an id.
  EXPECT_EQ(PidFromTasklist(kTasklist, "Image Name", false), 0u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "Image Name", true), 0u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "bad.exe", false), 0u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "System Idle Process", false), 0u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "missing.exe", true), 0u);
  EXPECT_EQ(PidFromTasklist("", "app.exe", false), 0u);
  EXPECT_EQ(PidFromTasklist(kTasklist, "", false), 0u);
}

namespace {
// A fake window system: owner, title and visibility per window.
struct FakeWindow {
  std::uintptr_t owner;
  bool titled;
  bool visible;
};

TAnalizer::Window Best(TAnalizer& a, const std::map<std::uintptr_t, FakeWindow>& w) {
  auto top = [&](TAnalizer::Window x) {
    for (auto it = w.find(x); it != w.end() && it->second.owner; it = w.find(x)) x = it->second.owner;
    return x;
  };
  a.Score(
      top, [&](TAnalizer::Window x) { return w.at(x).titled; }, [&](TAnalizer::Window x) { return w.at(x).visible; });
  return a.Best();
}
}  // namespace

TEST(Analizer, ScoresOwnersAboveTitlesAboveVisibility) {
  // 10 owns 11 and 12; 20 is a titled, visible unowned window of the same process.
  std::map<std::uintptr_t, FakeWindow> w = {
      {10, {0, false, false}}, {11, {10, true, true}}, {12, {11, true, true}},
      {20, {0, true, true}},   {99, {0, true, true}},  // another process
  };
  TAnalizer a;
  a.Reset(7);
  for (auto id : {11, 10, 12, 99, 20}) a.Add(id, id == 99 ? 8 : 7);
  EXPECT_EQ(a.Count(), 4);
  EXPECT_EQ(Best(a, w), 10u);  // 3 windows lead to it: 12 points beat 20's 4 + 2 + 1
  EXPECT_EQ(a.ScoreAt(0), 3);  // 11: titled and visible only
}

TEST(Analizer, EdgeCasesOfTheChoice) {
  struct Case {
    const char* what;
    std::map<std::uintptr_t, FakeWindow> windows;  // all of process 7 except owners >= 900
    std::vector<std::uintptr_t> order;
    TAnalizer::Window best;
  };
  const Case cases[] = {
      {"owned by another process, one visible",
       {{1, {900, false, false}}, {2, {900, false, true}}, {900, {0, true, true}}},
       {1, 2},
       2},
      {"owned by another process, one titled",
       {{1, {900, true, false}}, {2, {900, false, false}}, {900, {0, true, true}}},
       {1, 2},
       1},
      {"only untitled, invisible, owned",
       {{1, {900, false, false}}, {2, {1, false, false}}, {900, {0, true, true}}},
       {2},
       0},
      {"equal scores: first enumerated", {{5, {0, true, true}}, {3, {0, true, true}}}, {5, 3}, 5},
      {"no windows", {}, {}, 0},
  };
  for (const Case& c : cases) {
    TAnalizer a;
    a.Reset(7);
    for (auto id : c.order) a.Add(id, 7);
    EXPECT_EQ(Best(a, c.windows), c.best) << c.what;
  }
}

TEST(Analizer, RecordsAtMost2001WindowsAndResets) {
  TAnalizer a;
  a.Reset(1);
  for (std::uintptr_t id = 1; id <= 2500; ++id) a.Add(id, 1);
  EXPECT_EQ(a.Count(), TAnalizer::kMaxWindows);
  EXPECT_EQ(a.WindowAt(2000), 2001u);
  a.Score([](TAnalizer::Window x) { return x; }, [](TAnalizer::Window x) { return x == 2001; },
          [](TAnalizer::Window) { return false; });
  EXPECT_EQ(a.Best(), 2001u);
  a.Reset(2);
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Best(), 0u);
}

TEST(RootPath, DrivesAndSharesButNotTheirFolders) {
  const std::map<std::string, bool> cases = {
      {"", true},          {"\\", true},           {"/", true},
      {"C:", true},        {"c:\\", true},         {"C:/", true},
      {"C:\\\\", true},    {"\\\\server", true},   {"\\\\server\\share\\", true},
      {"\\\\?\\C:\\", true}, {"\\\\.\\C:", true},  {"\\\\?\\UNC\\server\\share", true},
      {"C:\\Temp", false}, {"C:\\Temp\\", false},  {"\\Temp", false},
      {"\\\\server\\share\\dir", false}, {"\\\\?\\C:\\Temp", false}, {"Temp", false}};
  for (const auto& [path, root] : cases) EXPECT_EQ(IsRootPath(path), root) << path;
}
