// The extraction's portable parts: block bounds, name parts, path safety, the payload
// split, volume names and the zlib wrapper (including damaged streams and bombs).
#include <gtest/gtest.h>

#include <zlib.h>

#include <climits>
#include <string>
#include <vector>

#include "package/UnPackLogic.h"
#include "package/ZLibOpen.h"

namespace {

std::string Deflate(const std::string& data, int level = 9) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
                      data.size(), level),
            Z_OK);
  out.resize(size);
  return out;
}

TEST(UnPackLogic, BlockLengthMustFitBeforeTheTrailer) {
  bool compressed = false;
  // Volume whose blocks end at 1000.
  EXPECT_EQ(BlockLength(10, 100, 1000, compressed), 10);
  EXPECT_TRUE(compressed);
  EXPECT_EQ(BlockLength(-10, 100, 1000, compressed), 10);
  EXPECT_FALSE(compressed);
  EXPECT_EQ(BlockLength(0, 100, 1000, compressed), 0);
  EXPECT_FALSE(compressed);
  EXPECT_EQ(BlockLength(896, 100, 1000, compressed), 896);  // ends exactly at the trailer
  EXPECT_EQ(BlockLength(897, 100, 1000, compressed), -1);   // one byte into it
  EXPECT_EQ(BlockLength(-897, 100, 1000, compressed), -1);
  EXPECT_EQ(BlockLength(INT32_MAX, 100, 1000, compressed), -1);
  EXPECT_EQ(BlockLength(INT32_MIN, 100, 1000, compressed), -1);
  EXPECT_EQ(BlockLength(0, 997, 1000, compressed), -1);  // not even the length field fits
}

TEST(UnPackLogic, NamePartGivesPathEngineAndDate) {
  struct Case {
    const char* namePart;
    bool ok;
    const char* path;
    const char* engine;
    std::uint32_t date;
  };
  const Case cases[] = {
      {"|readme.txt|1234567|", true, "readme.txt", "", 1234567},
      {"|Engine.exe*|0|", true, "Engine.exe", "Engine.exe*", 0},
      {"|Setup.exe* /S /V|99|", true, "Setup.exe", "Setup.exe* /S /V", 99},
      {"|app\\x.dll|notanumber|", true, "app\\x.dll", "", 0},
      // Signed 32-bit DOS date-times: 2050-06-01 12:00:00 is negative.
      {"|a.txt|-1933484032|", true, "a.txt", "", 2361483264u},
      {"|a.txt|2361483264|", true, "a.txt", "", 2361483264u},
      {"|a.txt|-2147483649|", true, "a.txt", "", 0},
      {"|a.txt|", true, "a.txt", "", 0},
      {"", false, "", "", 0},
      {"||0|", false, "", "", 0},
      // A "*" outside item 0 still marks the entry: the whole name part.
      {"|a.txt|0*|", true, "a.txt", "|a.txt|0*|", 0},
  };
  for (const Case& c : cases) {
    TBlockName name;
    EXPECT_EQ(ParseNamePart(c.namePart, name), c.ok) << c.namePart;
    EXPECT_EQ(name.Path, c.path) << c.namePart;
    EXPECT_EQ(name.Engine, c.engine) << c.namePart;
    EXPECT_EQ(name.Date, c.date) << c.namePart;
  }
}

TEST(UnPackLogic, NamePartMustBePrintableAndClosed) {
  for (const char* good : {"|a.txt|0|", "^a|b.txt^0^", "|Setup.exe* /S|1|"}) EXPECT_TRUE(IsWellFormedNamePart(good)) << good;
  const std::pair<std::string, const char*> bad[] = {
      {"|a.txt|0|\x01MZ", "control character in the name part"},
      {"|a\tb.txt|0|", "control character in the name part"},
      {"ta.exe*/Target=x|0|", "name part not closed by its separator"},
      {"|a.txt|0^", "name part not closed by its separator"},
      {"|", "name part not closed by its separator"},
  };
  for (const auto& c : bad) {
    std::string reason;
    EXPECT_FALSE(IsWellFormedNamePart(c.first, &reason)) << c.first;
    EXPECT_EQ(reason, c.second) << c.first;
  }
}

