// ExtractPackage on packages made by the package builder: contents, dates, split blocks,
// the engine entry, the agent copy, volumes and their prompt, and damaged or hostile
// packages (refused without writing outside the folder, without hanging, with bounded
// memory).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "internet/ZProgBar.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "system/Files.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "tests/wine/TestSupport.h"
#include "ui/ZMsgBox.h"
#include "tools/zpack/ZPack.h"
#include "system/TestHooks.h"

namespace {

constexpr std::uint32_t kDate = (44u << 25) | (3u << 21) | (15u << 16) | (13u << 11) | (37u << 5) | 21u;  // 2024-03-15 13:37:42

std::string ExeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\') + 1);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Put(const std::string& path, const std::string& content) {
  ASSERT_TRUE(WriteTextFile(path, content)) << path;
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + seed) ^ (i >> 9));
  return s;
}

std::uint32_t DosDateOf(const std::string& path) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME utc, local;
  WORD date = 0, time = 0;
  if (file && GetFileTime(file.get(), nullptr, nullptr, &utc) && FileTimeToLocalFileTime(&utc, &local))
    FileTimeToDosDateTime(&local, &date, &time);
  return (static_cast<std::uint32_t>(date) << 16) | time;
}

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

struct Progress {
  static int ranges, steps, lastMax;
  static void Reset() { ranges = steps = lastMax = 0; }
  static void Callback(int kind, int, int max, int, int, const std::string&) {
    if (kind == 0) ++ranges, lastMax = max;
    if (kind == 1) ++steps;
  }
};
int Progress::ranges, Progress::steps, Progress::lastMax;

// The user at the volume prompt: notes its text, puts the next volume in place, answers.
struct Prompt {
  std::vector<std::string> texts;
  std::vector<std::pair<std::string, std::string>> moves;  // put in place on each prompt
  bool answer = true;
  static bool Ask(void* context, int, const std::string& text) {
    Prompt& prompt = *static_cast<Prompt*>(context);
    prompt.texts.push_back(text);
    if (!prompt.moves.empty()) {
      MoveFileA(prompt.moves.front().first.c_str(), prompt.moves.front().second.c_str());
      prompt.moves.erase(prompt.moves.begin());
    }
    return prompt.answer;
  }
};

class Extract : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = TempFolder() + "unpack_test_" + std::to_string(GetCurrentProcessId()) + "\\";
    DeleteTree(root_, true);
    CreateDirectoryA(root_.c_str(), nullptr);
    CreateDirectoryA((root_ + "src").c_str(), nullptr);
    dest_ = root_ + "out\\deep";  // created by the extraction, parents too
    Progress::Reset();
    ResetExtractWriteFailures();
  }
  void TearDown() override { DeleteTree(root_, true); }

  zpack::Options Options(const std::string& output = "setup.exe") {
    zpack::Options o;
    o.stub = ExeFolder() + "ZStub.exe";
    o.output = root_ + output;
    o.fixedDate = kDate;
    return o;
  }
  void AddFile(zpack::Options& o, const std::string& path, const std::string& content, bool engine = false,
               const std::string& args = "") {
    const std::string source = root_ + "src\\" + std::to_string(o.inputs.size());
    Put(source, content);
    zpack::Input input;
    input.source = source;
    input.path = path;
    input.engine = engine;
    input.engineArgs = args;
    o.inputs.push_back(input);
  }
  void Build(const zpack::Options& o) {
    written_.clear();
    std::string error;
    ASSERT_TRUE(zpack::Build(o, written_, error)) << error;
  }
  std::string Run(const std::string& package, const std::string& agent = "", bool forcePrompt = false) {
    const std::string none, caption = "Attention",
                            text = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
    TExtractOptions options{agent, forcePrompt, 0, none, caption, text, Progress::Callback};
    if (!promptInBox_) {
      options.VolumePrompt = Prompt::Ask;
      options.PromptContext = &prompt_;
    }
    return ExtractPackage(package, dest_, options, check_, &details_);
  }

  std::string root_, dest_;
  Prompt prompt_;
  bool promptInBox_ = false;          // the volume prompt is the message box
  std::vector<std::string> written_;  // the files the last Build made
  bool check_ = false;
  TExtractDetails details_;
};

