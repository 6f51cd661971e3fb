// zpack: packages it writes read back through the package reader, and its command line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "package/PackX.h"
#include "system/Utils.h"
#include "system/ZSub.h"
#include "tools/zpack/ZPack.h"

namespace fs = std::filesystem;

namespace {

class ZPackTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zpack_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::string stub(1024, '\0');
    stub[0] = 'M', stub[1] = 'Z', stub[0x3D] = 1, stub[256] = 'P', stub[257] = 'E';  // PE header at 256
    stub_ = Write("stub.exe", stub);
    engine_ = Write("Engine.exe", "engine bytes");
    std::string big;
    for (int i = 0; i < 3000; ++i) big += "line " + std::to_string(i) + "\n";
    big_ = Write("big.txt", big);
    empty_ = Write("empty.dat", "");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  int Run(const std::vector<std::string>& args, std::string* errText = nullptr) {
    std::ostringstream out, err;
    int code = zpack::Main(args, out, err);
    if (errText) *errText = err.str();
    return code;
  }

  std::vector<std::string> Basic(const std::string& output) {
    return {"--stub", stub_, "-o", output, "--engine", engine_, "--engine-args", "/S /V", "--file", big_ + "=>data\\big.txt",
            "--file", empty_, "--token", "Tok-1", "--block-size", "4k", "--date", "1234567"};
  }

  // Path -> content, appending blocks of the same path as the extraction does.
  static std::map<std::string, std::string> Files(const std::vector<zpack::Block>& blocks) {
    std::map<std::string, std::string> files;
    for (const auto& b : blocks) files[TextBefore(SUB::GetItem(b.namePart, 0), "*", SUB::GetItem(b.namePart, 0))] += b.content;
    return files;
  }

  fs::path dir_;
  std::string stub_, engine_, big_, empty_;
};

TEST_F(ZPackTest, PackageReadsBackThroughTheReader) {
  std::string out = (dir_ / "setup.exe").string();
  ASSERT_EQ(Run(Basic(out)), 0);
  TGFileInfo info(out);
  ASSERT_TRUE(info.HasPackage());
  EXPECT_EQ(+info.Trailer.FilesCount, 3u);
  EXPECT_EQ(info.StubToken(true), "Tok-1");
  EXPECT_EQ(info.StubToken(false).size(), 48u);
  EXPECT_EQ(info.LangTable, "\x02");
  EXPECT_EQ(+info.Trailer.DataStart, 1024u + 4 + 1 + 4 + info.StubInfo.size());
  EXPECT_EQ(PackEndOf(PackFile(out).get()), std::int64_t(fs::file_size(out)));
  EXPECT_TRUE(CheckSumAccepted(PackCheckSum(out, info.Trailer.TrailerSize), info.Trailer.CheckSum));
  EXPECT_NE(+info.Trailer.CheckSum, pack::kCheckSumOff);
  // Whole clusters per file: 12 + big + 0 bytes.
  std::uint64_t bigSize = fs::file_size(big_);
  EXPECT_EQ(info.SpaceNeededForCluster(0), double(12 + bigSize));
  EXPECT_EQ(info.SpaceNeededForCluster(4096), double(4096 + (bigSize + 4095) / 4096 * 4096));

  std::vector<zpack::Block> blocks;
  std::string error;
  ASSERT_TRUE(zpack::ReadBlocks(out, blocks, error)) << error;
  ASSERT_GE(blocks.size(), 4u);
  EXPECT_EQ(SUB::GetItem(blocks[0].namePart, 0), "Engine.exe*/S /V");
  EXPECT_EQ(SUB::GetItem(blocks[0].namePart, 1), "1234567");
  EXPECT_TRUE(blocks[1].compressed);
  for (const auto& b : blocks) EXPECT_LE(b.content.size(), 4096u);
  auto files = Files(blocks);
  EXPECT_EQ(files["Engine.exe"], "engine bytes");
  EXPECT_EQ(files["data\\big.txt"], Read(big_));
  EXPECT_EQ(files.count("empty.dat"), 1u);

  // A signature after the package does not disturb it; a flipped byte is detected.
  std::string image = Read(out);
  std::string signedFile = Write("signed.exe", image + std::string(777, '\x33'));
  TGFileInfo signedInfo(signedFile);
  EXPECT_EQ(signedInfo.StubInfo, info.StubInfo);
  EXPECT_TRUE(CheckSumAccepted(PackCheckSum(signedFile, 74), signedInfo.Trailer.CheckSum));
  image[2000] ^= 1;
  std::string flipped = Write("flipped.exe", image);
  EXPECT_FALSE(CheckSumAccepted(PackCheckSum(flipped, 74), TGFileInfo(flipped).Trailer.CheckSum));
}

