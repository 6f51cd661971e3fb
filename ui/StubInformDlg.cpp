#include "ui/StubInformDlg.h"

#include <richedit.h>

#include "system/DllSafety.h"
#include "system/Process.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZDebug.h"
#include "ui/InformLayout.h"

const char* const kInformClass = "ZRichEditBox";

namespace {

constexpr int kTextId = 100;
constexpr int kButtonId = 101;

// One inform window at a time.
struct InformState {
  std::string webAddress;
  UniqueGdiObject buttonFont;
  UniqueGdiObject textFont;
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  bool done = false;
};
InformState g_inform;

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
// administrator rights; without elevation, a shell token or a handler command, the
// shell opens it as before (with this process's rights).
void OpenWebAddress(const std::string& address) {
  if (UniqueHandle token = DesktopUserToken()) {
    const std::string command = WebHandlerCommand(address);
    if (!command.empty() && StartWithToken(token.get(), HandlerCommandLine(command, address), SW_SHOW)) {
      Output() << TracePid() << " OpenWebAddress: opened as the desktop user >" << address << "<" << EndLine;
      return;
    }
  }
  Output() << TracePid() << " OpenWebAddress: opened by the shell >" << address << "<" << EndLine;
  ShellOpen(address, "", SW_SHOW);
}

void MoveChild(HWND child, const InformRect& r) {
  if (!child) return;
  MoveWindow(child, r.x, r.y, r.width, r.height, TRUE);
  ShowWindow(child, SW_SHOW);
}

void Layout(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const bool withButton = !g_inform.webAddress.empty();
  MoveChild(g_inform.text, InformTextRect(client.right, client.bottom, withButton));
  if (withButton) MoveChild(g_inform.button, InformButtonRect(client.right, client.bottom));
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  if (!g_inform.webAddress.empty()) {
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
      if (LOWORD(wParam) == kButtonId && reinterpret_cast<HWND>(lParam) == g_inform.button) {
        OpenWebAddress(g_inform.webAddress);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      g_inform.done = true;
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
  g_inform.buttonFont.reset(MakeFont(-PointsToPixels(fontSize), charset, fontName));
  g_inform.textFont.reset(MakeFont(15, charset, InformTextFace(fontName)));

  ScopedWindowClass informClass(kInformClass, instance);
  informClass.RegisterBox(InformProc);

  const int screenW = GetSystemMetrics(SM_CXSCREEN);
  const int screenH = GetSystemMetrics(SM_CYSCREEN);
  const int w = InformWindowExtent(width, kInformMinWidth, screenW);
  const int h = InformWindowExtent(height, kInformMinHeight, screenH);
  g_inform.window = CreateWindowExA(WS_EX_DLGMODALFRAME, kInformClass, caption.c_str(),
                                    WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, (screenW - w) / 2,
                                    (screenH - h) / 2, w, h, owner, nullptr, instance, nullptr);
  if (!g_inform.window) return;

  RECT client{};
  GetClientRect(g_inform.window, &client);
  const bool withButton = !g_inform.webAddress.empty();
  const InformRect t = InformTextRect(client.right, client.bottom, withButton);
  g_inform.text = CreateWindowExA(
      0, "RICHEDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_WANTRETURN | ES_MULTILINE, t.x, t.y,
      t.width, t.height, g_inform.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr);
  if (g_inform.text) {
    SendMessageA(g_inform.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(g_inform.text, WM_SETFONT, reinterpret_cast<WPARAM>(g_inform.textFont.get()), TRUE);
    SendMessageA(g_inform.text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
    SetWindowTextA(g_inform.text, text.c_str());
  }
  if (withButton) {
    const InformRect b = InformButtonRect(client.right, client.bottom);
    g_inform.button = CreateWindowExA(0, "Button", buttonCaption.c_str(), WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                                      b.x, b.y, b.width, b.height, g_inform.window,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), instance, nullptr);
    if (g_inform.button) {
      SendMessageA(g_inform.button, WM_SETFONT, reinterpret_cast<WPARAM>(g_inform.buttonFont.get()), TRUE);
      SetActiveWindow(g_inform.window);
      SetFocus(g_inform.button);
    }
  }

  g_inform.done = false;
  MSG msg;
  while (!g_inform.done) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT: close the window and hand the quit on to the loop outside.
      if (IsWindow(g_inform.window)) DestroyWindow(g_inform.window);
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (IsWindow(g_inform.window)) DestroyWindow(g_inform.window);
}

}  // namespace

bool ShowInform(HWND owner, const std::string& caption, const std::string& buttonCaption, const std::string& text,
                const std::string& webAddress, long long width, long long height, const std::string& fontName,
                int fontSize, int charset) {
  if (g_inform.window) return false;  // one inform window at a time
  std::string address = Trim(webAddress);
  // The address comes from a downloaded record: only a web page is opened, never a
  // program, a local file or another protocol handler.
  if (!address.empty() && !IsWebAddress(address)) {
    Output() << TracePid() << " ShowInform: address refused >" << address << "<" << EndLine;
    address.clear();
  }
  if (text.empty()) {
    if (address.empty()) return false;
    OpenWebAddress(address);
    return true;
  }
  g_inform.webAddress = address;
  ShowInformWindow(owner, caption, buttonCaption, text, width, height, fontName, fontSize, charset);
  g_inform = InformState{};
  return true;
}