TEST_F(Extract, FilesWithContentsDatesSplitBlocksAndTheEngine) {
  auto o = Options();
  o.blockSize = 100000;  // the large file arrives as several blocks, appended in order
  const std::string large = Pattern(1234567, 7);
  AddFile(o, "Engine.exe", "engine bytes", true, " /S /V");
  AddFile(o, "readme.txt", "hello\r\nworld");
  AddFile(o, "app\\lib\\large.bin", large);
  AddFile(o, "empty.dat", "");
  zpack::Options stored = o;
  Build(o);

  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe* /S /V");
  EXPECT_TRUE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Ok);
  EXPECT_EQ(ReadWholeFile(dest_ + "\\Engine.exe"), "engine bytes");
  EXPECT_EQ(ReadWholeFile(dest_ + "\\readme.txt"), "hello\r\nworld");
  EXPECT_TRUE(ReadWholeFile(dest_ + "\\app\\lib\\large.bin") == large);
  EXPECT_TRUE(Exists(dest_ + "\\empty.dat"));
  EXPECT_EQ(ReadWholeFile(dest_ + "\\empty.dat"), "");
  EXPECT_EQ(DosDateOf(dest_ + "\\readme.txt"), kDate);
  EXPECT_EQ(DosDateOf(dest_ + "\\app\\lib\\large.bin"), kDate);
  // One step per distinct file; the range is the package's file count.
  EXPECT_EQ(Progress::steps, 4);
  EXPECT_EQ(Progress::lastMax, 4);
  EXPECT_EQ(details_.FilesWritten, 4u);

  // Stored blocks give the same files.
  DeleteTree(root_ + "out", true);
  Progress::Reset();
  stored.compress = false;
  stored.output = root_ + "stored.exe";
  Build(stored);
  EXPECT_EQ(Run(root_ + "stored.exe"), "Engine.exe* /S /V");
  EXPECT_TRUE(ReadWholeFile(dest_ + "\\app\\lib\\large.bin") == large);
  EXPECT_EQ(Progress::steps, 4);
}

TEST_F(Extract, AgentCopyCarriesTheHeadersButNoFiles) {
  auto o = Options();
  o.agentName = "Update.exe";
  o.makeAgent = true;
  o.updateUrl = "http://example.com/u";
  AddFile(o, "Engine.exe", std::string(300000, 'e'), true);
  Build(o);
  Run(root_ + "setup.exe", "ignored\\Update.exe");
  ASSERT_TRUE(check_);
  const std::string agent = dest_ + "\\Update.exe";
  const std::string image = ReadWholeFile(agent);
  const std::string stub = ReadWholeFile(ExeFolder() + "ZStub.exe");
  ASSERT_GT(image.size(), stub.size() + 74);
  EXPECT_EQ(image.substr(0, 248), stub.substr(0, 248));
  EXPECT_EQ(image.substr(248, 8), std::string(8, '\0'));
  EXPECT_EQ(image.substr(256, stub.size() - 256), stub.substr(256));
  EXPECT_LT(image.size(), stub.size() + 10000);  // no data blocks
  TGFileInfo info(agent);
  EXPECT_TRUE(info.HasPackage());
  EXPECT_EQ(info.ThisIsAgent(), 1);
  EXPECT_EQ(info.Trailer.TrailerSize, 74u);
  EXPECT_EQ(info.AgentExeName(), "Update.exe");
  EXPECT_EQ(info.UpdateUrl(), "http://example.com/u");

  // Not from a package file named neither .exe nor .exe.001.
  DeleteTree(root_ + "out", true);
  CopyFileA((root_ + "setup.exe").c_str(), (root_ + "setup.bin").c_str(), FALSE);
  Run(root_ + "setup.bin", "Update.exe");
  EXPECT_TRUE(check_);
  EXPECT_TRUE(Exists(dest_ + "\\Engine.exe"));
  EXPECT_FALSE(Exists(agent));
}

// A package written here byte by byte: two header blocks, the given raw data blocks, a
// trailer with the checksum switched off.
std::string RawBlock(std::int32_t n, const std::string& bytes) {
  std::string b(4, '\0');
  std::memcpy(&b[0], &n, 4);
  return b + bytes;
}
std::string Zip(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(size);
  return out;
}
std::string Compressed(const std::string& payload) {
  const std::string z = Zip(payload);
  return RawBlock(static_cast<std::int32_t>(z.size()), z);
}
// trailerSize below 74: the trailer's first trailerSize - 4 bytes and its length.
std::string HandMade(const std::vector<std::string>& blocks, std::uint32_t filesCount,
                     std::uint32_t trailerSize = pack::kTrailerSize) {
  std::string image = "not a PE file, just a prefix";
  PackTrailer t{};
  t.Reserved0 = 1;
  t.HeaderCount = 2;
  t.DataStart = static_cast<std::uint32_t>(image.size());
  image += RawBlock(1, "\x02") + RawBlock(12, "|||.exe|||0|");
  for (const std::string& block : blocks) image += block;
  t.FilesCount = filesCount;
  t.PackMagic = pack::kPackMagic;
  t.CheckSum = pack::kCheckSumOff;
  t.TrailerSize = pack::kTrailerSize;
  image += std::string(reinterpret_cast<const char*>(&t), trailerSize - 4);
  return image + std::string(reinterpret_cast<const char*>(&trailerSize), 4);
}
std::string NamedBlock(const std::string& namePart, const std::string& content) {
  return Compressed(namePart + '\0' + content);
}