TEST(UnPackLogic, PathsThatLeaveTheFolderAreRefused) {
  const char* safe[] = {"a.txt", "app\\lib\\x.dll", "app/lib/x.dll", ".\\a.txt", "a..b.txt", "..a", "CONFIG.SYS",
                        "COM10.txt", "con_1.txt", "LPTX", "Setup.exe"};
  for (const char* path : safe) EXPECT_TRUE(IsSafePackagePath(path)) << path;
  const char* unsafe[] = {"",          "\\Windows\\evil.dll", "/etc/passwd", "\\\\server\\share\\x", "C:evil.exe",
                          "C:\\x.exe", "a.txt:stream",       "..\\evil.exe", "a\\..\\..\\evil.exe", "a/../b",
                          "...\\x",    ". \\x",              "a\\.. \\x",    "CON",                 "con.txt",
                          "a\\NUL",    "nul.tar.gz",         "COM1",         "lpt9.log",            "AUX ",
                          "PRN.",      "CONIN$",             "a\\\\b",       "folder\\",            "a\tb",
                          "a?.txt",    "a*b",                "a<b",          "COM\xB9"};
  for (const char* path : unsafe) {
    std::string reason;
    EXPECT_FALSE(IsSafePackagePath(path, &reason)) << path;
    EXPECT_FALSE(reason.empty()) << path;
  }
  // A device name alone leads nowhere (that file is skipped); with anything else wrong it
  // is not reported as only a device name.
  const struct {
    const char* path;
    bool deviceOnly;
  } devices[] = {{"aux.c", true}, {"sub\\con.h", true}, {"NUL", true}, {"con\\..\\..\\x", false},
                 {"..\\nul", false}, {"C:nul", false}, {"a.txt", false}};
  for (const auto& d : devices) {
    bool deviceName = true;
    IsSafePackagePath(d.path, nullptr, &deviceName);
    EXPECT_EQ(deviceName, d.deviceOnly) << d.path;
  }
}

// A web stub's setup file name: fetched below its web folder, looked for beside the stub and
// saved under its last part in the temporary folder.
TEST(UnPackLogic, WebFileNames) {
  const char* safe[] = {"Setup.exe", "dl/Setup.exe", "v2\\Setup.exe", "Setup", "a..b.exe", "./Setup.exe"};
  for (const char* name : safe) EXPECT_TRUE(IsSafeWebFileName(name)) << name;
  const char* unsafe[] = {"",
                          "*",
                          "*.*",
                          "Set?p.exe",
                          "..",
                          "sub\\..\\..\\x.exe",
                          "con",
                          "CON.exe",
                          "lpt1",
                          ".",
                          "...",
                          " ",
                          ". .",
                          "sub/.",
                          "a\tb",
                          "/Setup.exe",
                          "\\\\host\\x.exe",
                          "C:x.exe",
                          "x.exe:s",
                          "dl/",
                          "a<b"};
  for (const char* name : unsafe) {
    std::string reason;
    EXPECT_FALSE(IsSafeWebFileName(name, &reason)) << name;
    EXPECT_FALSE(reason.empty()) << name;
  }
}

struct SplitResult {
  std::vector<std::string> names;
  std::string content;
  bool dropContent = false;
  std::size_t stopAfter = SIZE_MAX;
};

bool OnName(void* context, const std::string& name) {
  auto& r = *static_cast<SplitResult*>(context);
  r.names.push_back(name);
  return !r.dropContent;
}

bool OnContent(void* context, const char* data, std::size_t size) {
  auto& r = *static_cast<SplitResult*>(context);
  r.content.append(data, size);
  return r.content.size() < r.stopAfter;
}

