// zpublish: the record it writes reads back through the agent's record rules, every
// broken release is caught with its own line, and the dry run decides like the agent.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <thread>

#include "agent/DecisionLogic.h"
#include "agent/SetupRecordsLogic.h"
#include "package/SignerRuleLogic.h"
#include "package/PackX.h"
#include "tools/zpack/ZPack.h"
#include "tools/zpublish/ZPublish.h"

namespace fs = std::filesystem;
using zpublish::Ini;

namespace {

class ZPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zpublish_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::string stub(1024, '\0');
    stub[0] = 'M', stub[1] = 'Z', stub[0x3D] = 1, stub[256] = 'P', stub[257] = 'E';  // PE header at 256
    Write("stub.exe", stub);
    Write("Pad.exe", "the program, version 2");
    previous_ = Setup("PadSetup1.exe", "Pad-1");
    setup_ = Setup("PadSetup2.exe", "Pad-1");
    other_ = Setup("Other.exe", "Other-7");
    original_ =
        "[OriginalSetup]\r\nProgramName=Pad\r\nVersionOriginal=100\r\nStamp=1\r\n"
        "[Directories]\r\nTargetDir=C:\\Apps\\Pad\r\n";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Setup(const std::string& name, const std::string& token) {
    const std::string out = (dir_ / name).string();
    std::ostringstream o, e;
    EXPECT_EQ(zpack::Main(
                  {"--stub", (dir_ / "stub.exe").string(), "--engine", (dir_ / "Pad.exe").string(), "--token",
                   token, "--make-agent", "--agent", "Update.exe", "--info", "Pad.info", "-o", out},
                  o, e),
              0)
        << e.str();
    return out;
  }
  zpublish::Release Release() const {
    zpublish::Release r;
    r.setup = setup_;
    r.product = "Pad";
    r.version = "200";
    r.url = "http://example.com/pad";
    r.runningProcess = "<InstallDir>\\Pad.exe";
    r.shutDown = "Using WM_CLOSE";
    r.restartProcess = true;
    r.confirmInstall = true;
    return r;
  }
  int Run(const std::vector<std::string>& args, std::string& out) {
    std::ostringstream o, e;
    const int code = zpublish::Main(args, o, e);
    out = o.str() + e.str();
    return code;
  }

  fs::path dir_;
  std::string previous_, setup_, other_, original_;
};

TEST_F(ZPublishTest, RecordReadsBackThroughTheAgentsRules) {
  const Ini info(zpublish::InfoText(Release(), fs::file_size(setup_)));
  using records::kNewSetup;
  EXPECT_EQ(info.Get(kNewSetup, "DownloadURL_UPDATE"), "http://example.com/pad");
  EXPECT_EQ(info.Get(kNewSetup, "NameOfUpdateFile"), "PadSetup2.exe");  // the file's name, not its path
  EXPECT_EQ(RecordInt64(info.Get(kNewSetup, "SizeOfUpdateFile"), -1), std::int64_t(fs::file_size(setup_)));
  EXPECT_EQ(RecordInt32(info.Get(kNewSetup, "VersionNew"), 0), 200);
  EXPECT_EQ(RecordInt64(info.Get(kNewSetup, "Stamp"), 0), 200);
  EXPECT_EQ(info.Get(kNewSetup, "ProgramName"), "Pad");
  EXPECT_EQ(info.Get(kNewSetup, "RunningProcess"), "<InstallDir>\\Pad.exe");
  EXPECT_EQ(info.Get(kNewSetup, "ShutDownMethod"), records::kShutDownClose);
  EXPECT_TRUE(RecordFlag(info.Get(kNewSetup, "RestartProcess")));
  EXPECT_TRUE(RecordFlag(info.Get(kNewSetup, "RequestConfirmationBeforeInstall")));
  EXPECT_FALSE(RecordFlag(info.Get(kNewSetup, "RequestConfirmationBeforeDownload")));
  EXPECT_EQ(info.Get(records::kGeneral, "AutoInform"), "");  // an update, not news
}

