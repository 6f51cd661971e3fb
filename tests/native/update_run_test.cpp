#include "agent/UpdateRunLogic.h"
#include "system/Utils.h"
#include "ui/InformLayout.h"

#include <gtest/gtest.h>

namespace {

const UpdateQuestionTexts kTexts{"[11 PROG_NAME]", "[12]", "[13]", "[14 PROG_NAME]", "[18]", "[19]", "[20 PROG_NAME]"};

TEST(UpdateQuestions, PartsChosenByConfirmationAndForce) {
  struct Row {
    bool confirmInstall, forced;
    const char* expected;
  } rows[] = {
      {false, false, "[11 Pad][12]"},
      {true, false, "[11 Pad][13]"},
      {false, true, "[11 Pad][18]"},
      {true, true, "[11 Pad][19]"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(DownloadQuestion(kTexts, row.confirmInstall, row.forced, "Pad"), row.expected)
        << row.confirmInstall << row.forced;
  EXPECT_EQ(InstallQuestion(kTexts, false, "Pad"), "[14 Pad]");
  EXPECT_EQ(InstallQuestion(kTexts, true, "Pad"), "[20 Pad]");
}

TEST(FetchFailure, MessageBySourceKind) {
  EXPECT_EQ(FetchFailureMessage(true, "http://h/x.exe", "A", "F", "U"), "A");
  EXPECT_EQ(FetchFailureMessage(false, "C:\\pub\\x.exe", "A", "F", "U"), "F<P><P>C:\\pub\\x.exe");
  EXPECT_EQ(FetchFailureMessage(false, "\\\\srv\\pub\\x.exe", "A", "F", "U"), "F<P><P>\\\\srv\\pub\\x.exe");
  EXPECT_EQ(FetchFailureMessage(false, "http://h/x.exe", "A", "F", "U"), "U<P><P>http://h/x.exe");
  EXPECT_EQ(FetchFailureMessage(false, "ab", "A", "F", "U"), "");  // too short for a source
}

TEST(LocalCopyName, KeepsTheFileNamePartAndRefusesHostileNames) {
  const std::vector<std::string> own = {"Agent.exe", "X_Agent.exe", "Pad.original", "Pad.info",
                                        "AGENT~1.EXE"};
  EXPECT_EQ(LocalCopyName("PadSetup2.exe", own), "PadSetup2.exe");
  EXPECT_EQ(LocalCopyName("Pad.txt", own), "Pad.txt");
  EXPECT_EQ(LocalCopyName("Agent2.exe", own), "Agent2.exe");
  EXPECT_EQ(LocalCopyName("sub/PadSetup2.exe", own), "PadSetup2.exe");
  EXPECT_EQ(LocalCopyName("C:\\pub\\PadSetup2.exe", own), "PadSetup2.exe");
  const char* refused[] = {
      "..\\..\\Windows\\evil.exe", "../evil.exe", "...\\evil.exe", "", "..", ".", "con", "aux.exe",
      "LPT1.txt", "a*b.exe", "new\tline.exe", "x_agent.EXE", "PAD.INFO", "dir\\",
      // what Windows makes one of the agent's files, or the names the
      // download's ".*" clean-up reaches them by
      "Agent.exe.", "Agent.exe ", "Agent.exe. .", "Pad", "pad.ORIGINAL.", "Agent", "AGENT~1.EXE"};
  for (const char* name : refused) {
    std::string reason;
    EXPECT_EQ(LocalCopyName(name, own, &reason), "") << name;
    EXPECT_FALSE(reason.empty()) << name;
  }
}

// The news copy is written beside the product by the elevated agent under a name the
// record chooses: only a plain text name, so that no record can leave the product a
// program, a script, a manifest or a settings file.
TEST(LocalInformName, OnlyPlainTextNames) {
  const std::vector<std::string> own = {"Agent.exe", "X_Agent.exe", "Pad.original", "Pad.info"};
  for (const char* name : {"News.txt", "news.TXT", "sub/Pad 2 news.txt"})
    EXPECT_EQ(LocalInformName(name, own), ExtractFileName(name)) << name;
  for (const char* name :
       {"Product.exe", "version.dll", "Pad.exe.manifest", "run.cmd", "go.bat", "News.txt.exe", "Pad.ini",
        "news.hta", "News", "News.txt.", "..\\News.txt", "con.txt", "Agent.exe"}) {
    std::string reason;
    EXPECT_EQ(LocalInformName(name, own, &reason), "") << name;
    EXPECT_FALSE(reason.empty()) << name;
  }
}

TEST(InformAddress, OnlyWebPagesAreOpened) {
  for (const char* address : {"http://h/news.html", "HTTPS://h:8443/a?b=c#d", "hTtP://127.0.0.1/"})
    EXPECT_TRUE(IsWebAddress(address)) << address;
  for (const char* address : {"", "file:///C:/Windows/System32/cmd.exe", "C:\\Windows\\System32\\cmd.exe",
                              "\\\\srv\\share\\x.hta", "news.hta", "ftp://h/x", "mailto:a@b", "ms-settings:",
                              "javascript:alert(1)", "http:", "http://", "http:///etc", "http:\\\\h\\x",
                              "https//h/", " http://h/", "http://h/a b", "http://h/\tx", "xhttp://h/"})
    EXPECT_FALSE(IsWebAddress(address)) << address;
}

TEST(InformAddress, HandlerGetsTheAddressAsOneArgument) {
  const std::string url = "http://h/a?b=\"x\"&c=%1";  // quotes and a "%1" of its own
  const std::string safe = "http://h/a?b=%22x%22&c=%1";
  const struct {
    const char* command;
    std::string expected;
  } cases[] = {
      {"\"C:\\B\\browser.exe\" \"%1\"", "\"C:\\B\\browser.exe\" \"" + safe + "\""},
      {"browser.exe -osint -url %L %*", "browser.exe -osint -url " + safe + " "},
      {"browser.exe --new %l 100%%", "browser.exe --new " + safe + " 100%"},
      {"\"C:\\B\\browser.exe\"", "\"C:\\B\\browser.exe\" \"" + safe + "\""},
      {"browser.exe %2 %", "browser.exe %2 % \"" + safe + "\""},
  };
  for (const auto& c : cases) EXPECT_EQ(HandlerCommandLine(c.command, url), c.expected) << c.command;
  // Backslashes before the handler's closing quote would escape it (the system's command
  // line rules) and merge the following arguments into the address: they are encoded.
  EXPECT_EQ(HandlerCommandLine("b.exe \"%1\" --safe", "http://h/a\\\\"), "b.exe \"http://h/a%5C%5C\" --safe");
  EXPECT_EQ(HandlerCommandLine("b.exe", "http://h/a\\b\\"), "b.exe \"http://h/a\\b%5C\"");
}

TEST(InformAddress, ShownAsItIsWithoutMarkup) {
  // The message box reads "<P>", "<B>" and "\\n" as markup: the address shown for copying
  // must not turn into other text.
  EXPECT_EQ(AddressForMessage("http://h/a?b=1&c=<P>x</B>\\n"), "http://h/a?b=1&c=%3CP%3Ex%3C/B%3E%5Cn");
  EXPECT_EQ(AddressForMessage("https://example.test/news"), "https://example.test/news");
}

TEST(AgentRestart, QuotedPathAndTheOverrides) {
  EXPECT_EQ(AgentRestartCommand("C:\\Program Files\\Pad\\", "Agent.exe", "255,1,255,255,255,255,255,255"),
            "\"C:\\Program Files\\Pad\\Agent.exe\" /_ZZ=99 /WAIT=10 /TRANSIENT=255,1,255,255,255,255,255,255");
}

}  // namespace