TEST_F(Extract, UnsafePathsAreRefusedAndNothingLeavesTheFolder) {
  // (The builder refuses these paths: the packages are made here.)
  const char* hostile[] = {"..\\escaped.txt", "a\\..\\..\\escaped.txt", "C:escaped.txt", "\\escaped.txt",
                           ".. \\escaped.txt", "good.txt:stream", "con\\..\\..\\escaped.txt"};
  for (const char* path : hostile) {
    DeleteTree(root_ + "out", true);
    Put(root_ + "setup.exe", HandMade({NamedBlock("|Engine.exe*|0|", "e"), NamedBlock(std::string("|") + path + "|0|", "evil"),
                                       NamedBlock("|after.txt|0|", "never")},
                                      3));
    EXPECT_EQ(Run(root_ + "setup.exe"), "") << path;
    EXPECT_FALSE(check_) << path;
    EXPECT_EQ(details_.Status, TExtractStatus::Damaged) << path;
    EXPECT_NE(details_.Reason.find("unsafe path"), std::string::npos) << details_.Reason;
    EXPECT_FALSE(Exists(dest_ + "\\after.txt")) << path;
    EXPECT_FALSE(Exists(root_ + "out\\escaped.txt")) << path;
    EXPECT_FALSE(Exists(root_ + "escaped.txt")) << path;
    EXPECT_FALSE(Exists("C:\\escaped.txt")) << path;
  }
}

// Every file is made new: what already lies at a name in the folder (a planted file, a
// link) is never opened and appended to, and a name the package brings a second time
// after other files is damage. (A file's own blocks in a row are still appended: the
// split-blocks case above.)
TEST_F(Extract, FilesAreMadeNewNeverOpenedWhereSomethingLies) {
  struct Case {
    const char* what;
    bool planted;
    std::vector<std::string> blocks;
  } cases[] = {
      {"planted before", true, {NamedBlock("|Engine.exe*|0|", "e"), NamedBlock("|a.txt|0|", "package")}},
      {"named again later",
       false,
       {NamedBlock("|Engine.exe*|0|", "e"), NamedBlock("|a.txt|0|", "first"), NamedBlock("|b.txt|0|", "b"),
        NamedBlock("|A.TXT|0|", "again")}},
  };
  for (const Case& c : cases) {
    DeleteTree(root_ + "out", true);
    CreateDirectoryA((root_ + "out").c_str(), nullptr);
    CreateDirectoryA(dest_.c_str(), nullptr);
    if (c.planted) Put(dest_ + "\\a.txt", "planted");
    Put(root_ + "setup.exe", HandMade(c.blocks, 3));
    EXPECT_EQ(Run(root_ + "setup.exe"), "") << c.what;
    EXPECT_EQ(details_.Status, TExtractStatus::Damaged) << c.what;
    EXPECT_NE(details_.Reason.find("already there"), std::string::npos) << c.what << ": " << details_.Reason;
    EXPECT_EQ(ReadWholeFile(dest_ + "\\a.txt"), c.planted ? "planted" : "first") << c.what;
  }
}

TEST_F(Extract, DamagedBlocksEndTheRunWithoutHanging) {
  const std::string first = Compressed(std::string("|first.txt|0|") + '\0' + "one");
  const std::string last = Compressed(std::string("|last.txt|0|") + '\0' + "never");
  std::string badZip = Zip(std::string("|bad.txt|0|") + '\0' + Pattern(200000, 3));
  badZip[badZip.size() / 2] ^= 0x5A;
  badZip[badZip.size() / 2 + 1] ^= 0x33;
  const std::string truncatedZip = Zip(std::string("|cut.txt|0|") + '\0' + Pattern(50000, 4));
  struct Case {
    const char* what;
    std::string middle;
  };
  const Case cases[] = {
      {"length past the end", RawBlock(0x7FFFFF00, "xyz")},
      {"stored length past the end", RawBlock(-0x7FFFFF00, "xyz")},
      {"most negative length", RawBlock(INT32_MIN, "")},
      {"damaged zlib stream", RawBlock(static_cast<std::int32_t>(badZip.size()), badZip)},
      {"zlib stream cut short", RawBlock(static_cast<std::int32_t>(truncatedZip.size() - 20),
                                         truncatedZip.substr(0, truncatedZip.size() - 20))},
      {"no path before the zero", Compressed(std::string("||0|") + '\0' + "x")},
      {"absolute path", Compressed(std::string("|\\escaped.txt|0|") + '\0' + "x")},
      {"path up and out", Compressed(std::string("|../escaped.txt|0|") + '\0' + "x")},
      // The engine is started by the name before "*", which may come from outside item 0.
      {"engine up and out", NamedBlock(";ok.txt;0;..\\..\\escaped.exe*;", "x")},
      {"engine at a drive", NamedBlock("|ok.txt|0|C:\\Windows\\escaped.exe*|", "x")},
      // The 0x00 after the name part damaged: the name runs on into the content.
      {"control character in the name part", Compressed(std::string("|x.exe*|0|\x01MZ") + '\0' + "x")},
      // Its separator damaged: the engine's arguments would be cut at the wrong place.
      {"name part not closed", NamedBlock("tx.exe*/Target=C:\\x|0|", "x")},
  };
  for (const Case& c : cases) {
    DeleteTree(root_ + "out", true);
    Put(root_ + "damaged.bin", HandMade({first, c.middle, last}, 3));
    EXPECT_EQ(Run(root_ + "damaged.bin"), "") << c.what;
    EXPECT_FALSE(check_) << c.what;
    EXPECT_EQ(details_.Status, TExtractStatus::Damaged) << c.what;
    EXPECT_EQ(ReadWholeFile(dest_ + "\\first.txt"), "one") << c.what;
    EXPECT_FALSE(Exists(dest_ + "\\last.txt")) << c.what;
    EXPECT_FALSE(Exists(root_ + "out\\escaped.txt")) << c.what;
  }
  // A block without a zero byte writes nothing and the run goes on.
  DeleteTree(root_ + "out", true);
  Put(root_ + "nozero.bin",
      HandMade({NamedBlock("|Engine.exe*|0|", "e"), first, Compressed("no zero at all"), RawBlock(0, ""), last}, 3));
  Run(root_ + "nozero.bin");
  EXPECT_TRUE(check_);
  EXPECT_EQ(ReadWholeFile(dest_ + "\\last.txt"), "never");
}

