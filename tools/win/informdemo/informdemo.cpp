// Shows the inform window through ShowInform and prints "result=0|1" when it returns.
// The UI tests read and answer the window with zuidriver.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "system/DllSafety.h"
#include "system/Win64.h"
#include "ui/StubInformDlg.h"

namespace {

const char kUsage[] =
    "informdemo [options]: ShowInform and prints result=0|1 when it returns\n"
    "  --caption C   window caption (default \"New Version\")\n"
    "  --button B    button caption (default \"Download\")\n"
    "  --text T      the news text (\\n in it becomes a line break)\n"
    "  --url U       web address\n"
    "  --size W H    outer size (default 360 360)\n"
    "  --font F S C  font name, size in points, character set (default Tahoma 8 1)\n"
    "  --twice       show the window a second time after the first has closed\n";

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  RestrictDllSearch();
  Win64StartUp();
  std::string caption = "New Version", button = "Download", text, url, font = "Tahoma";
  long long width = 360, height = 360;
  int size = 8, charset = 1, times = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--caption" && more) {
      caption = argv[++i];
    } else if (a == "--button" && more) {
      button = argv[++i];
    } else if (a == "--text" && more) {
      text = Unescape(argv[++i]);
    } else if (a == "--url" && more) {
      url = argv[++i];
    } else if (a == "--size" && i + 2 < argc) {
      width = std::atoll(argv[++i]);
      height = std::atoll(argv[++i]);
    } else if (a == "--font" && i + 3 < argc) {
      font = argv[++i];
      size = std::atoi(argv[++i]);
      charset = std::atoi(argv[++i]);
    } else if (a == "--twice") {
      times = 2;
    } else {
      std::fprintf(stderr, "informdemo: unknown argument %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  for (int i = 0; i < times; ++i) {
    const bool shown = ShowInform(nullptr, caption, button, text, url, width, height, font, size, charset);
    std::printf("result=%d\n", shown ? 1 : 0);
    std::fflush(stdout);
  }
  return 0;
}
