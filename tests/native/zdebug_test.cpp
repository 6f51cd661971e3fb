#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/ZDebug.h"
#include "system/TestHooks.h"

namespace {

// Collects the pieces the trace stream hands on while it lives.
class PieceRecorder {
 public:
  PieceRecorder() {
    SetDebugPieceSink([this](const std::string& piece) { pieces.push_back(piece); });
  }
  ~PieceRecorder() { SetDebugPieceSink(nullptr); }
  std::vector<std::string> pieces;
};

}  // namespace

TEST(DebugStream, SplitsTextIntoPiecesAtLineEndsAndFullBuffers) {
  const std::string full(128, 'x');
  struct Case {
    const char* name;
    std::string text;
    bool endLine;
    std::vector<std::string> pieces;
  } cases[] = {
      {"short line", "abc", true, {"abc\n"}},
      {"exactly 128 bytes then the line end", full, true, {full, "\n"}},
      {"127 bytes: the line end still fits", std::string(127, 'y'), true, {std::string(127, 'y') + "\n"}},
      {"300 bytes",
       std::string(300, 'z'),
       true,
       {std::string(128, 'z'), std::string(128, 'z'), std::string(44, 'z') + "\n"}},
      {"two lines in one write", "a\nb", true, {"a\nb\n"}},
      {"no line end: the text waits", "waiting", false, {}},
  };
  for (const Case& c : cases) {
    PieceRecorder recorder;
    Output() << c.text;
    if (c.endLine) Output() << EndLine;
    EXPECT_EQ(recorder.pieces, c.pieces) << c.name;
  }
}

TEST(DebugStream, WritesNumbersAndBooleansInTraceForm) {
  PieceRecorder recorder;
  Output() << 4711u << " " << -12 << " " << 123456789012345LL << " " << true << " " << false << EndLine;
  // Every width and both ends of the ranges; std::uint8_t and enumerations are numbers,
  // char a character.
  enum Shade { kLight = 3 };
  Output() << 0 << " " << INT64_MIN << " " << INT64_MAX << " " << UINT64_MAX << " " << INT32_MIN << " "
           << static_cast<std::uint8_t>(200) << " " << static_cast<short>(-7) << " " << kLight << " " << 'c'
           << EndLine;
  EXPECT_EQ(recorder.pieces,
            (std::vector<std::string>{
                "4711 -12 123456789012345 TRUE FALSE\n",
                "0 -9223372036854775808 9223372036854775807 18446744073709551615 -2147483648 200 -7 3 c\n"}));
}

TEST(DebugStream, FailedDeliveryIsDroppedNotRepeated) {
  std::vector<std::string> delivered;
  bool fail = true;
  SetDebugPieceSink([&](const std::string& piece) {
    if (fail) {
      fail = false;
      throw std::runtime_error("viewer gone");
    }
    delivered.push_back(piece);
  });
  Output() << "lost" << EndLine;  // the writer never sees the failure
  const char* none = nullptr;
  Output() << "next" << none << EndLine;  // nor a null text
  SetDebugPieceSink(nullptr);
  EXPECT_EQ(delivered, std::vector<std::string>{"next\n"});
}

TEST(DebugStreamDeathTest, TextWithoutLineEndIsDeliveredAtProgramEnd) {
  EXPECT_EXIT(
      {
        SetDebugPieceSink([](const std::string& piece) { std::fprintf(stderr, "<%s>", piece.c_str()); });
        Output() << "unfinished";
        std::exit(0);
      },
      testing::ExitedWithCode(0), "<unfinished>");
}

TEST(DebugLineEnds, EveryKindBecomesCarriageReturnLineFeed) {
  struct Case {
    std::string piece, expected;
  } cases[] = {
      {"one\rtwo\nthree\r\nfour", "one\r\ntwo\r\nthree\r\nfour"},
      {"line\n", "line\r\n"},
      {"\n\r", "\r\n\r\n"},
      {"\r\r\n", "\r\n\r\n"},
      {"", ""},
      {"plain", "plain"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeLineEnds(c.piece), c.expected) << c.piece;
  // A pair split over two pieces is normalised piece by piece: two line ends.
  EXPECT_EQ(NormalizeLineEnds("a\r") + NormalizeLineEnds("\nb"), "a\r\n\r\nb");
}

TEST(TraceException, FormatsRoutineDetailAndMessage) {
  EXPECT_EQ(ExceptionLine("YieldX", "", "boom"), " --- YieldX() --- boom");
  EXPECT_EQ(ExceptionLine("Utils.GetExeVersion", "C:\\a.exe", "bad block"),
            " --- Utils.GetExeVersion() --- C:\\a.exe --- bad block");

  PieceRecorder recorder;
  TraceException(std::runtime_error("boom"), "YieldX");
  EXPECT_EQ(recorder.pieces, std::vector<std::string>{" --- YieldX() --- boom\n"});
}
