// zuidriver: the tests' user. Waits for a top-level window, prints what a person would
// see in it as "key=value" lines, then answers it with real input: keys and clicks go
// through SendInput to the window that has the focus (or, with --post, as posted
// keyboard messages to the focused window), never through the program's own code.
#include <windows.h>
#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "system/WinHandles.h"

namespace {

const char kUsage[] =
    "zuidriver [options] [actions...]\n"
    "Finds a top-level window, prints it, then performs the actions in order.\n"
    "Options:\n"
    "  --class NAME      window class to wait for (e.g. ZMsgBox)\n"
    "  --title TEXT      window title to wait for\n"
    "  --wait MS         how long to wait for the window (default 10000); exit 3 if none\n"
    "  --settle MS       pause after the window appears, before printing (default 300)\n"
    "  --max-text N      print at most N characters of rich-edit text (default 4000)\n"
    "  --post            post keyboard messages to the focused window instead of SendInput\n"
    "  --quiet           do not print the window on arrival\n"
    "  --watch FILE      the file the seen action reads (a trace, a log)\n"
    "  --setup           only make Wine draw window frames, captions and close boxes\n"
    "                    itself (no window manager on the bench's display); run it once\n"
    "                    before starting the programs to drive, then exit\n"
    "Actions:\n"
    "  print             print the window again\n"
    "  key:X             press and release letter or digit X\n"
    "  alt:X             Alt+X\n"
    "  tab left right up down return escape space f4 altf4\n"
    "                    press that key (altf4: Alt+F4)\n"
    "  click:CAPTION     left click in the middle of the button with that caption\n"
    "                    (compared without '&' and case)\n"
    "  close             left click on the window's close box\n"
    "  pixel:X,Y         print pixel.X,Y=RRGGBB (client point; negative from right/bottom)\n"
    "  size:W,H          give the window an outer size of W x H (a border dragged)\n"
    "  sleep:MS          pause\n"
    "  none              do nothing (let a time-out fire)\n"
    "  gone:MS           wait up to MS for the window to disappear; exit 4 if it stays;\n"
    "                    prints gone_ms= (the time since the last key or click)\n"
    "  alive             exit 5 unless the window still exists\n"
    "  seen:MS:TEXT      wait up to MS for the file of --watch to hold TEXT; exit 6 if it\n"
    "                    does not; prints seen_ms= (the time since the last key or click)\n"
    "Output (one item per line):\n"
    "  window=0xHWND  class=  caption=  rect=L,T,W,H  client=W,H  closegrey=0|1|?\n"
    "  text=escaped text (\\r \\n \\t \\\\ \\xHH)  text.length=N  text.rect=X,Y,W,H (client)\n"
    "  text.style=0x..  text.exstyle=0x..  bold=S-E,S-E (character offsets, end exclusive;\n"
    "    line breaks never count as bold)\n"
    "  button=N caption=... rect=X,Y,W,H focus=0|1 default=0|1 (left to right)\n"
    "  pixel.strip=RRGGBB pixel.band=RRGGBB pixel.line=RRGGBB,RRGGBB (colours at client points)\n"
    "Exit codes: 0 done, 2 bad arguments, 3 no window, 4 window stayed, 5 window gone,\n"
    "6 text not seen.\n";

struct Options {
  std::string cls;
  std::string title;
  int waitMs = 10000;
  int settleMs = 300;
  std::size_t maxText = 4000;
  bool post = false;
  bool quiet = false;
  std::string watch;
};

std::string Escape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\x%02X", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  return out;
}

std::string GetText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "";
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                      5000, &got);
  return std::string(buffer.data(), got < buffer.size() ? got : buffer.size() - 1);
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

std::string StripAmp(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

// Memory in the window's process, for the rich-edit messages that carry pointers.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, SIZE_T size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  bool ok() const { return address_ != nullptr; }
  LPARAM at() const { return reinterpret_cast<LPARAM>(address_); }
  bool Write(const void* data, SIZE_T n) { return WriteProcessMemory(process_, address_, data, n, nullptr) != 0; }
  bool Read(void* data, SIZE_T n) { return ReadProcessMemory(process_, address_, data, n, nullptr) != 0; }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  SIZE_T size_;
};