// Damage that only the package as a whole shows: two different engines, DataStart past its
// end. An engine in two blocks, and a package that brings more or less than its trailer
// declares (SpaceNeeded is only an estimate), install. A package without an engine is no damage: its
// files are extracted and there is nothing to run.
TEST_F(Extract, DamageOfThePackageAsAWhole) {
  const std::string engine = NamedBlock("|Engine.exe*|0|", "e");
  const std::string file = NamedBlock("|a.txt|0|", std::string(1000, 'a'));
  auto withTrailerField = [](std::string image, std::size_t offset, std::uint32_t value) {
    std::memcpy(&image[image.size() - pack::kTrailerSize + offset], &value, 4);
    return image;
  };
  const std::string image = HandMade({engine, file}, 2);
  struct Case {
    const char* what;
    std::string image;
    bool installs;
  } cases[] = {
      {"a second engine", HandMade({engine, NamedBlock("|docs\\long*txt|0|", "x")}, 2), false},
      {"one engine in two blocks", HandMade({engine, engine, file}, 2), true},
      {"DataStart past the package", withTrailerField(image, offsetof(PackTrailer, DataStart), 0x7FFFFFF0),
       false},
      {"more content than declared", withTrailerField(image, offsetof(PackTrailer, SpaceNeeded), 1000), true},
      {"as much content as declared", withTrailerField(image, offsetof(PackTrailer, SpaceNeeded), 1001),
       true},
  };
  for (const Case& c : cases) {
    DeleteTree(root_ + "out", true);
    Put(root_ + "whole.bin", c.image);
    EXPECT_EQ(Run(root_ + "whole.bin"), c.installs ? "Engine.exe*" : "") << c.what;
    EXPECT_EQ(check_, c.installs) << c.what;
    EXPECT_EQ(details_.Status, c.installs ? TExtractStatus::Ok : TExtractStatus::Damaged) << c.what << ": " << details_.Reason;
  }
  DeleteTree(root_ + "out", true);
  Put(root_ + "whole.bin", HandMade({file}, 1));
  EXPECT_EQ(Run(root_ + "whole.bin"), "");
  EXPECT_TRUE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Ok) << details_.Reason;
}

TEST_F(Extract, BadChecksumAndMissingFileWriteNothing) {
  auto o = Options();
  AddFile(o, "Engine.exe", Pattern(5000, 1), true);
  Build(o);
  std::string image = ReadWholeFile(root_ + "setup.exe");
  image[image.size() - 200] ^= 1;
  Put(root_ + "setup.exe", image);
  EXPECT_EQ(Run(root_ + "setup.exe"), "");
  EXPECT_FALSE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::BadCheckSum);
  EXPECT_FALSE(Exists(dest_ + "\\Engine.exe"));

  EXPECT_EQ(Run(root_ + "missing.exe"), "");
  EXPECT_FALSE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Missing);
}

