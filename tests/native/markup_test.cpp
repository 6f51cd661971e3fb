#include "ui/Markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct MarkupCase {
  const char* markup;
  const char* text;
  std::vector<BoldSpan> bold;
};

TEST(Markup, LineBreaksTabsAndBoldSpans) {
  const MarkupCase cases[] = {
      {"one<p>two", "one\r\ntwo", {}},
      {"one<P>two<t>x<T>y", "one\r\ntwo\tx\ty", {}},
      {"one\\\\ntwo\\\\tx", "one\r\ntwo\tx", {}},
      {"one\\\\Ntwo", "one\\\\Ntwo", {}},  // the escapes are case-sensitive
      {"a\r\nb", "a\r\nb", {}},
      {"x <b>word</B> y", "x word y", {{2, 6}}},
      {"<B>a</b><p><b>b</b>", "a\r\nb", {{0, 1}, {3, 4}}},
      {"<<b>TITLE</b><P><P>text<P>", "TITLE\r\n\r\ntext\r\n", {{0, 5}}},
      {"x<<b>y", "x<y", {}},          // only at the very start
      {"<B>never closed", "never closed", {}},
      {"lone</B> close", "lone close", {}},
      {"<b></b>empty", "empty", {}},
      // A stray close before a span does not cancel it.
      {"a</b>b<b>c</b>d", "abcd", {{2, 3}}},
      // Nested opens: each pairs with the next unused close; offsets stay inside the text.
      {"<b>a<b>b</b>c</b>d", "abcd", {{0, 2}, {1, 3}}},
      {"<b>a<b>b</b>", "ab", {{0, 2}}},
      {"", "", {}},
      {"<b", "<b", {}},
      {"</b", "</b", {}},
  };
  for (const MarkupCase& c : cases) {
    const PlainText plain = ConvertMarkup(c.markup);
    EXPECT_EQ(plain.text, c.text) << c.markup;
    EXPECT_EQ(plain.bold, c.bold) << c.markup;
  }
}

TEST(Markup, MarkupToTextLeavesBoldTags) {
  EXPECT_EQ(MarkupToText("<b>x</b><P>y\\\\t"), "<b>x</b>\r\ny\t");
}

TEST(Markup, SpansStayInsideTheTextForAnyTagSoup) {
  const std::string pieces[] = {"<b>", "</b>", "<B>", "</B>", "x", "<p>", "<", "b>", "/"};
  unsigned seed = 1;
  for (int round = 0; round < 2000; ++round) {
    std::string markup = round % 7 == 0 ? "<<b>" : "";
    for (int i = 0; i < 12; ++i) {
      seed = seed * 1103515245u + 12345u;
      markup += pieces[(seed >> 16) % 9];
    }
    const PlainText plain = ConvertMarkup(markup);
    for (const BoldSpan& span : plain.bold) {
      EXPECT_LT(span.start, span.end) << markup;
      EXPECT_LE(span.end, plain.text.size()) << markup;
    }
  }
}

TEST(Markup, MegabyteOfTagsConvertsInLinearTime) {
  std::string markup;
  for (int i = 0; i < 100000; ++i) markup += "<b>ab</b>";  // 900 KB
  const PlainText plain = ConvertMarkup(markup);
  EXPECT_EQ(plain.text.size(), 200000u);
  ASSERT_EQ(plain.bold.size(), 100000u);
  EXPECT_EQ(plain.bold.back(), (BoldSpan{199998, 200000}));
}

// Every character is 10 pixels wide; lines are 13 pixels high.
int TenPerChar(const std::string& line) { return static_cast<int>(line.size()) * 10; }

TEST(Markup, MeasureWidthHeightAndWrap) {
  struct Case {
    std::string text;
    int width;
    int height;
  };
  const Case cases[] = {
      {"", 20, 13},                                // one space
      {"abc", 40, 13},
      {"abc\r\n", 40, 13},                         // a final empty line adds nothing
      {"abc\r\n\r\nde", 40, 39},                   // an empty line inside does
      {std::string(59, 'x'), 600, 13},             // 590 + 10
      {std::string(60, 'x'), 600, 26},             // 600 pixels wraps once
      {std::string(130, 'x') + "\r\nab", 600, 52}, // 1300 pixels: 3 lines, plus one
  };
  for (const Case& c : cases) {
    int w = 0, h = 0;
    MeasurePlainText(c.text, 13, TenPerChar, w, h);
    EXPECT_EQ(w, c.width) << c.text.size();
    EXPECT_EQ(h, c.height) << c.text.size();
  }
}

}  // namespace