TEST_F(ZPackTest, VolumesAndSpanLauncher) {
  for (bool span : {false, true}) {
    std::string out = (dir_ / (span ? "span.exe" : "vol.exe")).string();
    auto args = Basic(out);
    args.insert(args.end(), {"--volume-size", "9000", "--compress", "store"});
    if (span) args.push_back("--span-cd");
    ASSERT_EQ(Run(args), 0);
    std::string first = span ? out + ".001" : out;
    if (span) {
      TGFileInfo launcher(out);
      EXPECT_TRUE(launcher.SpanCdLauncher());
      EXPECT_EQ(launcher.StubToken(true), "Tok-1");
      EXPECT_EQ(fs::file_size(out), 1024 + launcher.Trailer.DataStart - 1024 + 74);
    }
    PackTrailer t{};
    ReadTrailer(first, t);
    EXPECT_TRUE(HasNextVolume(t));
    EXPECT_FALSE(HasPackFlag(t, pack::kFlagSpanCdLauncher));
    std::string v2 = zpack::VolumeName(first, 2);
    EXPECT_EQ(v2, out + ".002");
    PackTrailer t2{};
    ReadTrailer(v2, t2);
    EXPECT_EQ(+t2.DataStart, 0u);
    EXPECT_TRUE(CheckSumAccepted(PackCheckSum(v2, 74), t2.CheckSum));
    std::vector<zpack::Block> blocks;
    std::string error;
    ASSERT_TRUE(zpack::ReadBlocks(first, blocks, error)) << error;
    EXPECT_GE(blocks.back().volume, 3);
    EXPECT_EQ(Files(blocks)["data\\big.txt"], Read(big_));
  }
}

TEST_F(ZPackTest, WebStubTakesTheSetupFilesToken) {
  std::string setup = (dir_ / "full.exe").string();
  auto args = Basic(setup);
  args.insert(args.end(), {"--web-token", "Web-9"});
  ASSERT_EQ(Run(args), 0);
  std::string web = (dir_ / "web.exe").string();
  ASSERT_EQ(Run({"--stub", stub_, "-o", web, "--web-install", "--web-url", "http://h/d", "--web-setup", setup,
                 "--ask-before-download", "--agent", "Update.exe", "--make-agent"}),
            0);
  TGFileInfo full(setup), stub(web);
  EXPECT_EQ(+full.Trailer.HeaderCount, 3);
  EXPECT_EQ(+stub.Trailer.HeaderCount, 3);
  EXPECT_EQ(stub.IsWebInstall(), 1);
  EXPECT_EQ(stub.AskBeforeDownload(), 1);
  EXPECT_EQ(stub.MakeAgent(), 1);
  EXPECT_EQ(stub.WebFileName(), "full.exe");
  EXPECT_EQ(stub.WebSize(), std::to_string(fs::file_size(setup)));
  EXPECT_TRUE(stub.SameWebToken(full));
  EXPECT_EQ(stub.WebToken(true), "Web-9");
  EXPECT_EQ(+stub.Trailer.FilesCount, 0u);
  EXPECT_EQ(+stub.Trailer.DataStart, std::uint32_t(fs::file_size(web) - 74));
}