// A hand-made block (no builder splits a file into so large a block) whose payload is
// the name part and size zero bytes: some 100 KB that inflate to size.
std::string ZerosBlock(const std::string& namePart, std::size_t size) {
  const std::string payload = namePart + '\0';
  std::string zipped;
  z_stream s{};
  if (deflateInit(&s, 9) != Z_OK) return zipped;
  const std::string zeros(1 << 20, '\0');
  std::string out(1 << 20, '\0');
  for (std::size_t i = 0; i <= size >> 20; ++i) {
    const std::string& in = i == 0 ? payload : zeros;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    s.avail_in = static_cast<uInt>(in.size());
    const int flush = i == size >> 20 ? Z_FINISH : Z_NO_FLUSH;
    int result;
    do {
      s.next_out = reinterpret_cast<Bytef*>(&out[0]);
      s.avail_out = static_cast<uInt>(out.size());
      result = deflate(&s, flush);
      zipped.append(out.data(), out.size() - s.avail_out);
    } while (s.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
  }
  deflateEnd(&s);
  return RawBlock(static_cast<std::int32_t>(zipped.size()), zipped);
}

TEST_F(Extract, DecompressionBombKeepsMemoryBounded) {
  // One block of ~100 KB that inflates to 96 MB.
  const std::size_t size = 96u << 20;
  // No SpaceNeeded in the trailer: nothing bounds the content but the drive.
  Put(root_ + "bomb.bin",
      HandMade({NamedBlock("|Engine.exe*|0|", "e"), ZerosBlock("|bomb.bin|0|", size)}, 2));
  PROCESS_MEMORY_COUNTERS before{};
  GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
  // The messages are pumped while the one block inflates: a thread timer keeps firing.
  g_ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, CountTick);
  const std::int64_t started = TickMs();
  Run(root_ + "bomb.bin");
  const std::int64_t took = TickMs() - started;
  KillTimer(nullptr, timer);
  if (took >= 200) {
    EXPECT_GE(g_ticks, 3) << took << " ms";
  }
  PROCESS_MEMORY_COUNTERS after{};
  GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
  EXPECT_TRUE(check_);
  EXPECT_EQ(FileSizeByName(dest_ + "\\bomb.bin"), static_cast<std::int64_t>(size));
  // The peak may only have grown by a few buffers, far below what the block inflates to.
  EXPECT_LT(after.PeakPagefileUsage, before.PeakPagefileUsage + (16u << 20));
  EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + (16u << 20));
}

// The main window closed (by the pump pass after the large file's first piece): the
// rest of its block is neither inflated nor written, and the install is cancelled, not
// refused as damaged.
TEST_F(Extract, CloseInsideALargeBlockStopsItsWrite) {
  const std::size_t size = 64u << 20;
  Put(root_ + "large.bin",
      HandMade({NamedBlock("|Engine.exe*|0|", "e"), ZerosBlock("|large.bin|0|", size)}, 2));
  static int steps;
  static TestView* view;
  TestView closedView;
  steps = 0;
  view = &closedView;
  const TProgDriver closeAtSecondFile = [](int kind, int, int, int, int, const std::string&) {
    if (kind == 1 && ++steps == 2) view->loopEnded = true;
  };
  const std::string engine = ExtractPackage(root_ + "large.bin", dest_, "", false, 0, "", "Attention", "",
                                            closeAtSecondFile, check_, &details_);
  EXPECT_EQ(engine, "");
  EXPECT_EQ(details_.Status, TExtractStatus::Cancelled);
  EXPECT_EQ(details_.Reason, "");
  EXPECT_LE(FileSizeByName(dest_ + "\\large.bin"), std::int64_t{1} << 20);
  EXPECT_EQ(ExtractWriteFailures(), 0);
}

TEST_F(Extract, VolumesThatAppearOnlyAfterThePrompt) {
  auto o = Options();
  o.volumeSize = 60000;
  o.compress = false;
  AddFile(o, "Engine.exe", "e", true);
  AddFile(o, "a.bin", Pattern(50000, 1));
  AddFile(o, "b.bin", Pattern(50000, 2));
  AddFile(o, "c.bin", Pattern(50000, 3));
  Build(o);
  const std::size_t volumes = written_.size();
  ASSERT_GE(volumes, 3u);
  CreateDirectoryA((root_ + "later").c_str(), nullptr);
  for (std::size_t j = 2; j <= volumes; ++j) {
    const std::string name = zpack::VolumeName(root_ + "setup.exe", static_cast<int>(j));
    const std::string held = root_ + "later\\" + std::to_string(j);
    ASSERT_TRUE(MoveFileA(name.c_str(), held.c_str())) << name;
    prompt_.moves.push_back({held, name});
  }
  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe*");
  EXPECT_TRUE(check_);
  ASSERT_EQ(prompt_.texts.size(), volumes - 1);
  EXPECT_EQ(prompt_.texts[0], "Please insert <B>DISK #2</B> and press OK to continue");
  EXPECT_EQ(prompt_.texts[1], "Please insert <B>DISK #3</B> and press OK to continue");
  for (int i = 1; i <= 3; ++i)
    EXPECT_TRUE(ReadWholeFile(dest_ + "\\" + std::string(1, char('a' + i - 1)) + ".bin") == Pattern(50000, i));

  // Present volumes are not asked for, unless the prompt is forced.
  DeleteTree(root_ + "out", true);
  prompt_.texts.clear();
  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe*");
  EXPECT_TRUE(prompt_.texts.empty());
  DeleteTree(root_ + "out", true);
  EXPECT_EQ(Run(root_ + "setup.exe", "", true), "Engine.exe*");
  EXPECT_EQ(prompt_.texts.size(), volumes - 1);

  // A cancelled prompt: no engine entry, no error.
  DeleteTree(root_ + "out", true);
  MoveFileA((root_ + "setup.exe.002").c_str(), (root_ + "later\\x").c_str());
  prompt_.texts.clear();
  prompt_.answer = false;
  EXPECT_EQ(Run(root_ + "setup.exe"), "");
  EXPECT_TRUE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Cancelled);
  EXPECT_EQ(prompt_.texts.size(), 1u);
}