TEST_F(ZPublishTest, CommandWritesOnlyASoundRelease) {
  const std::string info = (dir_ / "Pad.info").string();
  const std::vector<std::string> common = {"--setup",
                                           setup_,
                                           "-o",
                                           info,
                                           "--product",
                                           "Pad",
                                           "--version-new",
                                           "200",
                                           "--url",
                                           "http://example.com/pad",
                                           "--running-process",
                                           "<InstallDir>\\Pad.exe"};
  std::string out;
  auto with = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), common.begin(), common.end());
    return extra;
  };
  EXPECT_EQ(Run(with({"--token-from", other_}), out), 1);
  EXPECT_NE(out.find("another product's token"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(info));
  ASSERT_EQ(Run(with({"--token-from", previous_}), out), 0) << out;
  EXPECT_EQ(Run({"--check", info, "--token-from", previous_}, out), 0) << out;
  EXPECT_EQ(Run({"--check", info, "--token-from", other_}, out), 1) << out;
  EXPECT_EQ(Run({"--bogus"}, out), 2);
}

TEST_F(ZPublishTest, NewsTextCarriesTheToken) {
  const std::string info = (dir_ / "Pad.info").string();
  std::string out;
  ASSERT_EQ(Run({"-o", info, "--product", "Pad", "--version-new", "1", "--url", "http://example.com/news",
                 "--inform-name", "news.txt", "--inform-body", "Pad 3 is coming", "--scrambled",
                 "--token-from", previous_},
                out),
            0)
      << out;
  std::string token, body;
  SplitInformText(Read((dir_ / "news.txt").string()), token, body);
  EXPECT_EQ(token, "Pad-1");
  EXPECT_EQ(body, "Pad 3 is coming");
  const Ini record(Read(info));
  EXPECT_EQ(record.Get(records::kGeneral, "AutoInform"), "1");
  EXPECT_EQ(record.Get(records::kAutoInform, "NameOfInformFile"), "news.txt");
  EXPECT_EQ(RecordInt64(record.Get(records::kAutoInform, "SizeOfInformFile"), 0),
            std::int64_t(fs::file_size(dir_ / "news.txt")));
}

TEST_F(ZPublishTest, EachBrokenReleaseIsCaughtWithItsLine) {
  const std::string size = std::to_string(fs::file_size(setup_));
  const std::string sound = zpublish::InfoText(Release(), fs::file_size(setup_));
  std::string damaged = Read(setup_);
  damaged[damaged.size() / 2] ^= 0x55;
  const std::string damagedSetup = Write("Damaged.exe", damaged);
  const std::string plainFile = Write("Plain.exe", std::string(Read(setup_).size(), 'x'));
  // An agent followed by its publisher's signer record counts as signed.
  const std::string signedAgent =
      Write("Update.exe", Read(previous_) + SignerRecord(SignerIdentity("CN=Vendor", "CN=Vendor CA")));
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = sound;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  struct Case {
    const char* name;
    std::string info, published, agent;
    const char* line;  // expected start of the one fault line; nullptr: sound
  } cases[] = {
      {"sound", sound, setup_, "", nullptr},
      {"size one byte off is within the agent's tolerance",
       replaced("SizeOfUpdateFile=" + size, "SizeOfUpdateFile=" + std::to_string(std::stoll(size) + 1)),
       setup_, "", nullptr},
      {"size 100 bytes off",
       replaced("SizeOfUpdateFile=" + size, "SizeOfUpdateFile=" + std::to_string(std::stoll(size) - 100)),
       setup_, "", "SizeOfUpdateFile="},
      {"size not a number", replaced("SizeOfUpdateFile=" + size, "SizeOfUpdateFile=12 345"), setup_, "",
       "SizeOfUpdateFile="},
      {"another product's token", sound, other_, "",
       "NameOfUpdateFile=PadSetup2.exe: the setup file carries another"},
      {"damaged package", sound, damagedSetup, "", "NameOfUpdateFile=PadSetup2.exe: not a sound package"},
      {"no package at all", sound, plainFile, "", "NameOfUpdateFile=PadSetup2.exe: not a sound package"},
      {"unsigned update for a signed agent", sound, setup_, signedAgent,
       "NameOfUpdateFile=PadSetup2.exe: signature refused"},
      {"unsigned update for an unsigned agent", sound, setup_, previous_, nullptr},
      {"program outside the product's folders",
       replaced("RunningProcess=<InstallDir>\\Pad.exe", "RunningProcess=C:\\Windows\\explorer.exe"), setup_,
       "", "RunningProcess=C:\\Windows\\explorer.exe: refused"},
      {"program climbing out", replaced("<InstallDir>\\Pad.exe", "<InstallDir>\\..\\Other\\Pad.exe"), setup_,
       "", "RunningProcess=<InstallDir>\\..\\Other\\Pad.exe: refused"},
      {"program is the folder itself", replaced("<InstallDir>\\Pad.exe", "<InstallDir>"), setup_, "",
       "RunningProcess=<InstallDir>: refused"},
      {"unknown shut-down method", replaced("Using WM_CLOSE", "Using WM_Close"), setup_, "",
       "ShutDownMethod=Using WM_Close"},
      {"file named like the agent", replaced("NameOfUpdateFile=PadSetup2.exe", "NameOfUpdateFile=Update.exe"),
       setup_, "", "NameOfUpdateFile=Update.exe: refused"},
      {"file name climbing", replaced("NameOfUpdateFile=PadSetup2.exe", "NameOfUpdateFile=..\\PadSetup2.exe"),
       setup_, "", "NameOfUpdateFile=..\\PadSetup2.exe: refused"},
      {"device name", replaced("NameOfUpdateFile=PadSetup2.exe", "NameOfUpdateFile=con.exe"), setup_, "",
       "NameOfUpdateFile=con.exe: refused"},
      {"no version", replaced("VersionNew=200", "VersionNew=2.0"), setup_, "",
       "VersionNew=2.0: not a positive"},
      {"no address", replaced("DownloadURL_UPDATE=http://example.com/pad", "DownloadURL_UPDATE="), setup_, "",
       "DownloadURL_UPDATE is missing"},
  };
  for (const auto& c : cases) {
    zpublish::CheckFiles files{c.published, previous_, c.agent, original_, false};
    const std::vector<std::string> faults = zpublish::CheckRelease(Ini(c.info), files);
    if (!c.line) {
      EXPECT_TRUE(faults.empty()) << c.name << ": " << (faults.empty() ? "" : faults[0]);
      continue;
    }
    ASSERT_EQ(faults.size(), 1u) << c.name << ": "
                                 << (faults.empty() ? "no fault" : faults[0] + " / " + faults.back());
    EXPECT_EQ(faults[0].rfind(c.line, 0), 0u) << c.name << ": " << faults[0];
  }
}