// 1 bold, 0 not bold, -1 mixed, over the characters [start, end).
int BoldState(HWND edit, RemoteBuffer& buffer, LONG start, LONG end) {
  CHARRANGE range{start, end};
  buffer.Write(&range, sizeof(range));
  SendMessageA(edit, EM_EXSETSEL, 0, buffer.at());
  CHARFORMATA format{};
  format.cbSize = sizeof(format);
  buffer.Write(&format, sizeof(format));
  SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, buffer.at());
  buffer.Read(&format, sizeof(format));
  if (!(format.dwMask & CFM_BOLD)) return -1;
  return (format.dwEffects & CFE_BOLD) ? 1 : 0;
}

void CollectBold(HWND edit, RemoteBuffer& buffer, LONG start, LONG end, std::vector<std::pair<LONG, LONG>>& runs) {
  if (start >= end) return;
  const int state = BoldState(edit, buffer, start, end);
  if (state == 0) return;
  if (state == 1 || end - start == 1) {
    if (state != 1) return;
    if (!runs.empty() && runs.back().second == start) runs.back().second = end;
    else runs.push_back({start, end});
    return;
  }
  const LONG mid = start + (end - start) / 2;
  CollectBold(edit, buffer, start, mid, runs);
  CollectBold(edit, buffer, mid, end, runs);
}

// Line breaks are left out: the control reports a paragraph mark with the format of
// the text before it, which would smear runs across lines.
std::string BoldRuns(HWND edit, const std::string& text, LONG length) {
  RemoteBuffer buffer(edit, 4096);
  if (!buffer.ok()) return "?";
  std::vector<std::pair<LONG, LONG>> runs;
  LONG start = 0;
  for (LONG i = 0; i <= length; ++i) {
    if (i < length && text[static_cast<std::size_t>(i)] != '\r' && text[static_cast<std::size_t>(i)] != '\n') continue;
    CollectBold(edit, buffer, start, i, runs);
    start = i + 1;
  }
  CHARRANGE none{0, 0};
  buffer.Write(&none, sizeof(none));
  SendMessageA(edit, EM_EXSETSEL, 0, buffer.at());
  std::string out;
  for (const auto& r : runs) {
    if (!out.empty()) out += ',';
    out += std::to_string(r.first) + "-" + std::to_string(r.second);
  }
  return out;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
         std::to_string(r.bottom - r.top);
}

std::string PixelAt(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  if (!dc) return "?";
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  if (c == CLR_INVALID) return "?";
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}

BOOL CALLBACK AddChild(HWND child, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> list;
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&list));
  return list;
}

std::vector<HWND> Buttons(HWND window) {
  std::vector<HWND> buttons;
  for (HWND child : Children(window))
    if (lstrcmpiA(ClassOf(child).c_str(), "Button") == 0 && IsWindowVisible(child)) buttons.push_back(child);
  // Left to right.
  for (std::size_t i = 1; i < buttons.size(); ++i)
    for (std::size_t j = i; j > 0 && ChildRect(window, buttons[j]).left < ChildRect(window, buttons[j - 1]).left; --j)
      std::swap(buttons[j], buttons[j - 1]);
  return buttons;
}

std::string CloseGreyed(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (!menu) return "?";
  const UINT state = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return "?";
  return (state & (MF_GRAYED | MF_DISABLED)) ? "1" : "0";
}