TEST_F(ZPackTest, WebStubWrittenBesideItsSetupFile) {
  std::string setup = (dir_ / "Setup.exe").string(), web = (dir_ / "WebSetup.exe").string();
  auto args = Basic(setup);
  // Without a URL neither file is written.
  auto noUrl = args;
  noUrl.insert(noUrl.end(), {"--web-stub", web});
  EXPECT_EQ(Run(noUrl), 1);
  EXPECT_FALSE(fs::exists(setup));
  EXPECT_FALSE(fs::exists(web));

  args.insert(args.end(), {"--web-stub", web, "--web-url", "http://h/d", "--ask-before-download", "--web-no-local"});
  ASSERT_EQ(Run(args), 0);
  TGFileInfo full(setup), stub(web);
  EXPECT_EQ(full.IsWebInstall(), 0);
  EXPECT_EQ(full.AskBeforeDownload(), 0);
  EXPECT_GT(+full.Trailer.FilesCount, 0u);
  EXPECT_EQ(stub.IsWebInstall(), 1);
  EXPECT_EQ(stub.AskBeforeDownload(), 1);
  EXPECT_TRUE(stub.WebNoLocal());
  EXPECT_EQ(stub.WebUrl(), "http://h/d");
  EXPECT_EQ(stub.WebFileName(), "Setup.exe");
  EXPECT_EQ(stub.WebSize(), std::to_string(fs::file_size(setup)));
  EXPECT_TRUE(stub.SameWebToken(full));  // a token made up for the pair
  EXPECT_EQ(+stub.Trailer.FilesCount, 0u);
}

TEST_F(ZPackTest, CommandLineErrorsLeaveNothingBehind) {
  std::string out = (dir_ / "bad.exe").string();
  struct Case {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"--bogus"}, 2},
      {{"-x"}, 2},
      {{"--level", "12"}, 2},
      {{"--stub", stub_, "-o", out, "--file", big_}, 1},  // no engine
      {{"--stub", (dir_ / "none").string(), "-o", out, "--engine", engine_}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--file", (dir_ / "none").string()}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--file", engine_}, 1},  // same path twice
      {{"--stub", engine_, "-o", out, "--engine", engine_, "--pack-end", "on"}, 1},
      // Paths the stub would refuse to write: a device name, a way out, a stream.
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--file", big_ + "=>aux.c"}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_ + "=>sub/con.h"}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--file", big_ + "=>../up.txt"}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--file", big_ + "=>a.txt:s"}, 1},
      {{"--stub", stub_, "-o", out, "--engine", engine_, "--agent", "nul.exe", "--make-agent"}, 1},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // Setup file names the web stub would refuse to fetch.
  for (const char* name : {"*", "..", "sub\\..\\..\\x.exe", "Set?p.exe", "con", ". .", "a\x01.exe"})
    all.push_back({{"--stub", stub_, "-o", out, "--web-install", "--web-url", "http://h/d", "--web-token",
                    "t", "--web-file", name},
                   1});
  for (const auto& c : all) {
    std::string err;
    EXPECT_EQ(Run(c.args, &err), c.code) << c.args.back();
    EXPECT_FALSE(err.empty());
  }
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string().find("zpack-tmp"), std::string::npos) << entry.path();
  EXPECT_FALSE(fs::exists(out));

  // A packed file cannot be the stub of another package.
  ASSERT_EQ(Run(Basic(out)), 0);
  EXPECT_EQ(Run({"--stub", out, "-o", (dir_ / "again.exe").string(), "--engine", engine_}), 1);
}

// An output that is one of the build's inputs, however it is spelled, is refused before
// anything is written: the input keeps its bytes.
TEST_F(ZPackTest, OutputThatIsAnInputIsRefused) {
  fs::create_directories(dir_ / "sub");
  fs::create_symlink(engine_, dir_ / "engine-link.exe");
  const std::string lang = Write("lang.txt", "\x02|English|s0=X|\x02");
  const std::string sameStub = (dir_ / "sub" / ".." / "stub.exe").string();
  const std::string out = (dir_ / "setup.exe").string();
  struct Case {
    const char* name;
    std::vector<std::string> extra;  // after the basic build's arguments
    std::string victim;
  } cases[] = {
      {"the stub by another spelling", {"-o", sameStub}, stub_},
      {"the engine through a link", {"-o", (dir_ / "engine-link.exe").string()}, engine_},
      {"a packed file", {"-o", big_}, big_},
      {"the language file", {"-o", lang, "--language-file", lang}, lang},
      {"the span launcher's first volume", {"-o", (dir_ / "big").string(), "--span-cd"}, ""},
      {"web stub = output",
       {"-o", out, "--web-url", "http://h/d", "--web-stub", (dir_ / "sub" / ".." / "setup.exe").string()},
       ""},
  };
  const std::string span = Write("big.001", "a file that is packed");
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--stub",           stub_,    "--engine",         engine_, "--file",
                                     big_ + "=>big.txt", "--file", span + "=>span.txt"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const std::string before = c.victim.empty() ? "" : Read(c.victim);
    std::string err;
    EXPECT_EQ(Run(args, &err), 1) << c.name;
    EXPECT_FALSE(err.empty()) << c.name;
    if (!c.victim.empty()) {
      EXPECT_EQ(Read(c.victim), before) << c.name;
    }
  }
  EXPECT_EQ(Read(span), "a file that is packed");
  EXPECT_FALSE(fs::exists(out));
}