// A one-shot HTTP server on loopback answering every request with answer.
class OneAnswerServer {
 public:
  explicit OneAnswerServer(std::string answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this] {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      char buffer[4096];
      recv(client, buffer, sizeof buffer, 0);
      send(client, answer_.data(), answer_.size(), 0);
      close(client);
    });
  }
  ~OneAnswerServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/pad"; }

 private:
  std::string answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(ZPublishTest, DownloadOfTheAddressMustServeTheFile) {
  const std::string bytes = Read(setup_);
  auto ok = [](const std::string& body, std::size_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + body;
  };
  std::string other = bytes;
  other[10] ^= 1;
  struct Case {
    const char* name;
    std::string answer;
    const char* fault;  // nullptr: sound
  } cases[] = {
      {"the file itself", ok(bytes, bytes.size()), nullptr},
      {"an error page", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", "answers status 404"},
      {"a length far off", ok(bytes.substr(0, 1000), 1000), "announces 1000 bytes"},
      {"other bytes of the same length", ok(other, other.size()), "serves other bytes"},
  };
  for (const auto& c : cases) {
    OneAnswerServer server(c.answer);
    zpublish::Release release = Release();
    release.url = server.Url();
    const Ini info(zpublish::InfoText(release, std::int64_t(bytes.size())));
    const auto faults = zpublish::CheckRelease(info, {setup_, previous_, "", original_, true});
    if (!c.fault) {
      EXPECT_TRUE(faults.empty()) << c.name << ": " << (faults.empty() ? "" : faults[0]);
      continue;
    }
    ASSERT_EQ(faults.size(), 1u) << c.name;
    EXPECT_EQ(faults[0].rfind("DownloadURL_UPDATE=" + release.url, 0), 0u) << faults[0];
    EXPECT_NE(faults[0].find(c.fault), std::string::npos) << c.name << ": " << faults[0];
  }
}

// The decision's own cases (tests/native/decision_test.cpp), given as record files.
TEST(ZPublishDryRun, DecidesTheDecisionTestsCasesFromRecordFiles) {
  constexpr std::int64_t kNow = 4'000'000'000;
  struct Case {
    const char* name;
    const char* original;  // [OriginalSetup] lines after the passing ones
    const char* info;      // [NewSetup] lines after the passing ones
    bool manual;
    std::int64_t sizeOff;
    int stage;
  } cases[] = {
      {"no .original version", "VersionOriginal=0\r\n", "", false, 0, 1},
      {"negative .original version", "VersionOriginal=-4\r\n", "", false, 0, 1},
      {"same stamp, no re-ask", "", "Stamp=5\r\n", false, 0, 2},
      {"same stamp, re-ask due", "ReAskSecondsLast=100\r\nReAskSecondsInterval=10\r\n", "Stamp=5\r\n", false,
       0, 6},
      {"same stamp, manual check", "", "Stamp=5\r\n", true, 0, 6},
      {"same version", "", "VersionNew=100\r\n", false, 0, 3},
      {"older version", "", "VersionNew=1\r\n", false, 0, 3},
      {"not a valid version", "", "ValidVersions=99, 100\r\n", false, 0, 4},
      {"size differs", "", "", false, 100, 5},
      {"all passed", "", "", false, 0, 6},
  };
  for (const auto& c : cases) {
    // The first occurrence of a key counts, as in the agent's ini reading: the case's
    // lines go before the passing ones.
    const Ini original(std::string("[OriginalSetup]\r\n") + c.original +
                       "VersionOriginal=100\r\nStamp=5\r\n");
    const Ini info(std::string("[NewSetup]\r\n") + c.info +
                   "VersionNew=101\r\nStamp=6\r\nValidVersions=99,100\r\nSizeOfUpdateFile=5000\r\n");
    const auto result = zpublish::DryRun(info, original, kNow, c.manual, 5000 + c.sizeOff);
    EXPECT_EQ(result.stage, c.stage) << c.name;
    const std::string verdict =
        "decision: stage " + std::to_string(c.stage) + " (" + DecisionReason(c.stage) + ")";
    EXPECT_NE(std::find(result.lines.begin(), result.lines.end(), verdict), result.lines.end()) << c.name;
  }
}

TEST(ZPublishDryRun, NamesTheQuestionsAnAgentAsks) {
  const Ini original(
      "[OriginalSetup]\r\nVersionOriginal=1\r\n[AutoUpdate]\r\ns14=Install PROG_NAME now?\r\n");
  const Ini info(
      "[NewSetup]\r\nProgramName=Pad\r\nVersionNew=2\r\nStamp=2\r\nSizeOfUpdateFile=10\r\n"
      "RequestConfirmationBeforeInstall=1\r\n");
  const auto result = zpublish::DryRun(info, original, 0, false, 10);
  ASSERT_EQ(result.stage, kDecisionOK);
  EXPECT_EQ(result.lines.back(), "asks before the install: Install Pad now?");
  EXPECT_EQ(result.lines[result.lines.size() - 2], "downloads without asking");
}

}  // namespace