void PrintWindow(HWND window, const Options& options) {
  RECT r{};
  GetWindowRect(window, &r);
  RECT client{};
  GetClientRect(window, &client);
  std::printf("window=0x%lx\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
  std::printf("class=%s\n", ClassOf(window).c_str());
  std::printf("caption=%s\n", Escape(GetText(window)).c_str());
  std::printf("rect=%s\n", RectText(r).c_str());
  std::printf("client=%ld,%ld\n", client.right, client.bottom);
  std::printf("closegrey=%s\n", CloseGreyed(window).c_str());
  std::printf("style=0x%08lx\nexstyle=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));

  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);

  for (HWND child : Children(window)) {
    const std::string cls = ClassOf(child);
    if (lstrcmpiA(cls.c_str(), "RICHEDIT") != 0 && lstrcmpiA(cls.c_str(), "RichEdit20A") != 0) continue;
    const std::string text = GetText(child);
    std::printf("text.length=%u\n", static_cast<unsigned>(text.size()));
    std::printf("text=%s\n", Escape(text.substr(0, options.maxText)).c_str());
    std::printf("text.rect=%s\n", RectText(ChildRect(window, child)).c_str());
    std::printf("text.style=0x%08lx\ntext.exstyle=0x%08lx\n",
                static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)));
    const LONG boldLimit = static_cast<LONG>(text.size() < options.maxText ? text.size() : options.maxText);
    std::printf("bold=%s\n", BoldRuns(child, text, boldLimit).c_str());
    break;
  }
  int index = 0;
  for (HWND button : Buttons(window)) {
    const LONG style = GetWindowLongA(button, GWL_STYLE);
    std::printf("button=%d caption=%s rect=%s focus=%d default=%d\n", index++, Escape(GetText(button)).c_str(),
                RectText(ChildRect(window, button)).c_str(), gui.hwndFocus == button ? 1 : 0,
                (style & 0x0F) == BS_DEFPUSHBUTTON ? 1 : 0);
  }
  const int ch = client.bottom;
  std::printf("pixel.strip=%s\n", PixelAt(window, 27, 5).c_str());
  std::printf("pixel.band=%s\n", PixelAt(window, client.right / 2, ch - 3).c_str());
  std::printf("pixel.line=%s,%s\n", PixelAt(window, client.right - 2, ch - 37).c_str(),
              PixelAt(window, client.right - 2, ch - 36).c_str());
  std::printf("pixel.body=%s\n", PixelAt(window, client.right - 3, 3).c_str());
  std::fflush(stdout);
}

HWND FindTarget(const Options& options) {
  return FindWindowA(options.cls.empty() ? nullptr : options.cls.c_str(),
                     options.title.empty() ? nullptr : options.title.c_str());
}

bool FileHolds(const std::string& path, const std::string& text) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    content.append(buffer, read);
  return content.find(text) != std::string::npos;
}

// ---- Input ----
// The program's reaction to the last key or click: gone_ms and seen_ms count from the
// moment it went out. The pause after an input looks every 5 ms for the window's end and
// for the text of the next seen action, so that it hides neither.
struct Reaction {
  DWORD input = 0;  // tick of the last input, 0 before any
  HWND window = nullptr;
  std::string watch, text;  // the file of --watch, the text of the next seen action
  DWORD goneAt = 0, seenAt = 0;
} reaction;

void SettleAfterInput(DWORD ms) {
  reaction.input = GetTickCount();
  reaction.goneAt = reaction.seenAt = 0;
  while (GetTickCount() - reaction.input < ms) {
    Sleep(5);
    if (!reaction.goneAt && reaction.window && !IsWindow(reaction.window)) reaction.goneAt = GetTickCount();
    if (!reaction.seenAt && !reaction.text.empty() && FileHolds(reaction.watch, reaction.text))
      reaction.seenAt = GetTickCount();
  }
}

// Milliseconds from the last input (else from start) to when, or to now when 0.
unsigned long SinceInput(DWORD when, DWORD start) {
  return static_cast<unsigned long>((when ? when : GetTickCount()) -
                                    (reaction.input ? reaction.input : start));
}

void SendKeys(const std::vector<INPUT>& inputs) {
  SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
  SettleAfterInput(150);
}

INPUT Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
  return gui.hwndFocus ? gui.hwndFocus : window;
}

void PressKey(HWND window, WORD vk, bool alt, const Options& options) {
  if (options.post) {
    HWND target = FocusOf(window);
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, 0)) << 16;
    if (alt) {
      PostMessageA(target, WM_SYSKEYDOWN, VK_MENU, scan | (1 << 29) | 1);
      PostMessageA(target, WM_SYSKEYDOWN, vk, scan | (1 << 29) | 1);
      PostMessageA(target, WM_SYSKEYUP, vk, scan | (1 << 29) | (3u << 30) | 1);
      PostMessageA(target, WM_KEYUP, VK_MENU, scan | (3u << 30) | 1);
    } else {
      PostMessageA(target, WM_KEYDOWN, vk, scan | 1);
      PostMessageA(target, WM_KEYUP, vk, scan | (3u << 30) | 1);
    }
    SettleAfterInput(150);
    return;
  }
  SetForegroundWindow(window);
  std::vector<INPUT> inputs;
  if (alt) inputs.push_back(Key(VK_MENU, false));
  inputs.push_back(Key(vk, false));
  inputs.push_back(Key(vk, true));
  if (alt) inputs.push_back(Key(VK_MENU, true));
  SendKeys(inputs);
}