TEST(UnPackLogic, SplitterFindsTheFirstZeroAcrossPieces) {
  const std::string payload = std::string("|dir\\f.bin|42|") + '\0' + std::string("ab\0cd", 5) + "ef";
  // Every way of cutting the payload into two pieces gives the same result.
  for (std::size_t cut = 0; cut <= payload.size(); ++cut) {
    SplitResult r;
    TPayloadSplitter splitter(OnName, OnContent, &r);
    EXPECT_TRUE(splitter.Feed(payload.data(), cut));
    EXPECT_TRUE(splitter.Feed(payload.data() + cut, payload.size() - cut));
    ASSERT_EQ(r.names.size(), 1u) << cut;
    EXPECT_EQ(r.names[0], "|dir\\f.bin|42|");
    EXPECT_EQ(r.content, std::string("ab\0cdef", 7));
    EXPECT_EQ(splitter.ContentSize(), 7u);
  }
}

TEST(UnPackLogic, SplitterWithoutZeroOrWithDroppedOrStoppedContent) {
  {
    SplitResult r;
    TPayloadSplitter splitter(OnName, OnContent, &r);
    EXPECT_TRUE(splitter.Feed("no zero here", 12));
    EXPECT_FALSE(splitter.NameFound());
    EXPECT_TRUE(r.names.empty());
    EXPECT_TRUE(r.content.empty());
  }
  {
    SplitResult r;
    r.dropContent = true;
    TPayloadSplitter splitter(OnName, OnContent, &r);
    EXPECT_TRUE(splitter.Feed("n\0content", 9));
    EXPECT_TRUE(r.content.empty());
    EXPECT_EQ(splitter.ContentSize(), 7u);  // still counted
  }
  {
    SplitResult r;
    r.stopAfter = 2;
    TPayloadSplitter splitter(OnName, OnContent, &r);
    EXPECT_FALSE(splitter.Feed("n\0content", 9));
  }
}

TEST(UnPackLogic, OverlongNamePartIsBoundedAndFlagged) {
  SplitResult r;
  TPayloadSplitter splitter(OnName, OnContent, &r);
  const std::string piece(40000, 'x');
  EXPECT_TRUE(splitter.Feed(piece.data(), piece.size()));
  EXPECT_TRUE(splitter.Feed(piece.data(), piece.size()));  // past the limit, no zero yet
  EXPECT_TRUE(splitter.NameTooLong());
  EXPECT_FALSE(splitter.Feed("\0data", 5));  // the zero comes too late
  EXPECT_TRUE(r.names.empty());
  EXPECT_TRUE(r.content.empty());
}

TEST(UnPackLogic, VolumeNames) {
  EXPECT_EQ(VolumeFileName("D:\\setup.exe", 1), "D:\\setup.exe");
  EXPECT_EQ(VolumeFileName("D:\\setup.exe", 2), "D:\\setup.exe.002");
  EXPECT_EQ(VolumeFileName("D:\\setup.exe.001", 2), "D:\\setup.exe.002");
  EXPECT_EQ(VolumeFileName("D:\\setup.exe.001", 12), "D:\\setup.exe.012");
  EXPECT_EQ(VolumeFileName("D:\\setup.exe.001", 1234), "D:\\setup.exe.1234");
  EXPECT_EQ(VolumeFileName("D:\\a.001.exe", 3), "D:\\a.001.exe.003");  // ".001" inside stays
  EXPECT_EQ(VolumeFileName("D:\\setup.exe.0010", 2), "D:\\setup.exe.0010.002");
  EXPECT_TRUE(AgentSourceName("C:\\x\\Setup.EXE"));
  EXPECT_TRUE(AgentSourceName("C:\\x\\setup.exe.001"));
  EXPECT_FALSE(AgentSourceName("C:\\x\\setup.exe.002"));
  EXPECT_FALSE(AgentSourceName("C:\\x\\setup.bin"));
}