// A small HTTP server on loopback: each request's path (as sent) gets its answer, an
// unknown one a 404; the request lines are kept.
class PathServer {
 public:
  explicit PathServer(std::map<std::string, std::string> answers) : answers_(std::move(answers)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 8);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        char buffer[4096];
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        const std::string request(buffer, n > 0 ? std::size_t(n) : 0);
        const std::string line = request.substr(0, request.find("\r\n"));
        lines_.push_back(line);
        const std::size_t a = line.find(' '), b = line.rfind(' ');
        const std::string path = a == std::string::npos || b <= a ? "" : line.substr(a + 1, b - a - 1);
        const auto found = answers_.find(path);
        const std::string answer =
            found != answers_.end()
                ? found->second
                : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        for (std::size_t sent = 0; sent < answer.size();) {
          const ssize_t m = send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
          if (m <= 0) break;
          sent += std::size_t(m);
        }
        close(client);
      }
    });
  }
  ~PathServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  const std::vector<std::string>& Lines() const { return lines_; }
  static std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
  }

 private:
  std::map<std::string, std::string> answers_;
  std::vector<std::string> lines_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// News is fetched by the agent from DownloadURL_UPDATE; DownloadURL_INFORM is only the
// address its window offers. A record naming only the latter reaches no agent.
TEST_F(ZPublishTest, NewsRecordNamesTheAddressTheAgentFetchesFrom) {
  const std::string info = (dir_ / "Pad.info").string();
  std::string out;
  ASSERT_EQ(Run({"-o", info, "--product", "Pad", "--version-new", "2", "--url", "http://example.com/news",
                 "--inform-url", "http://example.com/pad3", "--inform-name", "news.txt", "--inform-body",
                 "Pad 3", "--token-from", previous_},
                out),
            0)
      << out;
  const Ini record(Read(info));
  EXPECT_EQ(record.Get(records::kNewSetup, "DownloadURL_UPDATE"), "http://example.com/news");
  EXPECT_EQ(record.Get(records::kAutoInform, "DownloadURL_INFORM"), "http://example.com/pad3");
  // The record as it used to be written: the text's address only as the window's.
  Write("Old.info",
        "[General]\r\nAutoInform=1\r\n[AutoInform]\r\nDownloadURL_INFORM=http://example.com/news\r\n"
        "NameOfInformFile=news.txt\r\nSizeOfInformFile=" +
            std::to_string(fs::file_size(dir_ / "news.txt")) +
            "\r\n[NewSetup]\r\nProgramName=Pad\r\nVersionNew=2\r\n");
  EXPECT_EQ(Run({"--check", (dir_ / "Old.info").string(), "--token-from", previous_}, out), 1);
  EXPECT_NE(out.find("DownloadURL_UPDATE is missing"), std::string::npos) << out;
}

