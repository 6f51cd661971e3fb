#pragma once
// The inform window ("ZRichEditBox"): a resizable window with the news text in a
// read-only rich-edit control and, when a web address belongs to the news, one button in
// a grey band at the bottom that opens the address and closes the window.
#include <windows.h>

#include <string>

extern const char* const kInformClass;     // "ZRichEditBox"
extern const char* const kInformCopyText;  // above an address shown instead of opened

// Only an address IsWebAddress accepts is opened or gets a button; any other counts as
// none. Empty text and an address: opens the address at once (no window). A text: shows the
// window and returns when it is closed. Both empty: false, nothing shown. width and height
// are the outer size, limited to the screen. fontName/fontSize/charset: the button's font
// (the text's face is InformTextFace(fontName), 15 pixels high).
// An elevated process opens the address only with the desktop user's token: without one
// (no shell, an elevated shell or one of another session, no handler command) it shows
// the address in a message box (caption, copyText or kInformCopyText above it) for the
// user to copy, and sets *notOpened.
bool ShowInform(HWND owner, const std::string& caption, const std::string& buttonCaption,
                const std::string& text, const std::string& webAddress, long long width, long long height,
                const std::string& fontName, int fontSize, int charset, const std::string& copyText = "",
                bool* notOpened = nullptr);