// The setup file and its web stub are renamed into place together: a run whose web stub
// fails keeps the earlier pair as it was.
TEST_F(ZPackTest, SetupAndWebStubReplacedTogether) {
  const std::string setup = (dir_ / "Setup.exe").string(), web = (dir_ / "WebSetup.exe").string();
  auto args = Basic(setup);
  args.insert(args.end(), {"--web-stub", web, "--web-url", "http://h/d"});
  ASSERT_EQ(Run(args), 0);
  const std::string setupBefore = Read(setup), webBefore = Read(web);
  // The web stub cannot be written (its folder would be a file), after the setup file was.
  auto failing = Basic(setup);
  failing.insert(failing.end(),
                 {"--web-stub", (dir_ / "Engine.exe" / "WebSetup.exe").string(), "--web-url", "http://h/d"});
  std::string err;
  EXPECT_EQ(Run(failing, &err), 1);
  EXPECT_NE(err.find("WebSetup.exe"), std::string::npos) << err;
  EXPECT_EQ(Read(setup), setupBefore);
  EXPECT_EQ(Read(web), webBefore);
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().string().find("zpack-tmp"), std::string::npos) << entry.path();
}

// Volumes of an earlier build of the same name go when the new build has fewer; a file of
// that name which is no package volume stays.
TEST_F(ZPackTest, RebuildRemovesTheEarlierBuildsVolumes) {
  const std::string out = (dir_ / "setup.exe").string();
  auto split = Basic(out);
  split.insert(split.end(), {"--volume-size", "10k", "--compress", "store"});
  ASSERT_EQ(Run(split), 0);
  ASSERT_TRUE(fs::exists(out + ".003"));
  std::string err;
  ASSERT_EQ(Run(Basic(out), &err), 0);
  EXPECT_FALSE(fs::exists(out + ".002"));
  EXPECT_FALSE(fs::exists(out + ".003"));
  EXPECT_NE(err.find(out + ".002"), std::string::npos) << err;
  std::vector<zpack::Block> blocks;
  ASSERT_TRUE(zpack::ReadBlocks(out, blocks, err)) << err;

  // After a span build: the launcher's .001 series goes too; a stranger's .002 stays.
  auto span = Basic(out);
  span.insert(span.end(), {"--span-cd"});
  ASSERT_EQ(Run(span), 0);
  ASSERT_TRUE(fs::exists(out + ".001"));
  Write("setup.exe.002", "notes of the vendor");
  ASSERT_EQ(Run(Basic(out)), 0);
  EXPECT_FALSE(fs::exists(out + ".001"));
  EXPECT_EQ(Read(out + ".002"), "notes of the vendor");
}

