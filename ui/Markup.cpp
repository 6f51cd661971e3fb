#include "ui/Markup.h"

#include <algorithm>

#include "system/Utils.h"

std::string MarkupToText(const std::string& text) {
  std::string out = ReplaceText(text, "\\\\n", "\r\n");
  out = ReplaceText(out, "\\\\t", "\t");
  out = ReplaceTextNoCase(out, "<P>", "\r\n");
  return ReplaceTextNoCase(out, "<T>", "\t");
}

namespace {

enum class TagKind { Open, Close };
struct Tag {
  std::size_t pos;  // in the text after the line-break pass
  TagKind kind;
};

// "<B>" and "</B>" in any case. Both start with '<' and hold no other '<', so they
// never overlap.
std::vector<Tag> FindBoldTags(const std::string& text) {
  std::vector<Tag> tags;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] != '<') continue;
    if (i + 2 < n && UpperAscii(text[i + 1]) == 'B' && text[i + 2] == '>') {
      tags.push_back({i, TagKind::Open});
      i += 2;
    } else if (i + 3 < n && text[i + 1] == '/' && UpperAscii(text[i + 2]) == 'B' && text[i + 3] == '>') {
      tags.push_back({i, TagKind::Close});
      i += 3;
    }
  }
  return tags;
}

}  // namespace

PlainText ConvertMarkup(const std::string& markup) {
  std::string text = MarkupToText(markup);
  if (text.compare(0, 4, "<<b>") == 0) text.erase(0, 1);

  const std::vector<Tag> tags = FindBoldTags(text);

  // Opens are taken in text order; each pairs with the first unused close after it. The
  // closes so taken increase, so one forward pointer over the closes is enough.
  std::vector<std::size_t> closes;
  for (std::size_t i = 0; i < tags.size(); ++i)
    if (tags[i].kind == TagKind::Close) closes.push_back(i);
  std::vector<std::size_t> partner(tags.size(), tags.size());
  std::size_t nextClose = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (tags[i].kind != TagKind::Open) continue;
    while (nextClose < closes.size() && closes[nextClose] < i) ++nextClose;
    if (nextClose == closes.size()) break;  // no later opens can pair either
    partner[i] = closes[nextClose++];
  }

  // Copy the text without any tag; outPos[i] is where tag i would have stood.
  PlainText result;
  result.text.reserve(text.size());
  std::vector<std::size_t> outPos(tags.size(), 0);
  std::size_t copied = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    result.text.append(text, copied, tags[i].pos - copied);
    outPos[i] = result.text.size();
    copied = tags[i].pos + (tags[i].kind == TagKind::Open ? 3 : 4);
  }
  result.text.append(text, copied, std::string::npos);

  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (partner[i] == tags.size()) continue;
    const BoldSpan span{outPos[i], outPos[partner[i]]};
    if (span.end > span.start) result.bold.push_back(span);
  }
  return result;
}

void MeasurePlainText(const std::string& text, int lineHeight, const std::function<int(const std::string&)>& lineWidth,
                      int& width, int& height) {
  const std::string measured = text.empty() ? std::string(" ") : text;
  width = 0;
  height = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t brk = measured.find("\r\n", start);
    const bool last = brk == std::string::npos;
    const std::string line = measured.substr(start, last ? std::string::npos : brk - start);
    if (!line.empty() || !last) {
      const int cx = std::max(0, lineWidth(line));
      width = std::max(width, cx + 10);
      height += (cx / kMarkupWrapWidth + 1) * lineHeight;
    }
    if (last) break;
    start = brk + 2;
  }
  width = std::min(width, kMarkupWrapWidth);
}
