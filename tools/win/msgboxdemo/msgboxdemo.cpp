// Shows one message box through the chosen front end and prints "result=N" (and the
// elapsed milliseconds) when it has closed. The UI tests answer the box with zuidriver.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "system/DllSafety.h"
#include "system/Win64.h"
#include "system/WinUtils.h"
#include "ui/ZMsgBox.h"

namespace {

const char kUsage[] =
    "msgboxdemo [options]: shows one message box and prints result=N when it closes\n"
    "  --fn NAME        show | ex | error | attention | confirm | okcancel (default ex)\n"
    "  --owner N        owner code 0, 1 or 2 (ex and the front ends; default 1)\n"
    "  --text T         markup text\n"
    "  --text-file F    markup text read from a file\n"
    "  --repeat N       repeat the text N times\n"
    "  --caption C      window caption\n"
    "  --buttons B      button list (default: the default list)\n"
    "  --charset N      character set of the message (ex and front ends)\n"
    "  --style X        style word (decimal or 0x hex; show and ex)\n"
    "  --timeout MS     time-out\n"
    "  --font F S C     SetMsgBoxFont(face, size, character set) first\n"
    "  --parent         open a visible parent window first and report whether it is\n"
    "                   disabled while the box is up and enabled afterwards\n";

std::string ReadFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool g_parentDisabledSeen = false;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && !IsWindowEnabled(window)) g_parentDisabledSeen = true;
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  RestrictDllSearch();
  Win64StartUp();
  std::string fn = "ex", text, caption, buttons = kDefaultButtonList;
  int owner = 1, charset = 0, timeout = 0, repeat = 1;
  unsigned long style = 0;
  bool parent = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--fn" && more) {
      fn = argv[++i];
    } else if (a == "--owner" && more) {
      owner = std::atoi(argv[++i]);
    } else if (a == "--text" && more) {
      text = argv[++i];
    } else if (a == "--text-file" && more) {
      text = ReadFile(argv[++i]);
    } else if (a == "--repeat" && more) {
      repeat = std::atoi(argv[++i]);
    } else if (a == "--caption" && more) {
      caption = argv[++i];
    } else if (a == "--buttons" && more) {
      buttons = argv[++i];
    } else if (a == "--charset" && more) {
      charset = std::atoi(argv[++i]);
    } else if (a == "--style" && more) {
      style = std::strtoul(argv[++i], nullptr, 0);
    } else if (a == "--timeout" && more) {
      timeout = std::atoi(argv[++i]);
    } else if (a == "--font" && i + 3 < argc) {
      const char* face = argv[++i];
      const int size = std::atoi(argv[++i]);
      SetMsgBoxFont(face, size, std::atoi(argv[++i]));
    } else if (a == "--parent") {
      parent = true;
    } else {
      std::fprintf(stderr, "msgboxdemo: unknown argument %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (repeat > 1) {
    std::string whole;
    whole.reserve(text.size() * static_cast<std::size_t>(repeat));
    for (int i = 0; i < repeat; ++i) whole += text;
    text = whole;
  }

  HWND parentWindow = nullptr;
  if (parent) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZMsgBoxDemoParent";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    RegisterClassA(&wc);
    parentWindow = CreateWindowExA(0, wc.lpszClassName, "msgboxdemo parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                                   20, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(parentWindow);
    SetActiveWindow(parentWindow);
    SetTimer(parentWindow, 1, 50, nullptr);
    YieldWait(0, 200);
  }

  HWND ownerHandle = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(owner));
  const std::int64_t start = TickMs();
  int result = -1;
  if (fn == "show") {
    result = ShowMsgBox(parentWindow, text, caption, buttons, style, timeout);
  } else if (fn == "ex") {
    result = MsgBoxEx(ownerHandle, text, caption, buttons, charset, style, timeout);
  } else if (fn == "error") {
    MsgError(ownerHandle, text, caption, buttons, charset);
  } else if (fn == "attention") {
    MsgAttention(ownerHandle, text, caption, buttons, charset, timeout);
  } else if (fn == "confirm") {
    result = MsgConfirm(ownerHandle, text, caption, buttons, charset, timeout) ? 1 : 0;
  } else if (fn == "okcancel") {
    result = MsgConfirmOkCancel(ownerHandle, text, caption, buttons, charset) ? 1 : 0;
  } else {
    std::fprintf(stderr, "msgboxdemo: unknown front end %s\n", fn.c_str());
    return 2;
  }
  const std::int64_t elapsed = TickMs() - start;
  std::printf("result=%d\nelapsed=%lld\n", result, static_cast<long long>(elapsed));
  if (parent) {
    std::printf("parent.disabled=%d\nparent.enabled.after=%d\n", g_parentDisabledSeen ? 1 : 0,
                IsWindowEnabled(parentWindow) ? 1 : 0);
    DestroyWindow(parentWindow);
  }
  std::fflush(stdout);
  return 0;
}