// Another builder counted only the data files in SpaceNeeded (not the engine, nor the name
// parts): the package is sound and installs, over three volumes.
TEST_F(Extract, SpaceNeededBelowTheContentInstalls) {
  auto o = Options();
  o.volumeSize = 60000;
  o.compress = false;
  o.spaceNeeded = 150000;
  AddFile(o, "Engine.exe", Pattern(20000, 9), true);
  for (int i = 1; i <= 3; ++i) AddFile(o, std::string(1, char('a' + i - 1)) + ".bin", Pattern(50000, i));
  Build(o);
  ASSERT_GE(written_.size(), 3u);
  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe*");
  EXPECT_TRUE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Ok) << details_.Reason;
  EXPECT_EQ(details_.BytesWritten, 170000u);
  EXPECT_TRUE(ReadWholeFile(dest_ + "\\c.bin") == Pattern(50000, 3));
}

// Runs the UI driver on the next message box and waits for it; its output goes to log.
void AnswerBox(const std::string& driver, const std::string& log) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle out(CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out.get();
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + driver + "\" --class ZMsgBox --wait 20000 click:OK gone:5000";
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return;
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), 30000);
}

TEST_F(Extract, VolumePromptAnsweredInTheMessageBox) {
  const std::string driver = ExeFolder() + "zuidriver.exe";
  if (!Exists(driver)) GTEST_SKIP() << "no zuidriver";
  promptInBox_ = true;
  auto o = Options();
  o.volumeSize = 40000;
  o.compress = false;
  AddFile(o, "Engine.exe", "e", true);
  AddFile(o, "a.bin", Pattern(30000, 1));
  AddFile(o, "b.bin", Pattern(30000, 2));
  Build(o);
  const int volumes = static_cast<int>(written_.size());
  ASSERT_GE(volumes, 2);
  for (int j = 2; j <= volumes; ++j)
    MoveFileA(zpack::VolumeName(root_ + "setup.exe", j).c_str(), (root_ + "held." + std::to_string(j)).c_str());

  // The user: for each box, the next disk goes in, then OK is pressed.
  std::thread user([&] {
    for (int j = 2; j <= volumes; ++j) {
      for (int i = 0; i < 400 && !FindWindowA("ZMsgBox", nullptr); ++i) Sleep(50);
      MoveFileA((root_ + "held." + std::to_string(j)).c_str(), zpack::VolumeName(root_ + "setup.exe", j).c_str());
      AnswerBox(driver, root_ + "driver" + std::to_string(j) + ".txt");
    }
  });
  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe*");
  user.join();
  EXPECT_TRUE(check_);
  EXPECT_TRUE(ReadWholeFile(dest_ + "\\b.bin") == Pattern(30000, 2));
  const std::string seen = ReadWholeFile(root_ + "driver2.txt");
  EXPECT_NE(seen.find("DISK #2"), std::string::npos) << seen;
}

// Answers the message boxes of a run in a thread of its own (as a user would); printouts
// in box1.txt, box2.txt ... of the test's folder.
class BoxUser {
public:
  BoxUser(const std::string& folder, int boxes) {
    const std::string driver = ExeFolder() + "zuidriver.exe";
    thread_ = std::thread([=] {
      for (int i = 1; i <= boxes; ++i) AnswerBox(driver, folder + "box" + std::to_string(i) + ".txt");
    });
  }
  ~BoxUser() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

private:
  std::thread thread_;
};

