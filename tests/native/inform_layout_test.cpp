// The inform window's geometry and font choice: sizes from a downloaded record limited to
// the screen, the layout with and without the button band, the text face.
#include <gtest/gtest.h>

#include <climits>

#include "ui/InformLayout.h"

namespace {

TEST(InformLayout, SizeFromRecordLimitedToScreen) {
  struct Case {
    long long asked;
    int want;
  } cases[] = {{360, 360}, {1024, 1024}, {1025, 1024}, {LLONG_MAX, 1024}, {LLONG_MIN, 120}, {-5, 120}, {0, 120}};
  for (const Case& c : cases) EXPECT_EQ(InformWindowExtent(c.asked, 120, 1024), c.want) << c.asked;
  // A screen smaller than the minimum still gives the minimum.
  EXPECT_EQ(InformWindowExtent(500, 120, 80), 120);
}

TEST(InformLayout, TextAndButtonRects) {
  const InformRect plain = InformTextRect(352, 333, false);
  EXPECT_EQ(plain.x, 3);
  EXPECT_EQ(plain.y, 0);
  EXPECT_EQ(plain.width, 349);
  EXPECT_EQ(plain.height, 333);
  const InformRect banded = InformTextRect(352, 333, true);
  EXPECT_EQ(banded.height, 290);
  const InformRect button = InformButtonRect(352, 333);
  EXPECT_EQ(button.x, 96);
  EXPECT_EQ(button.y, 300);
  EXPECT_EQ(button.width, 160);
  EXPECT_EQ(button.height, 25);
  // An odd width truncates; a client smaller than the band gives no negative size.
  EXPECT_EQ(InformButtonRect(351, 333).x, 95);
  EXPECT_EQ(InformTextRect(2, 10, true).width, 0);
  EXPECT_EQ(InformTextRect(2, 10, true).height, 0);
}

TEST(InformLayout, TextFace) {
  EXPECT_EQ(InformTextFace(""), "Verdana");
  EXPECT_EQ(InformTextFace("Tahoma"), "Verdana");
  EXPECT_EQ(InformTextFace("tahoma"), "tahoma");  // the comparison is exact
  EXPECT_EQ(InformTextFace("Arial"), "Arial");
}

}  // namespace