// A run whose check fails writes and deletes nothing: the published news text and its
// record stay as they were.
TEST_F(ZPublishTest, FailedNewsRunKeepsThePublishedText) {
  const std::string info = (dir_ / "Pad.info").string();
  std::vector<std::string> args = {"-o",
                                   info,
                                   "--product",
                                   "Pad",
                                   "--version-new",
                                   "2",
                                   "--url",
                                   "http://127.0.0.1:1/news",
                                   "--inform-name",
                                   "news.txt",
                                   "--token-from",
                                   previous_};
  std::string out;
  auto with = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), args.begin(), args.end());
    return extra;
  };
  ASSERT_EQ(Run(with({"--inform-body", "Pad 2 is out"}), out), 0) << out;
  const std::string text = Read((dir_ / "news.txt").string()), record = Read(info);
  EXPECT_EQ(Run(with({"--inform-body", "Pad 3 is out", "--fetch"}), out), 1);  // nothing listens there
  EXPECT_EQ(Read((dir_ / "news.txt").string()), text);
  EXPECT_EQ(Read(info), record);
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string().find("zpublish-tmp"), std::string::npos) << entry.path();
}

// SOURCE_DATE_EPOCH makes the news text one of its own: the same body and token give the
// same bytes (the token's scrambling and the text's key), another epoch another text.
TEST_F(ZPublishTest, NewsTextFollowsSourceDateEpoch) {
  auto publish = [&](const char* epoch, bool scrambled) {
    ::setenv("SOURCE_DATE_EPOCH", epoch, 1);
    std::vector<std::string> args = {"-o",
                                     (dir_ / "Pad.info").string(),
                                     "--product",
                                     "Pad",
                                     "--version-new",
                                     "2",
                                     "--url",
                                     "http://127.0.0.1:1/news",
                                     "--inform-name",
                                     "news.txt",
                                     "--inform-body",
                                     "Pad 2 is out",
                                     "--token-from",
                                     previous_};
    if (scrambled) args.push_back("--scrambled");
    std::string out;
    EXPECT_EQ(Run(args, out), 0) << out;
    ::unsetenv("SOURCE_DATE_EPOCH");
    return Read((dir_ / "news.txt").string());
  };
  for (bool scrambled : {false, true}) {
    const std::string text = publish("1700000000", scrambled);
    EXPECT_EQ(publish("1700000000", scrambled), text) << scrambled;
    EXPECT_NE(publish("1700000001", scrambled), text) << scrambled;
  }
}