// Device names cannot be written (Windows opens the device): only those files are left out,
// through the save-error box, and the package is still sound.
TEST_F(Extract, DeviceNamesSkipOnlyThoseFiles) {
  Put(root_ + "setup.exe", HandMade({NamedBlock("|Engine.exe*|0|", "e"), NamedBlock("|aux.c|0|", "one"),
                                     NamedBlock("|sub\\con.h|0|", "two"), NamedBlock("|after.txt|0|", "kept")},
                                    4));
  BoxUser user(root_, 1);
  EXPECT_EQ(Run(root_ + "setup.exe"), "Engine.exe*");
  user.Join();
  EXPECT_TRUE(check_);
  EXPECT_EQ(details_.Status, TExtractStatus::Ok);
  EXPECT_EQ(ReadWholeFile(dest_ + "\\after.txt"), "kept");
  EXPECT_EQ(ExtractWriteFailures(), 2);
  EXPECT_EQ(Progress::steps, 4);
  const std::string box = ReadWholeFile(root_ + "box1.txt");
  EXPECT_NE(box.find("aux.c"), std::string::npos) << box;
  EXPECT_NE(box.find("Unable to save Extracted File!"), std::string::npos) << box;
  EXPECT_EQ(box.find("CRC"), std::string::npos) << box;
}

// Shapes the package format allows that our builder never writes: a block whose name part is
// empty or that has no 0x00 at all (also beyond 64 KB) is skipped; a date from 2044 on is a
// negative number; a trailer shorter than 74 bytes lets the last block end within the last
// 74 bytes of the package.
TEST_F(Extract, ShapesOfOtherBuilders) {
  const std::uint32_t date2050 = (70u << 25) | (6u << 21) | (1u << 16) | (12u << 11);  // 2050-06-01 12:00:00
  // Stored, so that it starts more than 74 bytes before the end even after a short trailer.
  const std::string lastContent(64, 'z');
  const std::string lastPayload = std::string("|last.txt|0|") + '\0' + lastContent;
  const std::string last = RawBlock(-static_cast<std::int32_t>(lastPayload.size()), lastPayload);
  struct Case {
    const char* what;
    std::vector<std::string> blocks;
    std::uint32_t trailerSize;
  } cases[] = {
      {"empty name part", {NamedBlock("", "no name"), last}, pack::kTrailerSize},
      {"no zero in 70,000 bytes", {Compressed(std::string(70000, 'x')), last}, pack::kTrailerSize},
      {"stored, no zero in 70,000 bytes", {RawBlock(-70000, std::string(70000, 'y')), last}, pack::kTrailerSize},
      {"date in 2050", {NamedBlock("|future.txt|" + std::to_string(std::int32_t(date2050)) + "|", "f"), last},
       pack::kTrailerSize},
      {"trailer of 40 bytes", {NamedBlock("|future.txt|0|", "f"), last}, 40},
  };
  for (const Case& c : cases) {
    DeleteTree(root_ + "out", true);
    std::vector<std::string> blocks = {NamedBlock("|Engine.exe*|0|", "e")};
    blocks.insert(blocks.end(), c.blocks.begin(), c.blocks.end());
    Put(root_ + "other.exe", HandMade(blocks, 3, c.trailerSize));
    EXPECT_EQ(Run(root_ + "other.exe"), "Engine.exe*") << c.what;
    EXPECT_TRUE(check_) << c.what << ": " << details_.Reason;
    EXPECT_EQ(ReadWholeFile(dest_ + "\\last.txt"), lastContent) << c.what;
  }
  DeleteTree(root_ + "out", true);
  Put(root_ + "other.exe", HandMade({NamedBlock("|future.txt|" + std::to_string(std::int32_t(date2050)) + "|", "f")}, 1));
  Run(root_ + "other.exe");
  EXPECT_EQ(DosDateOf(dest_ + "\\future.txt"), date2050);
}

// The folder box names the error of the failed create. Z:\sys is sysfs on Linux: creating
// there is refused (access denied) while looking the name up says only "not found".
TEST_F(Extract, FolderErrorIsThatOfTheCreate) {
  dest_ = "Z:\\sys\\zunpack_test";
  const BOOL created = CreateDirectoryA(dest_.c_str(), nullptr);
  const DWORD createError = GetLastError();
  GetFileAttributesA(dest_.c_str());
  const DWORD lookUpError = GetLastError();
  if (created) RemoveDirectoryA(dest_.c_str());
  if (created || createError == lookUpError) GTEST_SKIP() << "no folder here that fails apart from its look-up";
  auto o = Options();
  AddFile(o, "Engine.exe", "e", true);
  Build(o);
  BoxUser user(root_, 2);  // the folder, then the first file that cannot be saved
  Run(root_ + "setup.exe");
  user.Join();
  const std::string box = ReadWholeFile(root_ + "box1.txt");
  SetLastError(createError);
  const std::string expected = LastErrorText();
  SetLastError(lookUpError);
  const std::string other = LastErrorText();
  EXPECT_NE(box.find("Unable to create Directory!"), std::string::npos) << box;
  EXPECT_NE(box.find(Trim(expected).substr(0, 20)), std::string::npos) << box << " / " << expected;
  EXPECT_EQ(box.find(Trim(other).substr(0, 20)), std::string::npos) << box << " / " << other;
}

