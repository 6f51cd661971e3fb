#include "ui/StubInformDlg.h"

#include <richedit.h>

#include <algorithm>

#include "system/DllSafety.h"
#include "system/Process.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/InformLayout.h"
#include "ui/ZMsgBox.h"

const char* const kInformClass = "ZRichEditBox";
const char* const kInformCopyText = "Please open this address in your web browser:";

namespace {

constexpr int kTextId = 100;
constexpr int kButtonId = 101;

// One inform window at a time.
struct StubInformDlgState {
  std::string webAddress;
  // ShowInform's own arguments, while it runs.
  const std::string* caption = nullptr;
  const std::string* copyText = nullptr;  // shown above an address that could not be opened
  bool* notOpened = nullptr;              // set when an address was only shown
  UniqueGdiObject buttonFont;
  UniqueGdiObject textFont;
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  bool done = false;
};
StubInformDlgState state;

// The command of the handler the user chose for the address's scheme (http or https),
// else the one registered for the scheme; environment variables expanded. Empty when
// none is registered as a command (a handler reached only through the shell).
std::string WebHandlerCommand(const std::string& address) {
  const std::string scheme = StartsWith("https:", address, true) ? "https" : "http";
  const std::string chosen = ReadRegString(
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\" + scheme +
          "\\UserChoice",
      "ProgId", "", false);
  // A chosen handler without a command of its own is left to the shell, not replaced by
  // another browser.
  const std::string key =
      "HKEY_CLASSES_ROOT\\" + (chosen.empty() ? scheme : chosen) + "\\shell\\open\\command";
  const std::string command = Trim(ReadRegString(key, "", "", false));
  if (command.empty()) return "";
  char expanded[2048] = {};
  const DWORD n = ExpandEnvironmentStringsA(command.c_str(), expanded, sizeof expanded);
  return n > 0 && n <= sizeof expanded ? std::string(expanded) : command;
}

// Opens a web address (IsWebAddress) in the user's browser. An elevated process starts
// the registered handler with the desktop user's token, so the page never runs with
// administrator rights; without that token or a handler command it opens nothing and
// shows the address for the user to copy (the shell would start the browser as
// administrator). A process that is not elevated opens it with the shell, as before.
// False when the address was only shown.
bool OpenWebAddress(const std::string& address) {
  if (!ProcessIsElevated()) {
    Output() << TracePid() << " OpenWebAddress: opened by the shell >" << address << "<" << EndLine;
    ShellOpen(address, "", SW_SHOW);
    return true;
  }
  if (UniqueHandle token = DesktopUserToken()) {
    const std::string command = WebHandlerCommand(address);
    if (!command.empty() && StartWithToken(token.get(), HandlerCommandLine(command, address), SW_SHOW)) {
      Output() << TracePid() << " OpenWebAddress: opened as the desktop user >" << address << "<" << EndLine;
      return true;
    }
  }
  Output() << TracePid() << " OpenWebAddress: no desktop user to open it as, shown >" << address << "<"
           << EndLine;
  MsgAttention(
      MsgOwnerPlain(),
      (state.copyText->empty() ? kInformCopyText : *state.copyText) + "<P><P>" + AddressForMessage(address),
      *state.caption);
  if (state.notOpened) *state.notOpened = true;
  return false;
}

// The news text as the control reads it: a stream of plain text.
struct TextSource {
  const std::string& text;
  std::size_t at;
};
DWORD CALLBACK ReadTextSource(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  TextSource& source = *reinterpret_cast<TextSource*>(cookie);
  const std::size_t n =
      std::min(static_cast<std::size_t>(size > 0 ? size : 0), source.text.size() - source.at);
  CopyMemory(buffer, source.text.data() + source.at, n);
  source.at += n;
  *done = static_cast<LONG>(n);
  return 0;
}

// The text as it was published: set as a window text, one that begins with "{\rtf" would
// be read as RTF (pictures, objects, hidden text); streamed in as plain text, it is shown
// unchanged.
void SetPlainText(HWND control, const std::string& text) {
  SendMessageA(control, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(text.size() + 1));
  TextSource source{text, 0};
  EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, ReadTextSource};
  SendMessageA(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

void MoveChild(HWND child, const InformRect& r) {
  if (!child) return;
  MoveWindow(child, r.x, r.y, r.width, r.height, TRUE);
  ShowWindow(child, SW_SHOW);
}

void Layout(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const bool withButton = !state.webAddress.empty();
  MoveChild(state.text, InformTextRect(client.right, client.bottom, withButton));
  if (withButton) MoveChild(state.button, InformButtonRect(client.right, client.bottom));
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (!state.webAddress.empty()) {
    RECT line{0, client.bottom - kInformBandHeight, client.right, client.bottom - kInformBandHeight + 1};
    FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
    RECT band{0, client.bottom - kInformBandHeight + 1, client.right, client.bottom};
    FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK InformProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout(window);
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kButtonId && reinterpret_cast<HWND>(lParam) == state.button) {
        OpenWebAddress(state.webAddress);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      state.done = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HFONT MakeFont(int height, int charset, const std::string& face) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<DWORD>(charset & 0xFF),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, face.c_str());
}

void ShowInformWindow(HWND owner, const std::string& caption, const std::string& buttonCaption,
                      const std::string& text, long long width, long long height, const std::string& fontName,
                      int fontSize, int charset) {
  // Kept for the process: rich-edit windows of a later box must not outlive the library.
  static UniqueLibrary richEdit(LoadSystemLibrary("RICHED32.DLL"));
  HINSTANCE instance = GetModuleHandleA(nullptr);
  state.buttonFont.reset(MakeFont(-PointsToPixels(fontSize), charset, fontName));
  state.textFont.reset(MakeFont(15, charset, InformTextFace(fontName)));

  ScopedWindowClass informClass(kInformClass, instance);
  informClass.RegisterBox(InformProc);

  const int screenW = GetSystemMetrics(SM_CXSCREEN);
  const int screenH = GetSystemMetrics(SM_CYSCREEN);
  const int w = InformWindowExtent(width, kInformMinWidth, screenW);
  const int h = InformWindowExtent(height, kInformMinHeight, screenH);
  state.window = CreateWindowExA(WS_EX_DLGMODALFRAME, kInformClass, caption.c_str(),
                                 WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, (screenW - w) / 2,
                                 (screenH - h) / 2, w, h, owner, nullptr, instance, nullptr);
  if (!state.window) return;

  RECT client{};
  GetClientRect(state.window, &client);
  const bool withButton = !state.webAddress.empty();
  const InformRect t = InformTextRect(client.right, client.bottom, withButton);
  state.text = CreateWindowExA(
      0, "RICHEDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_WANTRETURN | ES_MULTILINE, t.x,
      t.y, t.width, t.height, state.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance,
      nullptr);
  if (state.text) {
    SendMessageA(state.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(state.text, WM_SETFONT, reinterpret_cast<WPARAM>(state.textFont.get()), TRUE);
    SendMessageA(state.text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
    SetPlainText(state.text, text);
  }
  if (withButton) {
    const InformRect b = InformButtonRect(client.right, client.bottom);
    state.button = CreateWindowExA(
        0, "Button", buttonCaption.c_str(), WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, b.x, b.y, b.width,
        b.height, state.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), instance, nullptr);
    if (state.button) {
      SendMessageA(state.button, WM_SETFONT, reinterpret_cast<WPARAM>(state.buttonFont.get()), TRUE);
      SetActiveWindow(state.window);
      SetFocus(state.button);
    }
  }

  state.done = false;
  MSG msg;
  while (!state.done) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT: close the window and hand the quit on to the loop outside.
      if (IsWindow(state.window)) DestroyWindow(state.window);
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (IsWindow(state.window)) DestroyWindow(state.window);
}

}  // namespace

bool ShowInform(HWND owner, const std::string& caption, const std::string& buttonCaption,
                const std::string& text, const std::string& webAddress, long long width, long long height,
                const std::string& fontName, int fontSize, int charset, const std::string& copyText,
                bool* notOpened) {
  if (state.window) return false;  // one inform window at a time
  state.caption = &caption;
  state.copyText = &copyText;
  state.notOpened = notOpened;
  std::string address = Trim(webAddress);
  // The address comes from a downloaded record: only a web page is opened, never a
  // program, a local file or another protocol handler.
  if (!address.empty() && !IsWebAddress(address)) {
    Output() << TracePid() << " ShowInform: address refused >" << address << "<" << EndLine;
    address.clear();
  }
  if (text.empty()) {
    if (address.empty()) {
      state = StubInformDlgState{};
      return false;
    }
    OpenWebAddress(address);
    state = StubInformDlgState{};
    return true;
  }
  state.webAddress = address;
  ShowInformWindow(owner, caption, buttonCaption, text, width, height, fontName, fontSize, charset);
  state = StubInformDlgState{};
  return true;
}