// Releases that would cut the installed base off, or leave part of it behind.
TEST_F(ZPublishTest, ReleasesThatCutAgentsOffAreFaults) {
  auto build = [&](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {
        "--stub", (dir_ / "stub.exe").string(), "--engine", (dir_ / "Pad.exe").string(), "--token", "Pad-1",
        "-o",     (dir_ / name).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::ostringstream o, e;
    EXPECT_EQ(zpack::Main(args, o, e), 0) << e.str();
    return (dir_ / name).string();
  };
  const std::vector<std::string> same = {"--make-agent", "--agent", "Update.exe", "--info", "Pad.info"};
  auto plus = [&](std::vector<std::string> extra) {
    extra.insert(extra.begin(), same.begin(), same.end());
    return extra;
  };
  // Options later on the line replace the earlier ones of the same name in a description
  // only; here each package is built with its own full set.
  const std::string movedUrl = build("Moved.exe", plus({"--update-url", "http://new.example.com"}));
  const std::string renamedInfo =
      build("Renamed.exe", {"--make-agent", "--agent", "Update.exe", "--info", "Pad2.info"});
  const std::string renamedAgent =
      build("Agent.exe", {"--make-agent", "--agent", "Updater.exe", "--info", "Pad.info"});
  const std::string noAgent = build("NoAgent.exe", {"--agent", "Update.exe", "--info", "Pad.info"});
  const std::string big = Write("big.bin", std::string(3000, 'b'));
  const std::string volumes =
      build("Split.exe",
            plus({"--file", big, "--block-size", "1k", "--volume-size", "1500", "--compress", "store"}));
  struct Case {
    const char* name;
    std::string setup;
    std::string validVersions, url;
    const char* fault;  // the start of the one fault; nullptr: sound
  } cases[] = {
      {"same agent settings", setup_, "", "http://example.com/pad", nullptr},
      {"versions listed as the agent reads them", setup_, "100,110", "http://example.com/pad", nullptr},
      {"a blank after the comma", setup_, "100, 110", "http://example.com/pad",
       "ValidVersions=100, 110: \" 110\""},
      {"a range", setup_, "1.0-1.9", "http://example.com/pad", "ValidVersions=1.0-1.9: \"1.0-1.9\""},
      {"a leading zero", setup_, "0100", "http://example.com/pad", "ValidVersions=0100"},
      {"an ftp address", setup_, "", "ftp://example.com/pad",
       "DownloadURL_UPDATE=ftp://example.com/pad: the agent"},
      {"another update address", movedUrl, "", "http://example.com/pad", "update-url: "},
      {"another record name", renamedInfo, "", "http://example.com/pad", "info: "},
      {"another agent name", renamedAgent, "", "http://example.com/pad", "agent: "},
  };
  for (const auto& c : cases) {
    zpublish::Release release = Release();
    release.setup = c.setup;
    release.validVersions = c.validVersions;
    release.url = c.url;
    const Ini info(zpublish::InfoText(release, std::int64_t(fs::file_size(c.setup))));
    const auto faults = zpublish::CheckRelease(info, {c.setup, previous_, "", original_, false});
    if (!c.fault) {
      EXPECT_TRUE(faults.empty()) << c.name << ": " << faults[0];
      continue;
    }
    ASSERT_EQ(faults.size(), 1u) << c.name
                                 << (faults.empty() ? "" : ": " + faults[0] + " / " + faults.back());
    EXPECT_EQ(faults[0].rfind(c.fault, 0), 0u) << c.name << ": " << faults[0];
  }
  // A multi-volume setup file: the agent fetches its first file only.
  ASSERT_TRUE(fs::exists(volumes + ".002"));
  zpublish::Release split = Release();
  split.setup = volumes;
  auto faults = zpublish::CheckRelease(Ini(zpublish::InfoText(split, std::int64_t(fs::file_size(volumes)))),
                                       {volumes, previous_, "", original_, false});
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_NE(faults[0].find("split into volumes"), std::string::npos) << faults[0];
  // A change that is meant is a note, and the release sound.
  std::vector<std::string> notes;
  zpublish::Release moved = Release();
  moved.setup = movedUrl;
  faults = zpublish::CheckRelease(Ini(zpublish::InfoText(moved, std::int64_t(fs::file_size(movedUrl)))),
                                  {movedUrl, previous_, "", original_, false, true, &notes});
  EXPECT_TRUE(faults.empty());
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("update-url: ", 0), 0u) << notes[0];
  // A release that writes no agent leaves the installed ones as they are: a note.
  notes.clear();
  zpublish::Release plain = Release();
  plain.setup = noAgent;
  faults = zpublish::CheckRelease(Ini(zpublish::InfoText(plain, std::int64_t(fs::file_size(noAgent)))),
                                  {noAgent, previous_, "", original_, false, false, &notes});
  EXPECT_TRUE(faults.empty()) << faults[0];
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("make-agent: ", 0), 0u) << notes[0];
}