// Careless input is an error that names the key, or follows a written rule.
TEST_F(ZPackTest, CarelessInputIsNamed) {
  const std::string text = Write("readme.txt", "not a program");
  const std::string none = Write("none.exe", "");
  const std::string base = "stub = stub.exe\noutput = out.exe\nengine = Engine.exe\n";
  struct Case {
    const char* name;
    std::string description;
    std::vector<std::string> options;
    int code;
    const char* message;  // in the error text; nullptr: succeeds
  } cases[] = {
      {"a key twice", base + "token = A\ntoken = B\n", {}, 2, "line 5: token is already set on line 4"},
      {"an option twice", base, {"--token", "A", "--token", "B"}, 2, "--token is given twice"},
      {"a size that wraps", base + "volume-size = 17179869184g\n", {}, 2, "volume-size"},
      {"space beyond 32 bits", base + "space-needed = 5g\n", {}, 2, "space-needed"},
      {"a negative date", base + "date = -1\n", {}, 2, "date"},
      {"a stub that is no program",
       "stub = readme.txt\noutput = out.exe\nengine = Engine.exe\n",
       {},
       1,
       "not a Windows program"},
      {"an empty engine", "stub = stub.exe\noutput = out.exe\nengine = none.exe\n", {}, 1, "engine"},
      {"a byte-order mark", "\xEF\xBB\xBF" + base, {}, 0, nullptr},
      {"keys in another case", "Stub = stub.exe\nOUTPUT = out.exe\nEngine = Engine.exe\n", {}, 0, nullptr},
      {"list with build settings", base, {"--list", stub_}, 2, "--list"},
      {"a web stub in volumes",
       "",
       {"--stub", stub_, "-o", (dir_ / "w.exe").string(), "--web-install", "--web-url", "http://h",
        "--web-file", "S.exe", "--web-token", "t", "--volume-size", "1m"},
       2,
       "volume-size"},
      {"token and token-from", base, {"--token", "A", "--token-from", stub_}, 2, "token-from"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.options;
    if (!c.description.empty()) args.insert(args.begin(), Write("pack.zp", c.description));
    std::string err;
    EXPECT_EQ(Run(args, &err), c.code) << c.name << ": " << err;
    if (c.message) {
      EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
    }
    fs::remove(dir_ / "out.exe");
  }
}

// A later release takes the token of an earlier package; --list prints it only on
// request, and in JSON for pipelines.
TEST_F(ZPackTest, TokenFromAnEarlierPackage) {
  const std::string first = (dir_ / "Setup1.exe").string(), second = (dir_ / "Setup2.exe").string();
  ASSERT_EQ(Run({"--stub", stub_, "-o", first, "--engine", engine_}), 0);  // a random token
  ASSERT_EQ(Run({"--stub", stub_, "-o", second, "--engine", engine_, "--token-from", first}), 0);
  const std::string token = TGFileInfo(first).StubToken(true);
  EXPECT_EQ(TGFileInfo(second).StubToken(true), token);
  std::string err;
  EXPECT_EQ(Run({"--stub", stub_, "-o", second, "--engine", engine_, "--token-from", engine_}, &err), 1);
  EXPECT_NE(err.find("token-from"), std::string::npos) << err;

  std::ostringstream plain, shown, json, version, e;
  ASSERT_EQ(zpack::Main({"--list", second}, plain, e), 0);
  EXPECT_EQ(plain.str().find(token), std::string::npos);
  ASSERT_EQ(zpack::Main({"--list", second, "--show-token"}, shown, e), 0);
  EXPECT_NE(shown.str().find("token:         " + token + "\n"), std::string::npos) << shown.str();
  ASSERT_EQ(zpack::Main({"--list", second, "--json", "--show-token"}, json, e), 0);
  EXPECT_NE(json.str().find("\"token\": \"" + token + "\""), std::string::npos) << json.str();
  EXPECT_NE(json.str().find("\"sound\": true"), std::string::npos) << json.str();
  EXPECT_EQ(json.str().front(), '{');
  ASSERT_EQ(zpack::Main({"--version"}, version, e), 0);
  EXPECT_EQ(version.str(), std::string("zpack ") + zpack::kToolsVersion + "\n");
}

// The same inputs, token and seed (or SOURCE_DATE_EPOCH) give the same bytes, whose
// tokens the reader decodes; without a seed the token's scrambling differs each time.
TEST_F(ZPackTest, SameInputsAndSeedGiveTheSameBytes) {
  auto build = [&](const std::string& name, std::vector<std::string> extra) {
    const std::string out = (dir_ / name).string();
    std::vector<std::string> args = {"--stub", stub_, "-o",      out,     "--engine",    engine_,
                                     "--file", big_,  "--token", "Tok-1", "--web-token", "Web-1"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args), 0) << name;
    return Read(out);
  };
  const std::string a = build("a.exe", {"--seed", "42", "--date", "1234567"});
  EXPECT_EQ(build("b.exe", {"--seed", "42", "--date", "1234567"}), a);
  EXPECT_NE(build("c.exe", {"--seed", "43", "--date", "1234567"}), a);
  EXPECT_NE(build("d.exe", {"--date", "1234567"}), build("e.exe", {"--date", "1234567"}));
  EXPECT_EQ(TGFileInfo((dir_ / "a.exe").string()).StubToken(true), "Tok-1");
  EXPECT_EQ(TGFileInfo((dir_ / "a.exe").string()).WebToken(true), "Web-1");
  // SOURCE_DATE_EPOCH: the seed, and the files' dates capped to it.
  setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
  const std::string f = build("f.exe", {});
  fs::last_write_time(big_, fs::last_write_time(big_) + std::chrono::hours(1));
  const std::string g = build("g.exe", {});
  unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(f, g);
  std::vector<zpack::Block> blocks;
  std::string error;
  ASSERT_TRUE(zpack::ReadBlocks((dir_ / "f.exe").string(), blocks, error)) << error;
  EXPECT_EQ(SUB::GetItem(blocks[0].namePart, 1), std::to_string(zpack::DosDateTime(1000000000)));
}

