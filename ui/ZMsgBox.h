#pragma once
// The stub's own message box ("ZMsgBox": icon strip, rich-edit markup text, up to three
// buttons) and the message pump that every wait uses.
#include <windows.h>

#include <cstdint>
#include <string>

#include "system/Pump.h"  // the pump of every wait, declared below the message box
#include "system/Utils.h"

// ---- Results and style word ----
// What ShowMsgBox returns: the chosen button's result, or 0 when the box was closed
// any other way (close box, Alt+F4) or could not be created.
constexpr int kMsgResultNone = 0;
constexpr int kMsgResultOk = 1;
constexpr int kMsgResultCancel = 2;
constexpr int kMsgResultAbort = 3;
constexpr int kMsgResultRetry = 4;
constexpr int kMsgResultIgnore = 5;
constexpr int kMsgResultYes = 6;
constexpr int kMsgResultNo = 7;

// Button sets (style bits 0..3); 6 to 15 show no buttons.
constexpr std::uint32_t kMsgOk = 0x0;
constexpr std::uint32_t kMsgOkCancel = 0x1;
constexpr std::uint32_t kMsgAbortRetryIgnore = 0x2;
constexpr std::uint32_t kMsgYesNoCancel = 0x3;
constexpr std::uint32_t kMsgYesNo = 0x4;
constexpr std::uint32_t kMsgRetryCancel = 0x5;
constexpr std::uint32_t kMsgNoButtons = 0x6;
// Icons (bits 4..7); any other value shows the program's "MainIcon".
constexpr std::uint32_t kMsgIconStop = 0x10;
constexpr std::uint32_t kMsgIconQuestion = 0x20;
constexpr std::uint32_t kMsgIconExclamation = 0x30;
constexpr std::uint32_t kMsgIconInformation = 0x40;
// Default button index (bits 8..11), modulo the number of buttons.
constexpr std::uint32_t kMsgDefaultButtonShift = 8;
constexpr std::uint32_t kMsgRight = 0x00080000;
constexpr std::uint32_t kMsgRtlReading = 0x00100000;
// Greys the Close item of the window menu: neither the close box nor Alt+F4 closes it.
constexpr std::uint32_t kMsgNoClose = 0x10000000;

// Owner codes of MsgBoxEx and the front ends (any real window handle is 3 or above):
// 0 = active window, bold title line before the text; 1 = active window, no title
// line; 2 = as 1, and the box cannot be closed by its close box.
inline HWND MsgOwnerTitle() { return nullptr; }
inline HWND MsgOwnerPlain() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(1)); }
inline HWND MsgOwnerNoClose() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(2)); }

// Button lists hold captions by role at positions 0 OK, 1 Cancel, 2 Yes, 3 No, 4 Abort,
// 5 Retry, 6 Ignore; the default is kDefaultButtonList and the default window captions
// are kDefaultTitleList (both in system/Utils.h).

// Window class of the box.
extern const char* const kMsgBoxClass;  // "ZMsgBox"

// ---- Font ----
// Font of every later box. size 0 keeps the current size. Defaults: "Tahoma", 8 pt,
// DEFAULT_CHARSET (1).
void SetMsgBoxFont(const std::string& faceName, int size, int charset);

// ---- Boxes ----
// Shows one box (parent owner, markup text, window caption, button list, style word)
// and returns its result once the box has closed. A time-out above 0 ms chooses the
// leftmost button by itself. 0 at once when the box window cannot be created.
int ShowMsgBox(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
               std::uint32_t style, int timeoutMs);

// Front end of every box: owner code or window, character set of the message's
// language (177/178 make the text right-to-left and right-aligned). Pumps messages for
// 100 ms after the box has closed.
int MsgBoxEx(HWND owner, const std::string& text, const std::string& caption, const std::string& buttons,
             int charset, std::uint32_t style, int timeoutMs);

// Empty caption: the default caption of the kind; empty buttons: kDefaultButtonList.
void MsgError(HWND owner, const std::string& text, const std::string& caption = "", const std::string& buttons = "",
              int charset = 0);
void MsgAttention(HWND owner, const std::string& text, const std::string& caption = "",
                  const std::string& buttons = "", int charset = 0, int timeoutMs = 0);
// True when Yes was chosen (or the time-out chose it).
bool MsgConfirm(HWND owner, const std::string& text, const std::string& caption = "", const std::string& buttons = "",
                int charset = 0, int timeoutMs = 0);
// True when OK was chosen.
bool MsgConfirmOkCancel(HWND owner, const std::string& text, const std::string& caption = "",
                        const std::string& buttons = "", int charset = 0);

// ---- AutoPlay ----
// On: registers "QueryCancelAutoPlay" and keeps its identifier; off: forgets it.
void EnableAutoPlayCancel(bool on);
// The registered identifier, 0 while off. The box and the main window answer it with 1.
std::uint16_t AutoPlayCancelMessage();