void ClickAt(int x, int y) {
  const int sw = GetSystemMetrics(SM_CXSCREEN);
  const int sh = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3] = {};
  for (INPUT& i : in) {
    i.type = INPUT_MOUSE;
    i.mi.dx = static_cast<LONG>((x * 65535LL + sw / 2) / (sw - 1));
    i.mi.dy = static_cast<LONG>((y * 65535LL + sh / 2) / (sh - 1));
  }
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in[0], sizeof(INPUT));
  Sleep(80);
  SendInput(1, &in[1], sizeof(INPUT));
  Sleep(80);
  SendInput(1, &in[2], sizeof(INPUT));
  SettleAfterInput(150);
}

bool ClickButton(HWND window, const std::string& caption) {
  const std::string wanted = StripAmp(caption);
  for (HWND button : Buttons(window)) {
    if (StripAmp(GetText(button)) != wanted) continue;
    RECT r{};
    GetWindowRect(button, &r);
    SetForegroundWindow(window);
    ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return true;
  }
  return false;
}

void ClickCloseBox(HWND window) {
  // The close box is the rightmost caption button: as wide as SM_CXSIZE, inside the frame.
  RECT r{};
  GetWindowRect(window, &r);
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int frameX = r.right - (origin.x + client.right);  // right frame width
  const int captionTop = r.top + (r.right - origin.x - client.right);
  const int x = r.right - frameX - GetSystemMetrics(SM_CXSIZE) / 2 - 1;
  const int y = (captionTop + origin.y) / 2;
  SetForegroundWindow(window);
  ClickAt(x, y);
}

bool KeyName(const std::string& name, WORD& vk, bool& alt) {
  struct Named {
    const char* name;
    WORD vk;
    bool alt;
  };
  static const Named names[] = {{"tab", VK_TAB, false},       {"left", VK_LEFT, false},  {"right", VK_RIGHT, false},
                                {"up", VK_UP, false},         {"down", VK_DOWN, false},  {"return", VK_RETURN, false},
                                {"escape", VK_ESCAPE, false}, {"space", VK_SPACE, false}, {"f4", VK_F4, false},
                                {"altf4", VK_F4, true}};
  for (const Named& n : names) {
    if (name == n.name) {
      vk = n.vk;
      alt = n.alt;
      return true;
    }
  }
  return false;
}

WORD LetterKey(const std::string& arg) {
  if (arg.size() != 1) return 0;
  const char c = arg[0];
  if (c >= 'a' && c <= 'z') return static_cast<WORD>(c - 'a' + 'A');
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<WORD>(c);
  return 0;
}