// The stub creates files through the ANSI calls: a package path outside ASCII is stored
// in the package's code page (Windows-1252 by default), or refused by name.
TEST_F(ZPackTest, NamesOutsideAsciiInTheCodePage) {
  struct Case {
    const char* name;
    std::string path;  // UTF-8, as on the vendor's Linux
    std::vector<std::string> options;
    const char* stored;  // nullptr: refused
  } cases[] = {
      {"accented, the default code page", "caf\xC3\xA9.txt", {}, "caf\xE9.txt"},
      {"Cyrillic in 1251", "\xD0\xBF\xD1\x80\xD0\xB8.txt", {"--codepage", "1251"}, "\xEF\xF0\xE8.txt"},
      {"Cyrillic lacking in 1252", "\xD0\xBF\xD1\x80\xD0\xB8.txt", {}, nullptr},
      {"no UTF-8", "caf\xE9.txt", {}, nullptr},
      {"ASCII only asked for", "caf\xC3\xA9.txt", {"--codepage", "ascii"}, nullptr},
  };
  for (const auto& c : cases) {
    const std::string out = (dir_ / "cp.exe").string();
    std::vector<std::string> args = {"--stub",   stub_,   "-o",     out,
                                     "--engine", engine_, "--file", big_ + "=>" + c.path};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string err;
    ASSERT_EQ(Run(args, &err), c.stored ? 0 : 1) << c.name << ": " << err;
    if (!c.stored) {
      EXPECT_NE(err.find("package path"), std::string::npos) << c.name << ": " << err;
      continue;
    }
    std::vector<zpack::Block> blocks;
    ASSERT_TRUE(zpack::ReadBlocks(out, blocks, err)) << err;
    EXPECT_EQ(SUB::GetItem(blocks.back().namePart, 0), c.stored) << c.name;
  }
}

TEST_F(ZPackTest, DescriptionFileAndExecutable) {
  Write("pack.zp", "# comment\nstub = stub.exe\noutput = desc.exe\nengine = Engine.exe\n"
                   "language = |English|s0=My Setup|\nhidden = yes\nagent-log = 1\nthis-is-agent = 1\n");
  std::string command = std::string(Z_ZPACK_EXE) + " " + (dir_ / "pack.zp").string() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  TGFileInfo info((dir_ / "desc.exe").string());
  EXPECT_TRUE(info.HiddenByDefault());
  EXPECT_TRUE(info.AgentLogWanted());
  EXPECT_EQ(info.ThisIsAgent(), 1);
  EXPECT_EQ(info.LangTable, "\x02|English|s0=My Setup|\x02");
  // No largest setup file given: the StubInfo list as before, the reader's default.
  EXPECT_EQ(SUB::CountItems(info.StubInfo), 5);
  EXPECT_EQ(info.LargestSetupFile(), kDefaultLargestSetupFile);
  Write("largest.zp", "stub = stub.exe\noutput = largest.exe\nengine = Engine.exe\nlargest-setup = 300m\n");
  command = std::string(Z_ZPACK_EXE) + " " + (dir_ / "largest.zp").string() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(TGFileInfo((dir_ / "largest.exe").string()).LargestSetupFile(), 300u << 20);
  // What the reader makes of an item it cannot take: the default.
  for (const char* item : {"", "0", "-5", "12abc", " 7", "99999999999999999999"}) {
    TGFileInfo odd((dir_ / "largest.exe").string());
    odd.StubInfo = "|u|i|a|t|0|" + std::string(item) + "|";
    EXPECT_EQ(odd.LargestSetupFile(), kDefaultLargestSetupFile) << item;
  }

  Write("bad.zp", "stub = stub.exe\nnonsense\n");
  std::string err;
  std::string bad = std::string(Z_ZPACK_EXE) + " " + (dir_ / "bad.zp").string() + " 2> " + (dir_ / "err.txt").string();
  EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 2);
  EXPECT_NE(Read((dir_ / "err.txt").string()).find("line 2"), std::string::npos);
  EXPECT_EQ(WEXITSTATUS(std::system((std::string(Z_ZPACK_EXE) + " --help > /dev/null").c_str())), 0);
}

