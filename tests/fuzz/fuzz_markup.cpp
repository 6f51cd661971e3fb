// The message box's markup on arbitrary text: bold spans in text order (they may nest),
// never empty, never past the text, and the measured size within its bounds.
#include <cstdlib>
#include <string>

#include "ui/Markup.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string markup(reinterpret_cast<const char*>(data), size);
  const PlainText plain = ConvertMarkup(markup);
  std::size_t previousStart = 0;
  for (const BoldSpan& span : plain.bold) {
    if (span.start >= span.end || span.start < previousStart || span.end > plain.text.size()) std::abort();
    previousStart = span.start;
  }
  // Without markup characters the text is unchanged.
  if (markup.find_first_of("<\\") == std::string::npos && (plain.text != markup || !plain.bold.empty())) std::abort();
  // Conversion only removes tags from the text with its breaks and tabs.
  const std::string broken = MarkupToText(markup);
  if (plain.text.size() > broken.size()) std::abort();
  if (broken.find('<') == std::string::npos && (plain.text != broken || !plain.bold.empty())) std::abort();

  int width = 0, height = 0;
  MeasurePlainText(plain.text, 13, [](const std::string& line) { return int(line.size()) * 7; }, width, height);
  if (width < 10 || width > kMarkupWrapWidth || height < 13 || height % 13 != 0) std::abort();
  return 0;
}
