#pragma once
// The message box's markup: "<P>" and "\\n" line breaks, "<T>" and "\\t" tabs, "<B>"..."</B>"
// bold spans (tags in any case). Turned into plain text plus bold ranges for the
// rich-edit control, and measured into the size the text needs.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Line breaks and tabs only: "\\n" and "\\t" (exact case), then "<P>" and "<T>" (any case).
std::string MarkupToText(const std::string& text);

// A bold range of the plain text: zero-based offsets, start inclusive, end exclusive.
struct BoldSpan {
  std::size_t start;
  std::size_t end;
  bool operator==(const BoldSpan& other) const { return start == other.start && end == other.end; }
};

struct PlainText {
  std::string text;
  std::vector<BoldSpan> bold;  // in text order, never empty, never past the text's end
};

// The whole conversion. A leading "<<b>" opens a bold span ("<b>"); each "<B>" pairs with
// the first unused "</B>" after it; a "<B>" without one and every unused "</B>" vanish.
// Offsets count CR and LF as two characters, as the rich-edit control does. Linear in the
// text's length.
PlainText ConvertMarkup(const std::string& markup);

// Widest lines the box shows unwrapped (pixels); a longer line wraps.
constexpr int kMarkupWrapWidth = 600;

// Size the plain text needs: width W = widest line + 10 (at most 600) and height H = one
// line height per line, plus one per 600 pixels a line is wide. An empty text measures
// as one space; a final empty line after a trailing break adds nothing. lineWidth gives
// a line's pixel width.
void MeasurePlainText(const std::string& text, int lineHeight, const std::function<int(const std::string&)>& lineWidth,
                      int& width, int& height);
