#include "ui/ZMsgBox.h"

#include <richedit.h>

#include <algorithm>
#include <exception>
#include <exception>
#include <vector>

#include "system/DllSafety.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "system/ZSub.h"
#include "ui/Markup.h"

const char* const kMsgBoxClass = "ZMsgBox";

namespace {

// Layout of the box (pixels).
constexpr int kStripWidth = 54;      // dark-blue icon strip on the left
constexpr int kBandHeight = 36;      // grey button band at the bottom (below two lines)
constexpr int kMinBoxWidth = 360;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 23;
constexpr int kTextId = 100;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kRequestResize = 0x0701;  // EN_REQUESTRESIZE

struct FontSettings {
  std::string face = "Tahoma";
  int size = 8;
  int charset = DEFAULT_CHARSET;
};
// One box at a time; cleared when a box opens.
struct BoxState {
  bool open = false;
  UniqueGdiObject font;
  HWND disabled = nullptr;  // the window that was active when the box opened
  HWND box = nullptr;
  HWND text = nullptr;
  HWND slots[3] = {nullptr, nullptr, nullptr};  // left, middle, right
  int result = 0;
  int timeoutMs = 0;
  bool noClose = false;
  int requestedWidth = 0;
  int requestedHeight = 0;
  std::uint32_t icon = 0;
  bool done = false;
};

struct ZMsgBoxState {
  FontSettings font;  // of every later box
  BoxState box;
  std::uint16_t autoPlayMessage = 0;
};
ZMsgBoxState state;

struct ButtonDef {
  int listPos;
  int result;
};
// Left to right.
std::vector<ButtonDef> ButtonSet(std::uint32_t set) {
  switch (set) {
    case 0: return {{0, kMsgResultOk}};
    case 1: return {{0, kMsgResultOk}, {1, kMsgResultCancel}};
    case 2: return {{4, kMsgResultAbort}, {5, kMsgResultRetry}, {6, kMsgResultIgnore}};
    case 3: return {{2, kMsgResultYes}, {3, kMsgResultNo}, {1, kMsgResultCancel}};
    case 4: return {{2, kMsgResultYes}, {3, kMsgResultNo}};
    case 5: return {{5, kMsgResultRetry}, {1, kMsgResultCancel}};
    default: return {};
  }
}

int ButtonCount() {
  if (state.box.slots[2]) return 3;
  if (state.box.slots[1]) return 2;
  return state.box.slots[0] ? 1 : 0;
}

int FocusedSlot() {
  const HWND focus = GetFocus();
  for (int i = 0; i < 3; ++i)
    if (focus && state.box.slots[i] == focus) return i;
  return -1;
}

void FocusButton(int k) {
  const int n = ButtonCount();
  if (n == 0) return;
  if (k < 0) k += n;
  k = ((k % n) + n) % n;
  SetFocus(state.box.slots[k]);
  for (int i = 0; i < n; ++i)
    SendMessageA(state.box.slots[i], BM_SETSTYLE, i == k ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void ChooseButton(HWND button) {
  if (!button) return;
  state.box.result = static_cast<int>(GetWindowLongPtrA(button, GWLP_USERDATA));
  PostMessageA(state.box.box, WM_CLOSE, 0, 0);
}

std::string ButtonCaption(HWND button) { return WindowText(button); }

// The letter after the first "&", or the first character without one.
char HotkeyLetter(const std::string& caption) {
  const std::size_t amp = caption.find('&');
  if (amp == std::string::npos) return caption.empty() ? '\0' : caption[0];
  return amp + 1 < caption.size() ? caption[amp + 1] : '\0';
}

// Key handling of the box's loop; true when the message was used up.
bool FilterKey(const MSG& msg) {
  if (msg.message == WM_SYSCHAR) {
    const char ch = static_cast<char>(msg.wParam);
    HWND chosen = nullptr;
    for (int i = 2; i >= 0; --i) {  // the leftmost match wins
      if (!state.box.slots[i]) continue;
      const std::string caption = ButtonCaption(state.box.slots[i]);
      if (caption.size() >= 2 && (caption[1] == ch || caption[1] == UpperAscii(ch)))
        chosen = state.box.slots[i];
    }
    if (chosen) {
      ChooseButton(chosen);
      return true;
    }
    return false;
  }
  if (msg.message != WM_KEYDOWN) return false;
  const int focused = FocusedSlot();
  switch (msg.wParam) {
    case VK_LEFT:
    case VK_UP:
      FocusButton(focused - 1);
      return true;
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
      FocusButton(focused + 1);
      return true;
    case VK_RETURN:
      if (focused < 0) return false;
      ChooseButton(state.box.slots[focused]);
      return true;
    default:
      break;
  }
  // Only the letter keys themselves: numeric-pad and function keys have codes that
  // would upper-case to letters too.
  if (msg.wParam < 'A' || msg.wParam > 'Z') return false;
  const char letter = static_cast<char>(msg.wParam);
  HWND chosen = nullptr;
  for (int i = 0; i < 3; ++i) {  // the rightmost match wins
    if (!state.box.slots[i]) continue;
    if (UpperAscii(HotkeyLetter(ButtonCaption(state.box.slots[i]))) == letter) chosen = state.box.slots[i];
  }
  if (!chosen) return false;
  ChooseButton(chosen);
  return true;
}

HICON ChosenIcon() {
  switch (state.box.icon) {
    case kMsgIconStop: return LoadIconA(nullptr, MAKEINTRESOURCEA(32513));         // IDI_HAND
    case kMsgIconQuestion: return LoadIconA(nullptr, MAKEINTRESOURCEA(32514));     // IDI_QUESTION
    case kMsgIconExclamation: return LoadIconA(nullptr, MAKEINTRESOURCEA(32515));  // IDI_EXCLAMATION
    case kMsgIconInformation: return LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_ASTERISK
    default: return LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  }
}

void FillRectColor(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  if (right <= left || bottom <= top) return;
  UniqueGdiObject brush(CreateSolidBrush(color));
  RECT r{left, top, right, bottom};
  FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

void PaintBox(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  const int cw = client.right;
  const int ch = client.bottom;
  FillRectColor(dc, 0, 0, cw, ch, GetSysColor(COLOR_WINDOW));
  FillRectColor(dc, 0, ch - 37, cw, ch - 36, GetSysColor(COLOR_3DDKSHADOW));
  FillRectColor(dc, 0, ch - 36, cw, ch - 35, RGB(255, 255, 255));
  FillRectColor(dc, 0, ch - 35, cw, ch, GetSysColor(COLOR_BTNFACE));
  FillRectColor(dc, 0, 0, kStripWidth, ch - 37, RGB(0, 78, 152));
  if (HICON icon = ChosenIcon()) DrawIcon(dc, 11, 20, icon);
  EndPaint(window, &ps);
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != 0 && message == state.autoPlayMessage) return 1;
  switch (message) {
    case WM_CREATE:
      if (state.box.timeoutMs > 0)
        SetTimer(window, kTimerId, static_cast<UINT>(state.box.timeoutMs), nullptr);
      return 0;
    case WM_PAINT:
      PaintBox(window);
      return 0;
    case WM_COMMAND:
      for (HWND slot : state.box.slots) {
        if (slot && reinterpret_cast<HWND>(lParam) == slot && HIWORD(wParam) == BN_CLICKED) {
          ChooseButton(slot);
          return 0;
        }
      }
      break;
    case WM_TIMER:
      if (wParam == kTimerId) {
        KillTimer(window, kTimerId);
        state.box.result =
            state.box.slots[0] ? static_cast<int>(GetWindowLongPtrA(state.box.slots[0], GWLP_USERDATA)) : 0;
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && header->code == kRequestResize) {
        const RECT& rc = reinterpret_cast<const REQRESIZE*>(lParam)->rc;
        state.box.requestedWidth = rc.right - rc.left;
        state.box.requestedHeight = rc.bottom - rc.top;
        return 0;
      }
      break;
    }
    case WM_SYSCOMMAND:
      // A greyed Close item must also stop Alt+F4, which reaches here as SC_CLOSE.
      if ((wParam & 0xFFF0) == SC_CLOSE && state.box.noClose) return 0;
      break;
    case WM_CLOSE:
      if (state.box.disabled) {
        EnableWindow(state.box.disabled, TRUE);
        SetActiveWindow(state.box.disabled);
        SetFocus(state.box.disabled);
      }
      if (state.box.timeoutMs > 0) KillTimer(window, kTimerId);
      break;
    case WM_DESTROY:
      // Also reached when the owner is destroyed under the box, without WM_CLOSE.
      if (state.box.disabled && !IsWindowEnabled(state.box.disabled)) EnableWindow(state.box.disabled, TRUE);
      state.box.font.reset();
      state.box.done = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int LineHeight(HDC dc) {
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  int height = tm.tmHeight + tm.tmExternalLeading;
  if (SameTextTrim(state.font.face, "MS PGothic")) ++height;
  return height;
}

void MeasureText(const std::string& text, int& width, int& height) {
  HDC dc = GetDC(state.box.text);
  if (!dc) {
    width = height = 0;
    return;
  }
  HGDIOBJ old = SelectObject(dc, state.box.font.get());
  const int lineHeight = LineHeight(dc);
  MeasurePlainText(text, lineHeight,
                   [dc](const std::string& line) {
                     SIZE size{};
                     GetTextExtentPoint32A(dc, line.data(), static_cast<int>(line.size()), &size);
                     return static_cast<int>(size.cx);
                   },
                   width, height);
  SelectObject(dc, old);
  ReleaseDC(state.box.text, dc);
}

void SetControlSize(HWND control, int width, int height) {
  state.box.requestedWidth = state.box.requestedHeight = 0;
  SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageA(control, EM_REQUESTRESIZE, 0, 0);
}

void FillText(const PlainText& plain, std::uint32_t style) {
  HWND text = state.box.text;
  SendMessageA(text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(state.box.font.get()), FALSE);
  SendMessageA(text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
  // The control keeps 32K characters by default; a long message must not be cut.
  SendMessageA(text, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(plain.text.size() + 1));
  SendMessageA(text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(plain.text.c_str()));
  for (const BoldSpan& span : plain.bold) {
    CHARRANGE range{static_cast<LONG>(span.start), static_cast<LONG>(span.end)};
    SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = CFE_BOLD;
    SendMessageA(text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  CHARRANGE none{0, 0};
  SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  (void)style;
}

// Sizes the text control (W+10 by H; with bold text wider until the control needs no
// more height than measured).
void SizeTextControl(const PlainText& plain) {
  int width = 0;
  int height = 0;
  MeasureText(plain.text, width, height);
  // A huge text must not push the buttons off the screen: cap the height at what the
  // work area leaves and let the control scroll.
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int chrome = 2 * GetSystemMetrics(SM_CYFRAME) + 64 + GetSystemMetrics(SM_CYCAPTION) + kBandHeight;
  const int maxHeight = std::max(39, static_cast<int>(work.bottom - work.top) - chrome);
  const bool capped = height > maxHeight;
  if (capped) {
    height = maxHeight;
    SetWindowLongA(state.box.text, GWL_STYLE, GetWindowLongA(state.box.text, GWL_STYLE) | WS_VSCROLL);
    SetWindowPos(state.box.text, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  SetControlSize(state.box.text, width + 10, height);
  if (plain.bold.empty() || capped) return;  // a scrolling text needs no widening
  // Bold characters are wider than the plain measure: widen until nothing wraps.
  int largest = width;
  for (int i = 0; i <= 20; ++i) {
    SetControlSize(state.box.text, width + 10 * i, height);
    if (state.box.requestedHeight <= height) return;
    largest = std::max(largest, state.box.requestedWidth);
  }
  SetControlSize(state.box.text, largest + 10, height);
}

void LayoutBox() {
  RECT outer{};
  GetWindowRect(state.box.text, &outer);
  const int w = state.box.text ? outer.right - outer.left : 0;
  const int h = state.box.text ? outer.bottom - outer.top : 0;
  const int margin = w < 200 ? 64 : 32;
  const int boxWidth = std::max(kMinBoxWidth, w + 2 * GetSystemMetrics(SM_CXFRAME) + 2 * margin + kStripWidth);
  const int boxHeight =
      2 * GetSystemMetrics(SM_CYFRAME) + h + (h < 39 ? 90 : 64) + GetSystemMetrics(SM_CYCAPTION) + kBandHeight;
  int left = 0;
  int top = 0;
  CenterInWorkArea(boxWidth, boxHeight, left, top);
  SetWindowPos(state.box.box, nullptr, left, top, boxWidth, boxHeight, SWP_NOZORDER | SWP_SHOWWINDOW);

  if (!state.box.text) return;
  RECT client{};
  GetClientRect(state.box.box, &client);
  const int cw = client.right;
  const int ch = client.bottom;
  const int x = (cw - kStripWidth - w) / 2 + kStripWidth;
  const int y = (ch - kBandHeight - h) / 2;
  MoveWindow(state.box.text, x, y, w, ch - y - 39, TRUE);
}

void CreateButtons(const std::string& buttons, std::uint32_t set, HINSTANCE instance) {
  const std::vector<ButtonDef> defs = ButtonSet(set);
  RECT client{};
  GetClientRect(state.box.box, &client);
  const int count = static_cast<int>(defs.size());
  for (int i = count - 1; i >= 0; --i) {  // right to left
    const int fromRight = count - 1 - i;
    const int left = client.right - 80 - kButtonWidth * fromRight;
    const std::string caption = SUB::GetItem(buttons, defs[i].listPos, "");
    HWND button =
        CreateWindowExA(0, "Button", caption.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, left,
                        client.bottom - 29, kButtonWidth, kButtonHeight, state.box.box,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId + 1 + i)), instance, nullptr);
    if (!button) continue;
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(state.box.font.get()), TRUE);
    SetWindowLongPtrA(button, GWLP_USERDATA, defs[i].result);
    state.box.slots[i] = button;
  }
}

// The rich-edit library for the process (freed at exit) and per box.
HMODULE RichEditLibrary() {
  static UniqueLibrary processWide(LoadSystemLibrary("RICHED32.DLL"));
  return LoadSystemLibrary("RICHED32.DLL");
}

}  // namespace

void SetMsgBoxFont(const std::string& faceName, int size, int charset) {
  state.font.face = faceName;
  if (size != 0) state.font.size = size;
  state.font.charset = charset;
}

int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
               std::uint32_t style, int timeoutMs) {
  if (state.box.open) return 0;  // one box at a time
  UniqueLibrary richEdit(RichEditLibrary());
  HINSTANCE instance = GetModuleHandleA(nullptr);

  state.box = BoxState{};
  state.box.open = true;
  state.box.disabled = GetActiveWindow();
  if (state.box.disabled) EnableWindow(state.box.disabled, FALSE);
  state.box.timeoutMs = timeoutMs;
  state.box.noClose = (style & kMsgNoClose) != 0;
  state.box.icon = style & 0xF0;

  state.box.font.reset(CreateFontA(-PointsToPixels(state.font.size), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   static_cast<DWORD>(state.font.charset & 0xFF), OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, state.font.face.c_str()));

  ScopedWindowClass boxClass(kMsgBoxClass, instance);
  boxClass.RegisterBox(BoxProc);

  state.box.box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kMsgBoxClass, caption.c_str(),
                                  WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner, nullptr,
                                  instance, nullptr);
  if (!state.box.box) {
    if (state.box.disabled) EnableWindow(state.box.disabled, TRUE);
    state.box = BoxState{};
    return 0;
  }
  if (state.box.noClose)
    EnableMenuItem(GetSystemMenu(state.box.box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);

  DWORD textStyle = WS_CHILD | WS_VISIBLE | ES_READONLY | ES_WANTRETURN | ES_MULTILINE;
  if (style & kMsgRight) textStyle |= ES_RIGHT;
  const DWORD textExStyle = (style & kMsgRtlReading) ? WS_EX_RTLREADING : 0;
  state.box.text = CreateWindowExA(textExStyle, "RICHEDIT", "", textStyle, 86, 30, 100, 13, state.box.box,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr);
  if (state.box.text) {
    const PlainText plain = ConvertMarkup(text);
    FillText(plain, style);
    SizeTextControl(plain);
  }
  LayoutBox();
  CreateButtons(buttons, style & 0x0F, instance);
  FocusButton(static_cast<int>((style >> kMsgDefaultButtonShift) & 0x0F));

  MSG msg;
  while (!state.box.done) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT: close the box and hand the quit on to the loop outside.
      const int code = static_cast<int>(msg.wParam);
      if (IsWindow(state.box.box)) DestroyWindow(state.box.box);
      PostQuitMessage(code);
      break;
    }
    if (got < 0) break;
    if (FilterKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (IsWindow(state.box.box)) DestroyWindow(state.box.box);
  const int result = state.box.result;
  state.box = BoxState{};
  return result;
}

int MsgBoxEx(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
             int charset, std::uint32_t style, int timeoutMs) {
  if (charset == HEBREW_CHARSET || charset == ARABIC_CHARSET) style |= kMsgRight | kMsgRtlReading;
  const auto code = reinterpret_cast<std::uintptr_t>(owner);
  std::string shown = text;
  if (code == 0) {
    const std::string title =
        std::string(kDefaultTitleList).find(caption) != std::string::npos ? UpperAscii(caption) : caption;
    shown = "<<b>" + title + "</b><P><P>" + text + "<P>";
  }
  if (code == 2) style |= kMsgNoClose;
  HWND parent = code < 3 ? GetActiveWindow() : owner;
  const int result = ShowMsgBox(parent, shown, caption, buttons, style, timeoutMs);
  YieldWait(0, 100);
  return result;
}

namespace {
std::string OrDefault(const std::string& value, const std::string& def) { return value.empty() ? def : value; }
std::string DefaultCaption(int index) { return SUB::GetItem(kDefaultTitleList, index, ""); }
}  // namespace

void MsgError(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
              int charset) {
  MsgBoxEx(owner, text, OrDefault(caption, DefaultCaption(0)), OrDefault(buttons, kDefaultButtonList), charset,
           kMsgIconStop | kMsgOk, 0);
}

void MsgAttention(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
                  int charset, int timeoutMs) {
  MsgBoxEx(owner, text, OrDefault(caption, DefaultCaption(1)), OrDefault(buttons, kDefaultButtonList), charset,
           kMsgIconExclamation | kMsgOk, timeoutMs);
}

bool MsgConfirm(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
                int charset, int timeoutMs) {
  return MsgBoxEx(owner, text, OrDefault(caption, DefaultCaption(2)), OrDefault(buttons, kDefaultButtonList),
                  charset, kMsgIconQuestion | kMsgYesNo, timeoutMs) == kMsgResultYes;
}

bool MsgConfirmOkCancel(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
                        int charset) {
  return MsgBoxEx(owner, text, OrDefault(caption, DefaultCaption(2)), OrDefault(buttons, kDefaultButtonList),
                  charset, kMsgIconQuestion | kMsgOkCancel, 0) == kMsgResultOk;
}

void EnableAutoPlayCancel(bool on) {
  state.autoPlayMessage = on ? static_cast<std::uint16_t>(RegisterWindowMessageA("QueryCancelAutoPlay")) : 0;
}

std::uint16_t AutoPlayCancelMessage() {
  return state.autoPlayMessage;
}