TEST(ExtractErrorDetailsText, NamesSizesAndFreeSpace) {
  const std::string file = TempFolder() + "unpack_details.txt";
  WriteTextFile(file, "12345");
  SetLastError(ERROR_DISK_FULL);
  const std::string text = ExtractErrorDetails(file, std::string(777, 'x'));
  DeleteFileA(file.c_str());
  EXPECT_NE(text.find("<P>  Data Size: <T>777 Bytes<P>  File Size:  <T>5 Bytes<P>  Bytes Free: <T>"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.rfind(" Bytes"), text.size() - 6);
}

}  // namespace

namespace {

// The main window's two bars, driven by ProgressCallback (here on bars of the test's own).
TEST(ProgressBars, RangeStepsAndTheActivityCycle) {
  ASSERT_TRUE(LoadLibraryA("comctl32.dll"));
  UniqueWindow main(CreateWindowExA(0, "msctls_progress32", "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr,
                                    nullptr, nullptr));
  UniqueWindow activity(CreateWindowExA(0, "msctls_progress32", "", WS_POPUP, 0, 0, 50, 10, nullptr, nullptr,
                                        nullptr, nullptr));
  ASSERT_TRUE(main && activity);
  TestView view;
  view.progressBar = main.get();
  view.activityBar = activity.get();
  // 70,000 files (or download chunks): the whole maximum reaches the control.
  ProgressCallback(0, 0, 70000, 5, 1, "");
  EXPECT_EQ(SendMessageA(main.get(), PBM_GETRANGE, FALSE, 0), 70000);
  EXPECT_EQ(SendMessageA(main.get(), PBM_GETPOS, 0, 0), 5);
  EXPECT_EQ(SendMessageA(activity.get(), PBM_GETRANGE, FALSE, 0), 5);
  // Steps reach the bars at a human rate; ShowProgressNow hands over every pending one.
  const auto step = [] {
    ProgressCallback(1, 0, 0, 0, 0, "");
    ShowProgressNow();
  };
  // The activity counter is process-wide: step until a step shows 0, then it cycles 1..5, 0.
  int steps = 0;
  do {
    step();
    ++steps;
  } while (SendMessageA(activity.get(), PBM_GETPOS, 0, 0) != 0 && steps < 6);
  std::vector<int> cycle;
  for (int i = 0; i < 7; ++i) {
    step();
    cycle.push_back(static_cast<int>(SendMessageA(activity.get(), PBM_GETPOS, 0, 0)));
  }
  EXPECT_EQ(cycle, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
  EXPECT_EQ(SendMessageA(main.get(), PBM_GETPOS, 0, 0), 12 + steps);
  ProgressCallback(7, 0, 100, 50, 1, "");  // other kinds do nothing
  EXPECT_EQ(SendMessageA(main.get(), PBM_GETPOS, 0, 0), 12 + steps);
  // Steps handed over together end where single steps end, past the range's end too
  // (where the control wraps around).
  UniqueWindow single(CreateWindowExA(0, "msctls_progress32", "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr,
                                      nullptr, nullptr));
  SendMessageA(single.get(), PBM_SETRANGE32, 0, 10);
  SendMessageA(single.get(), PBM_SETSTEP, 2, 0);
  ProgressCallback(0, 0, 10, 3, 2, "");
  SendMessageA(single.get(), PBM_SETPOS, 3, 0);
  for (int pending : {3, 4}) {
    for (int i = 0; i < pending; ++i) {
      ProgressCallback(1, 0, 0, 0, 0, "");
      SendMessageA(single.get(), PBM_STEPIT, 0, 0);
    }
    ShowProgressNow();
    EXPECT_EQ(SendMessageA(main.get(), PBM_GETPOS, 0, 0), SendMessageA(single.get(), PBM_GETPOS, 0, 0))
        << pending;
  }
  // Shown bars are painted by the next pass of the message pump, not left stale.
  ShowWindow(main.get(), SW_SHOWNA);
  ShowWindow(activity.get(), SW_SHOWNA);
  YieldX(0);
  Sleep(40);  // the next step is due for the bars
  ProgressCallback(1, 0, 0, 0, 0, "");
  EXPECT_TRUE(GetUpdateRect(main.get(), nullptr, FALSE));
  EXPECT_TRUE(GetUpdateRect(activity.get(), nullptr, FALSE));
  YieldX(0);
  EXPECT_FALSE(GetUpdateRect(main.get(), nullptr, FALSE));
  EXPECT_FALSE(GetUpdateRect(activity.get(), nullptr, FALSE));
  // Without the main window nothing is sent.
  view.progressBar = view.activityBar = nullptr;
  ProgressCallback(1, 0, 0, 0, 0, "");
}

}  // namespace