// Without a window manager on the X display nobody draws captions and close boxes; this
// makes Wine draw them itself for every program started afterwards.
int SetupDecoration() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 1;
  const LONG rc = RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<std::string> actions;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--class" && more) {
      options.cls = argv[++i];
    } else if (a == "--title" && more) {
      options.title = argv[++i];
    } else if (a == "--wait" && more) {
      options.waitMs = std::atoi(argv[++i]);
    } else if (a == "--settle" && more) {
      options.settleMs = std::atoi(argv[++i]);
    } else if (a == "--max-text" && more) {
      options.maxText = static_cast<std::size_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--watch" && more) {
      options.watch = argv[++i];
    } else if (a == "--post") {
      options.post = true;
    } else if (a == "--setup") {
      return SetupDecoration();
    } else if (a == "--quiet") {
      options.quiet = true;
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "zuidriver: unknown option %s\n", a.c_str());
      return 2;
    } else {
      actions.push_back(a);
    }
  }
  if (options.cls.empty() && options.title.empty()) {
    std::fputs("zuidriver: give --class and/or --title\n", stderr);
    return 2;
  }

  HWND window = nullptr;
  for (DWORD start = GetTickCount(); !(window = FindTarget(options));) {
    if (GetTickCount() - start >= static_cast<DWORD>(options.waitMs)) {
      std::puts("window=none");
      return 3;
    }
    Sleep(50);
  }
  // Until the box has sized itself and is visible.
  for (DWORD start = GetTickCount(); !IsWindowVisible(window) && GetTickCount() - start < 5000;) Sleep(20);
  Sleep(static_cast<DWORD>(options.settleMs));
  if (!options.quiet) PrintWindow(window, options);

  reaction.window = window;
  reaction.watch = options.watch;
  for (std::size_t at = 0; at < actions.size(); ++at) {
    const std::string& action = actions[at];
    // The text the next seen action waits for, looked for from the next input on.
    reaction.text.clear();
    for (std::size_t next = at; next < actions.size() && reaction.text.empty(); ++next) {
      const std::string& later = actions[next];
      const std::size_t second = later.rfind("seen:", 0) == 0 ? later.find(':', 5) : std::string::npos;
      if (second != std::string::npos) reaction.text = later.substr(second + 1);
    }
    const std::size_t colon = action.find(':');
    const std::string verb = action.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : action.substr(colon + 1);
    WORD vk = 0;
    bool alt = false;
    if (verb == "print") {
      PrintWindow(window, options);
    } else if (verb == "none") {
    } else if (verb == "sleep") {
      Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
    } else if ((verb == "key" || verb == "alt") && (vk = LetterKey(arg)) != 0) {
      PressKey(window, vk, verb == "alt", options);
    } else if (KeyName(verb, vk, alt)) {
      PressKey(window, vk, alt, options);
    } else if (verb == "click") {
      if (!ClickButton(window, arg)) {
        std::fprintf(stderr, "zuidriver: no button %s\n", arg.c_str());
        return 2;
      }
    } else if (verb == "close") {
      ClickCloseBox(window);
    } else if (verb == "pixel") {
      // X,Y in client coordinates; a negative value counts from the right or bottom edge.
      RECT client{};
      GetClientRect(window, &client);
      int x = 0, y = 0;
      std::sscanf(arg.c_str(), "%d,%d", &x, &y);
      std::printf("pixel.%s=%s\n", arg.c_str(),
                  PixelAt(window, x < 0 ? client.right + x : x, y < 0 ? client.bottom + y : y).c_str());
    } else if (verb == "size") {
      // W,H: the outer size, as a window manager would set it when the user drags a border.
      int w = 0, h = 0;
      std::sscanf(arg.c_str(), "%d,%d", &w, &h);
      SetWindowPos(window, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
      Sleep(300);
    } else if (verb == "gone") {
      const DWORD limit = static_cast<DWORD>(std::atoi(arg.c_str()));
      const DWORD start = GetTickCount();
      while (IsWindow(window) && GetTickCount() - start < limit) Sleep(5);
      if (IsWindow(window)) {
        std::puts("gone=0");
        return 4;
      }
      std::printf("gone=1\ngone_ms=%lu\n", SinceInput(reaction.goneAt, start));
    } else if (verb == "seen") {
      // MS:TEXT; the file is read whole on each look (traces of a test are small).
      const std::size_t second = arg.find(':');
      const DWORD limit = static_cast<DWORD>(std::atoi(arg.c_str()));
      const std::string text = second == std::string::npos ? "" : arg.substr(second + 1);
      if (options.watch.empty() || text.empty()) {
        std::fputs("zuidriver: seen needs --watch FILE and seen:MS:TEXT\n", stderr);
        return 2;
      }
      const DWORD start = GetTickCount();
      bool seen = reaction.seenAt != 0;
      while (!seen) {
        seen = FileHolds(options.watch, text);
        if (seen || GetTickCount() - start >= limit) break;
        Sleep(5);
      }
      if (!seen) {
        std::puts("seen=0");
        return 6;
      }
      std::printf("seen=1\nseen_ms=%lu\n", SinceInput(reaction.seenAt, start));
    } else if (verb == "alive") {
      if (!IsWindow(window)) {
        std::puts("alive=0");
        return 5;
      }
      std::puts("alive=1");
    } else {
      std::fprintf(stderr, "zuidriver: unknown action %s\n", action.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
