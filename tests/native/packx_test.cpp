// The package reader: trailer, header texts, checksum, tokens, on small files made here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "package/PackX.h"
#include "system/Utils.h"

namespace fs = std::filesystem;

namespace {

std::string U32(std::uint32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = char(v >> (8 * i));
  return b;
}

std::string TrailerBytes(const PackTrailer& t) { return std::string(reinterpret_cast<const char*>(&t), sizeof t); }

PackTrailer MakeTrailer(std::uint32_t dataStart, std::uint8_t headerCount = 2) {
  PackTrailer t{};
  t.Reserved0 = 1;
  t.HeaderCount = headerCount;
  t.DataStart = dataStart;
  t.FilesCount = 7;
  t.PackMagic = pack::kPackMagic;
  t.TrailerSize = pack::kTrailerSize;
  for (int i = 0; i < pack::kSpaceSlots; ++i) t.SpaceNeeded[i] = 1000u + std::uint32_t(i);
  return t;
}

std::string Header(const std::string& text) { return U32(std::uint32_t(text.size())) + text; }

// A minimal "executable": MZ at 0, PE at 256, 512 bytes.
std::string PeStub() {
  std::string stub(512, '\0');
  stub[0] = 'M', stub[1] = 'Z', stub[256] = 'P', stub[257] = 'E';
  return stub;
}

void SetPackEnd(std::string& image, std::uint64_t end) {
  image.replace(pack::kPackEndPosHigh, 4, U32(std::uint32_t(end >> 32)));
  image.replace(pack::kPackEndPosLow, 4, U32(std::uint32_t(end)));
}

class PackXTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("packx_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }

  // stub + LangTable + StubInfo (+ WebInfo) + trailer.
  std::string Package(const std::string& stub, const std::string& stubInfo, std::uint8_t headerCount = 2,
                      const std::string& webInfo = "") {
    std::string image = stub + Header("\x02") + Header(stubInfo);
    if (headerCount >= 3) image += Header(webInfo);
    image += TrailerBytes(MakeTrailer(std::uint32_t(stub.size()), headerCount));
    return image;
  }

  fs::path dir_;
};

TEST_F(PackXTest, FindsTrailerAtPhysicalEndOrAtPackEnd) {
  const std::string stubInfo = "|http:|.info|.exe|tok|0|";
  std::string plain = Package(std::string(300, 'x'), stubInfo);
  std::string signedImage = Package(PeStub(), stubInfo);
  SetPackEnd(signedImage, signedImage.size());
  signedImage += std::string(1000, '\x5A');  // a signature block after the package

  for (const auto& image : {plain, signedImage}) {
    TGFileInfo info(Write("pkg.exe", image));
    ASSERT_TRUE(info.HasPackage());
    EXPECT_EQ(+info.Trailer.FilesCount, 7u);
    EXPECT_EQ(+info.Trailer.TrailerSize, pack::kTrailerSize);
    EXPECT_EQ(info.LangTable, "\x02");
    EXPECT_EQ(info.StubInfo, stubInfo);
    EXPECT_TRUE(info.WebInfo.empty());
  }
}

TEST_F(PackXTest, HeaderCountZeroReadsTwoAndThreeReadsWebInfo) {
  std::string stub(100, 's');
  std::string two = Package(stub, "|a|b|c|d|0|", 2);
  two[two.size() - pack::kTrailerSize + 1] = 0;  // HeaderCount stored as 0
  TGFileInfo info(Write("two.exe", two));
  EXPECT_EQ(+info.Trailer.HeaderCount, 2);
  EXPECT_EQ(+info.Trailer.DataStart, 100u + 5 + 4 + 11);

  const std::string web = "|http://h/x|setup.exe|1|tok|12345|";
  TGFileInfo three(Write("three.exe", Package(stub, "|a|b|c|d|0|", 3, web)));
  EXPECT_EQ(three.WebInfo, web);
  EXPECT_EQ(+three.Trailer.DataStart, 100u + 5 + 4 + 11 + 4 + web.size());
  EXPECT_EQ(three.WebUrl(), "http://h/x");
  EXPECT_EQ(three.WebFileName(), "setup.exe");
  EXPECT_TRUE(three.WebNoLocal());
  EXPECT_EQ(three.WebToken(false), "tok");
  EXPECT_EQ(three.WebSize(), "12345");
}

TEST_F(PackXTest, StubInfoAccessors) {
  struct Case {
    std::string stubInfo, updateUrl, infoName, originalName, agent;
    bool hidden;
  } cases[] = {
      {"|http:|.info|.exe|tok|0|", "http:", ".info", ".original", ".exe", false},
      {"|http://h/u|http://h/u/Prod.v2.info|Update.exe|tok|1|", "http://h/u", "Prod.v2.info", "Prod.original", "Update.exe", true},
      {"|x|C:\\dir\\App.info|A.exe|tok||", "x", "App.info", "App.original", "A.exe", false},
  };
  for (const auto& c : cases) {
    TGFileInfo info(Write("p.exe", Package(std::string(64, 's'), c.stubInfo)));
    EXPECT_EQ(info.UpdateUrl(), c.updateUrl) << c.stubInfo;
    EXPECT_EQ(info.InfoFileName(), c.infoName) << c.stubInfo;
    EXPECT_EQ(info.OriginalFileName(), c.originalName) << c.stubInfo;
    EXPECT_EQ(info.AgentExeName(), c.agent) << c.stubInfo;
    EXPECT_EQ(info.HiddenByDefault(), c.hidden) << c.stubInfo;
    EXPECT_EQ(info.StubToken(false), "tok");
  }
}

TEST_F(PackXTest, FlagsAndTrailerBytes) {
  std::string image = Package(std::string(64, 's'), "|a|b|c|d|0|");
  std::size_t t = image.size() - pack::kTrailerSize;
  image[t + 65] = char(pack::kFlagShowTempNote | pack::kFlagSpanCdLauncher | pack::kFlagAgentLog);
  image[t + 66] = 1, image[t + 67] = 2, image[t + 68] = 3, image[t + 69] = 4;
  TGFileInfo info(Write("f.exe", image));
  EXPECT_TRUE(info.ShowTempNote());
  EXPECT_TRUE(info.SpanCdLauncher());
  EXPECT_TRUE(info.AgentLogWanted());
  EXPECT_FALSE(info.ShowActivityBar());
  EXPECT_FALSE(HasNextVolume(info.Trailer));
  EXPECT_EQ(info.IsWebInstall(), 1);
  EXPECT_EQ(info.AskBeforeDownload(), 2);
  EXPECT_EQ(info.MakeAgent(), 3);
  EXPECT_EQ(info.ThisIsAgent(), 4);

  // The same trailer bytes at the end of a file without a valid package (magic number or
  // header texts damaged, as in a cut-off download): no flag is honoured, nothing needed.
  std::string noMagic = image, badHeader = image;
  noMagic[t + 12] ^= 0x01;
  badHeader.replace(64, 4, U32(0x7FFFFFFF));
  for (const auto& damaged : {noMagic, badHeader}) {
    TGFileInfo bad(Write("d.exe", damaged));
    EXPECT_EQ(+bad.Trailer.ThisIsAgent, 4);  // the record keeps what was read
    EXPECT_FALSE(bad.IsValidPackage());
    EXPECT_FALSE(bad.ShowTempNote() || bad.SpanCdLauncher() || bad.AgentLogWanted() || bad.ShowActivityBar());
    EXPECT_EQ(bad.IsWebInstall() + bad.AskBeforeDownload() + bad.MakeAgent() + bad.ThisIsAgent(), 0);
    EXPECT_EQ(bad.SpaceNeededForCluster(4096), 0);
  }
}

TEST_F(PackXTest, SpaceNeededByClusterSize) {
  TGFileInfo info(Write("s.exe", Package(std::string(64, 's'), "|a|b|c|d|0|")));
  struct {
    std::uint32_t cluster, expected;
  } cases[] = {{0, 1000}, {256, 1000}, {511, 1000}, {512, 1001}, {1024, 1002}, {4096, 1004}, {65536, 1008}, {131072, 1008}};
  for (const auto& c : cases) EXPECT_EQ(info.SpaceNeededForCluster(c.cluster), c.expected) << c.cluster;
}

// Damaged packages: nothing outside the file is followed, nothing crashes.
TEST_F(PackXTest, DamagedLengthsAndOffsetsAreNotFollowed) {
  std::string good = Package(std::string(64, 's'), "|a|b|c|d|0|");
  std::size_t t = good.size() - pack::kTrailerSize;
  struct Case {
    const char* what;
    std::string image;
    bool magic;
  } cases[] = {
      {"trailer length 2", good.substr(0, good.size() - 4) + U32(2), false},
      {"trailer length past the start", good.substr(0, good.size() - 4) + U32(0x7FFFFFF0), false},
      {"negative trailer length", good.substr(0, good.size() - 4) + U32(0xFFFFFFFF), false},
      {"DataStart past the end", std::string(good).replace(t + 4, 4, U32(0xFFFFFF00)), true},
      {"header length past the end", std::string(good).replace(64, 4, U32(0x7FFFFFFF)), true},
      {"negative header length", std::string(good).replace(64, 4, U32(0x80000000)), true},
      {"three bytes", "abc", false},
  };
  for (const auto& c : cases) {
    TGFileInfo info(Write("bad.exe", c.image));
    EXPECT_EQ(info.HasPackage(), c.magic) << c.what;
    EXPECT_TRUE(info.LangTable.empty() && info.StubInfo.empty()) << c.what;
  }

  // PackEndPos beyond the file or below 4: the trailer is not read.
  for (std::uint64_t end : {std::uint64_t(good.size()) + 1000, std::uint64_t(3), std::uint64_t(1) << 40}) {
    std::string image = Package(PeStub(), "|a|b|c|d|0|");
    SetPackEnd(image, end);
    TGFileInfo info(Write("pe.exe", image));
    EXPECT_FALSE(info.HasPackage()) << end;
  }

  TGFileInfo missing((dir_ / "none.exe").string());
  EXPECT_FALSE(missing.HasPackage());
  EXPECT_EQ(+missing.Trailer.HeaderCount, 0);
  EXPECT_EQ(missing.AgentExeName(), "");
}

TEST_F(PackXTest, ReadTrailerOnHandleLeavesPositionAfterSeventyBytes) {
  std::string image = Package(std::string(64, 's'), "|a|b|c|d|0|");
  PackFile file(Write("h.exe", image));
  PackTrailer t{};
  ReadTrailer(file.get(), t);
  EXPECT_EQ(+t.PackMagic, pack::kPackMagic);
  EXPECT_EQ(std::ftell(file.get()), long(image.size() - 4));
}

// The checksum as defined: 4,096-byte pieces read from the start (512 with PackEnd set).
std::uint32_t PieceByPieceSum(const std::string& file, std::int64_t end, std::uint32_t trailerSize, bool fromPackEnd) {
  std::int64_t remaining = end - trailerSize;
  std::size_t offset = 0;
  if (fromPackEnd) {
    remaining -= 512;
    offset = 512;
  }
  std::uint32_t sum = 0;
  for (;;) {
    std::size_t got = offset < file.size() ? std::min<std::size_t>(4096, file.size() - offset) : 0;
    for (std::size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      std::uint32_t w;
      std::memcpy(&w, file.data() + offset + i, 4);
      if (remaining > 4) sum += w;
    }
    if (remaining > 4) sum += pack::kCheckSumOff;
    if (got < 4096) return sum;
    offset += got;
  }
}

TEST_F(PackXTest, CheckSumOnAndAroundPieceAndChunkBoundaries) {
  std::string pattern(600000, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = char(i * 131 + (i >> 9));
  for (std::size_t size : {0, 3, 77, 78, 79, 4095, 4096, 4097, 4170, 8192, 262143, 262144, 262145, 266240, 524288,
                           524290}) {
    const std::string plain = pattern.substr(0, size);
    EXPECT_EQ(PackCheckSum(Write("edge.bin", plain), 74), PieceByPieceSum(plain, size, 74, false)) << size;
    EXPECT_EQ(PackCheckSumOfImage(plain, 74), PieceByPieceSum(plain, size, 74, false)) << size;
    if (size < 1024) continue;
    // PackEnd set: the sum starts at 512 and stops before PackEnd's trailer; the bytes
    // behind PackEnd are still read, not summed.
    std::string pe = PeStub() + plain;
    SetPackEnd(pe, pe.size() - 700);
    EXPECT_EQ(PackCheckSum(Write("edge.exe", pe), 74), PieceByPieceSum(pe, pe.size() - 700, 74, true)) << size;
    EXPECT_EQ(PackCheckSumOfImage(pe, 74), PieceByPieceSum(pe, pe.size() - 700, 74, true)) << size;
  }
}

TEST_F(PackXTest, CheckSumRules) {
  // 100 bytes, no PE header, T = 74: the words at 0..16 are summed, nothing else.
  std::string image(100, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char(i * 7 + 3);
  std::uint32_t expected = 0;
  for (std::size_t at = 0; at <= 16; at += 4) {
    std::uint32_t w;
    std::memcpy(&w, image.data() + at, 4);
    expected += w;
  }
  std::string name = Write("sum.bin", image);
  EXPECT_EQ(PackCheckSum(name, 74), expected);
  image[20] ^= 0x55;  // not summed
  EXPECT_EQ(PackCheckSum(Write("sum.bin", image), 74), expected);
  image[16] ^= 0x55;  // summed
  EXPECT_NE(PackCheckSum(Write("sum.bin", image), 74), expected);

  // PackEndPos set: from 512 on, bytes after PackEnd not summed; 1234 per full block.
  std::string pe = PeStub() + std::string(9000, '\x01');
  SetPackEnd(pe, pe.size());
  std::string withSignature = pe + std::string(5000, '\x7F');
  std::uint32_t sum = PackCheckSum(Write("pe.exe", pe), 74);
  EXPECT_EQ(PackCheckSum(Write("pe2.exe", withSignature), 74), sum);
  EXPECT_EQ(PackCheckSumOfImage(withSignature, 74), sum);
  std::string headerChanged = withSignature;
  headerChanged[300] = 'x';  // below 512: not summed
  EXPECT_EQ(PackCheckSum(Write("pe3.exe", headerChanged), 74), sum);
  // R0 = 9000 - 74; words up to 8 before the trailer, 2 full blocks with more left.
  std::uint32_t words = (9000 - 74 - 8 + 3) / 4;
  EXPECT_EQ(sum, words * 0x01010101u + 2 * pack::kCheckSumOff);

  // Above 50 MB the check is off.
  std::string big = (dir_ / "big.bin").string();
  std::ofstream(big, std::ios::binary).put('x');
  fs::resize_file(big, pack::kCheckSumMaxFile + 1);
  EXPECT_EQ(PackCheckSum(big, 74), pack::kCheckSumOff);
  EXPECT_TRUE(CheckSumAccepted(pack::kCheckSumOff, 5));
  EXPECT_TRUE(CheckSumAccepted(5, pack::kCheckSumOff));
  EXPECT_FALSE(CheckSumAccepted(5, 6));
}

TEST(PackXImage, PackEndFromImage) {
  std::string image = PeStub();
  SetPackEnd(image, (std::uint64_t(2) << 32) + 77);
  EXPECT_EQ(PackEndFromImage(image), (std::uint64_t(2) << 32) + 77);
  EXPECT_EQ(PackEndFromImage(image.substr(0, 255)), 0u);
}

TEST(PackXToken, RoundTripsAndWritesLowerCaseLetters) {
  for (std::string token : {std::string("a"), std::string("Secret-123"), std::string("0123456789abcdefghi"),
                            std::string("0123456789abcdefghij"), std::string(200, '\xFE')}) {
    std::string text = ScrambleToken(token);
    if (token.size() <= 19) {
      EXPECT_EQ(text.size(), 48u) << token;
    }
    for (char ch : text) EXPECT_TRUE(ch >= 'a' && ch <= 'z') << text;
    EXPECT_EQ(UnscrambleToken(text), token);
    EXPECT_NE(ScrambleToken(token), text) << "scrambling is randomised";
  }
  EXPECT_EQ(ScrambleToken(""), "");
  EXPECT_EQ(ScrambleToken(std::string(201, 'x')), "");
}

// A token encoded by hand from the decoding rule, not by ScrambleToken: bytes
// 31 21 21 5E 61 62 A5 11 with key 0x31 ^ 0x11 = 0x20 hold 1 byte of padding before, the
// sum (0xA5 = all other bytes mod 256) after, and "AB" in between; every hex digit + 50.
TEST(PackXToken, HandEncodedVectorDecodes) {
  EXPECT_EQ(UnscrambleToken("ecdcdcgwhchdsgcc"), "AB");
  std::string got;
  EXPECT_FALSE(TryUnscrambleToken("ecdcdcgwhchdsgcd", got));  // last byte changed: the sum fails
}

TEST(PackXToken, DamagedTokensDoNotDecodeToTheRealOne) {
  const std::string token = "Secret-123";
  const std::string text = ScrambleToken(token);
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string damaged = text;
    damaged[i] = damaged[i] == 'b' ? 'c' : 'b';
    EXPECT_NE(UnscrambleToken(damaged), token) << i;
  }
  for (const std::string& bad : {std::string(), std::string("bbbb"), text.substr(0, 47), std::string(48, 'x'),
                                 std::string("\xFF\x00\x01", 3), text + "b"}) {
    std::string got;
    EXPECT_FALSE(TryUnscrambleToken(bad, got));
    std::string fallback = UnscrambleToken(bad);
    std::int64_t number = -1;
    EXPECT_TRUE(TryParseInt64(fallback, number) && number >= 0 && number < 99999) << fallback;
  }
  // Two tokens that both fail never compare equal.
  for (int i = 0; i < 100; ++i) EXPECT_NE(UnscrambleToken("zz"), UnscrambleToken("zz"));
}

TEST(PackXToken, PaddingCountsOutsideTheTextFail) {
  // Bytes: key, before = 200, after = 0, ..., sum, last (key 0): the token would start past the end.
  std::string d = {0, char(200), 0, 'a', 'b', 'c', 0, 0};
  unsigned sum = 0;
  for (std::size_t i = 0; i < d.size(); ++i)
    if (i != d.size() - 2) sum += (unsigned char)d[i];
  d[d.size() - 2] = char(sum);
  std::string text = BytesToHex(d);
  for (char& ch : text) ch = char(ch + 50);
  std::string got;
  EXPECT_FALSE(TryUnscrambleToken(text, got));
}

TEST(PackXInform, SplitsTokenAndBody) {
  const std::string token = "Tok-42";
  const std::string plain = "head|" + ScrambleToken(token) + "|x|y|Body with | bar";
  for (const std::string& text : {plain, ScrambleText(plain, true, false)}) {
    std::string gotToken, body;
    SplitInformText(text, gotToken, body);
    EXPECT_EQ(gotToken, token);
    EXPECT_EQ(body, "Body with | bar");
  }
  // The writer's texts split back into the same token and body, empty body included.
  for (bool scrambled : {false, true})
    for (const std::string& written : {std::string("a|b|c|d"), std::string(), std::string("\x01\xff\r\n")}) {
      std::string text, gotToken, body;
      ASSERT_TRUE(MakeInformText(token, written, scrambled, text));
      SplitInformText(text, gotToken, body);
      EXPECT_EQ(gotToken, token);
      EXPECT_EQ(body, written);
    }
  std::string unwritable = "x";
  EXPECT_FALSE(MakeInformText("", "body", false, unwritable));
  EXPECT_EQ(unwritable, "");
  EXPECT_FALSE(MakeInformText(std::string(201, 't'), "body", true, unwritable));
  std::string gotToken, body = "old";
  SplitInformText("no separators", gotToken, body);
  EXPECT_EQ(body, "");
  EXPECT_NE(gotToken, token);
}

// A program whose header holds "|" + the scrambled token + "|x|y|" splits like a news text:
// only text without NUL bytes is taken as one.
TEST(PackXInform, OnlyTextCarriesTheToken) {
  const std::string token = "Tok-42";
  const std::string news = "Inform|" + ScrambleToken(token) + "|||Pad 2 is out.";
  const std::string program = std::string("MZ\x90\0\x03\0\0\0", 8) + news + std::string("\0\0PE\0\0", 6);
  const struct {
    std::string text, ownToken;
    bool carries;
  } cases[] = {
      {news, token, true},
      {ScrambleText(news, true, false), token, true},
      {program, token, false},
      {news + std::string(1, '\0'), token, false},
      {news, "Tok-43", false},
      {news, "", false},
      {"no separators", token, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InformTextCarriesToken(c.text, c.ownToken), c.carries) << c.text.size();
  // A scrambled text may hold NUL bytes itself: it is judged by what it unscrambles to.
  int withNul = 0;
  for (int i = 0; i < 400; ++i) {
    std::string scrambled;
    ASSERT_TRUE(MakeInformText(token, "News " + std::to_string(i), true, scrambled));
    if (scrambled.find('\0') == std::string::npos) continue;
    ++withNul;
    EXPECT_TRUE(InformTextCarriesToken(scrambled, token)) << i;
  }
  EXPECT_GT(withNul, 0);
  std::string gotToken, body;
  SplitInformText(program, gotToken, body);
  EXPECT_EQ(gotToken, token);  // what the check alone let through
}

}  // namespace