TEST(ZLibOpen, InflateStringRoundTripsAndRejectsDamage) {
  std::string data;
  for (int i = 0; i < 300000; ++i) data += static_cast<char>((i * 7) ^ (i >> 5));
  const std::string packed = Deflate(data);
  EXPECT_EQ(InflateString(packed), data);
  EXPECT_EQ(InflateString(Deflate("")), "");

  struct Bad {
    const char* what;
    std::string bytes;
  };
  std::string flipped = packed;
  flipped[packed.size() / 2] ^= 0x55;
  const Bad bad[] = {
      {"truncated", packed.substr(0, packed.size() / 2)},
      {"bad header", std::string("\x12\x34garbage", 9)},
      {"flipped byte", flipped},
      {"empty", ""},
  };
  for (const Bad& b : bad) {
    try {
      InflateString(b.bytes);
      // A flipped byte may by chance still inflate; it then has to differ or fail.
      EXPECT_STREQ(b.what, "flipped byte");
    } catch (const EZLibError& e) {
      EXPECT_NE(std::string(e.what()), "") << b.what;
      EXPECT_LT(e.Code, 0) << b.what;
    }
  }
  EXPECT_THROW(InflateString(Deflate(std::string(10000, 'a')), 9999), EZLibError);
  EXPECT_EQ(InflateString(Deflate(std::string(10000, 'a')), 10000).size(), 10000u);
}

struct Count {
  std::uint64_t total = 0;
  std::size_t largest = 0;
  std::size_t calls = 0;
};

bool CountSink(void* context, const char*, std::size_t size) {
  auto& c = *static_cast<Count*>(context);
  c.total += size;
  c.largest = std::max(c.largest, size);
  ++c.calls;
  return true;
}

TEST(ZLibOpen, StreamingBombComesOutInBoundedPieces) {
  // 64 MB of zeros pack into ~64 KB: the output never arrives as more than one chunk.
  std::string bomb;
  {
    z_stream s{};
    ASSERT_EQ(deflateInit(&s, 9), Z_OK);
    const std::string zeros(1 << 20, '\0');
    std::string out(1 << 20, '\0');
    for (int i = 0; i < 64; ++i) {
      s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
      s.avail_in = zeros.size();
      const int flush = i == 63 ? Z_FINISH : Z_NO_FLUSH;
      int result;
      do {
        s.next_out = reinterpret_cast<Bytef*>(&out[0]);
        s.avail_out = out.size();
        result = deflate(&s, flush);
        bomb.append(out.data(), out.size() - s.avail_out);
      } while (s.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    deflateEnd(&s);
  }
  ASSERT_LT(bomb.size(), 200000u);
  Count count;
  TInflater inflater;
  // Fed in the extraction's 64 KB pieces.
  for (std::size_t at = 0; at < bomb.size(); at += 65536)
    ASSERT_TRUE(inflater.Feed(bomb.data() + at, std::min<std::size_t>(65536, bomb.size() - at), CountSink, &count));
  EXPECT_TRUE(inflater.Finished());
  EXPECT_NO_THROW(inflater.RequireFinished());
  EXPECT_EQ(count.total, 64u << 20);
  EXPECT_LE(count.largest, TInflater::OutputChunk);
}

TEST(ZLibOpen, StreamingStopsAtTheEndMarkerAndReportsTruncation) {
  const std::string packed = Deflate("hello world");
  {
    Count count;
    TInflater inflater;
    const std::string withTail = packed + "trailing bytes";
    EXPECT_TRUE(inflater.Feed(withTail.data(), withTail.size(), CountSink, &count));
    EXPECT_TRUE(inflater.Finished());
    EXPECT_EQ(count.total, 11u);
  }
  {
    Count count;
    TInflater inflater;
    EXPECT_TRUE(inflater.Feed(packed.data(), packed.size() - 3, CountSink, &count));
    EXPECT_FALSE(inflater.Finished());
    EXPECT_THROW(inflater.RequireFinished(), EZLibError);
  }
}

}  // namespace