// The inform text written by zpack is read back by the agent's reader with the token of
// the package it was made for; a scrambled one too; bad options are refused.
TEST_F(ZPackTest, InformTextReadsBackWithThePackageToken) {
  const std::string setup = (dir_ / "setup.exe").string();
  ASSERT_EQ(Run(Basic(setup)), 0);
  const std::string packageToken = UnscrambleToken(TGFileInfo(setup).StubToken(false));
  const std::string bodyFile = Write("news.txt", "Version 2|with a bar\r\nsecond line");
  for (bool scrambled : {false, true}) {
    const std::string file = (dir_ / "news.inf").string();
    std::vector<std::string> args = {"--inform", file, "--token", "Tok-1", "--body-file", bodyFile};
    if (scrambled) args.push_back("--scrambled");
    ASSERT_EQ(Run(args), 0);
    const std::string text = Read(file);
    EXPECT_EQ(text.rfind("Scrambled=01", 0) == 0, scrambled);
    std::string token, body;
    SplitInformText(text, token, body);
    EXPECT_EQ(token, packageToken);
    EXPECT_EQ(body, "Version 2|with a bar\r\nsecond line");
  }
  std::string err;
  EXPECT_EQ(Run({"--inform", (dir_ / "x").string(), "--body", "b"}, &err), 2) << "no token";
  EXPECT_EQ(Run({"--inform", (dir_ / "x").string(), "--token", "t"}, &err), 2) << "no body";
  EXPECT_EQ(Run({"--inform", (dir_ / "x").string(), "--token", "t", "--body", "b", "--level", "3"}, &err), 2);
  EXPECT_EQ(Run({"--inform", (dir_ / "x").string(), "--token", "t", "--body-file", (dir_ / "missing").string()}), 1);
  EXPECT_FALSE(fs::exists(dir_ / "x"));
}

// Either flavour's stub is told apart by its headers; anything else is named, not guessed.
TEST(ZPackStubKind, FromTheHeaders) {
  auto stub = [](std::uint16_t machine, std::uint16_t magic, std::uint32_t peAt = 256) {
    std::string b(1024, '\0');
    b[0] = 'M', b[1] = 'Z';
    for (int i = 0; i < 4; ++i) b[0x3C + i] = char(peAt >> (8 * i));
    if (std::uint64_t(peAt) + 26 <= b.size()) {
      b.replace(peAt, 4, std::string("PE\0\0", 4));
      b[peAt + 4] = char(machine), b[peAt + 5] = char(machine >> 8);
      b[peAt + 24] = char(magic), b[peAt + 25] = char(magic >> 8);
    }
    return b;
  };
  const struct {
    std::string bytes;
    const char* kind;
  } cases[] = {
      {stub(0x14C, 0x10B), "PE32 (i686)"},
      {stub(0x8664, 0x20B), "PE32+ (x86_64)"},
      {stub(0xAA64, 0x20B), "PE32+ (ARM64)"},
      {stub(0x8664, 0x20B, 128), "PE32+ (x86_64)"},
      {stub(0x8664, 0x20B, 1020), "no PE header"},   // the header would run past the bytes read
      {stub(0x8664, 0x20B, 0xFFFFFFF0u), "no PE header"},
      {"MZ", "not an MZ executable"},
      {std::string(512, 'x'), "not an MZ executable"},
  };
  for (const auto& c : cases) EXPECT_EQ(zpack::StubKind(c.bytes), c.kind);
}

TEST(ZPackDate, DosDateTime) {
  std::tm parts{};
  parts.tm_year = 2024 - 1900, parts.tm_mon = 2, parts.tm_mday = 7, parts.tm_hour = 13, parts.tm_min = 45, parts.tm_sec = 31;
  parts.tm_isdst = -1;
  std::int64_t t = std::mktime(&parts);
  EXPECT_EQ(std::uint32_t(zpack::DosDateTime(t)), (44u << 25 | 3u << 21 | 7u << 16 | 13u << 11 | 45u << 5 | 15u));
  EXPECT_EQ(zpack::DosDateTime(0), 0x00210000);
}

}  // namespace