// The fetch goes as the agent's does: redirects followed, the name encoded, the body
// bounded; --check reads a published record from its address.
TEST_F(ZPublishTest, FetchFollowsTheAgentsWay) {
  const std::string bytes = Read(setup_);
  const std::string spaced = Write("Pad Setup 2.exe", bytes);
  PathServer files({{"/pad/Pad%20Setup%202.exe", PathServer::Ok(bytes)},
                    {"/big/Pad%20Setup%202.exe", PathServer::Ok(bytes + std::string(5000, 'x'))}});
  PathServer front({{"/moved/Pad%20Setup%202.exe",
                     "HTTP/1.1 302 Found\r\nLocation: " + files.Base() +
                         "/pad/Pad%20Setup%202.exe\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}});
  struct Case {
    const char* name;
    std::string url;
    const char* fault;
  } cases[] = {
      {"a name with blanks", files.Base() + "/pad", nullptr},
      {"a redirect", front.Base() + "/moved", nullptr},
      {"a body beyond the size", files.Base() + "/big", "sends more than"},
  };
  for (const auto& c : cases) {
    zpublish::Release release = Release();
    release.setup = spaced;
    release.url = c.url;
    const auto faults = zpublish::CheckRelease(Ini(zpublish::InfoText(release, std::int64_t(bytes.size()))),
                                               {spaced, previous_, "", original_, true});
    if (!c.fault) {
      EXPECT_TRUE(faults.empty()) << c.name << ": " << faults[0];
      continue;
    }
    ASSERT_EQ(faults.size(), 1u) << c.name;
    EXPECT_NE(faults[0].find(c.fault), std::string::npos) << c.name << ": " << faults[0];
  }

  // --check URL: the record and the file it names come from the server.
  zpublish::Release release = Release();
  release.setup = spaced;
  release.url = files.Base() + "/pad";
  const std::string record = zpublish::InfoText(release, std::int64_t(bytes.size()));
  PathServer site(
      {{"/pad/Pad.info", PathServer::Ok(record)}, {"/pad/Pad%20Setup%202.exe", PathServer::Ok(bytes)}});
  std::string out;
  EXPECT_EQ(Run({"--check", site.Base() + "/pad/Pad.info", "--token-from", previous_, "--json"}, out), 0)
      << out;
  EXPECT_EQ(out.rfind("{\"record\": ", 0), 0u) << out;
  EXPECT_NE(out.find("\"sound\": true"), std::string::npos) << out;
}

// The command line's conventions: its own version, keys in any case, a byte-order mark,
// a key given twice, settings that do not go together, JSON of the dry run.
TEST_F(ZPublishTest, CommandLineConventions) {
  std::string out;
  EXPECT_EQ(Run({"--version"}, out), 0);
  EXPECT_EQ(out, std::string("zpublish ") + zpack::kToolsVersion + "\n");
  EXPECT_EQ(Run({"--setup", setup_, "-o", (dir_ / "x.info").string(), "--version", "200"}, out),
            2);  // an old script
  EXPECT_FALSE(fs::exists(dir_ / "x.info"));
  const std::string info = (dir_ / "out" / "Pad.info").string();  // a folder made as needed
  const std::string base =
      "setup = PadSetup2.exe\noutput = out/Pad.info\nurl = http://example.com/pad\n"
      "token-from = PadSetup1.exe\n";
  EXPECT_EQ(Run({Write("bom.zpub", "\xEF\xBB\xBFProduct = Pad\n" + base + "VERSION-NEW = 200\n")}, out), 0)
      << out;
  EXPECT_EQ(Ini(Read(info)).Get(records::kNewSetup, "ProgramName"), "Pad");
  EXPECT_EQ(Run({Write("twice.zpub", base + "version = 200\nversion-new = 300\n")}, out), 2);
  EXPECT_NE(out.find("line 6: version-new is already set on line 5"), std::string::npos) << out;
  EXPECT_EQ(Run({Write("dec.zpub", base + "version = 2.0\n")}, out), 2);
  EXPECT_NE(out.find("2.0 is 200"), std::string::npos) << out;
  EXPECT_EQ(Run({Write("both.zpub", base + "version = 200\ninform-name = n.txt\n")}, out), 2);
  EXPECT_EQ(Run({"--check", info, "--dry-run", info}, out), 2);
  const std::string original = Write("Pad.original", original_);
  EXPECT_EQ(Run({"--dry-run", info, "--original", original, "--setup", setup_, "--json"}, out), 0) << out;
  EXPECT_EQ(out.rfind("{\"stage\": 6, \"decision\": \"OK\", \"takes\": true, \"lines\": [", 0), 0u) << out;
}
