#pragma once
// Geometry and font choice of the inform window ("ZRichEditBox"), free of the OS.
#include <string>

// A rectangle as left, top, width, height.
struct InformRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The grey band that carries the button, and the button itself.
constexpr int kInformBandHeight = 43;
constexpr int kInformButtonWidth = 160;
constexpr int kInformButtonHeight = 25;
constexpr int kInformButtonFromBottom = 33;
constexpr int kInformTextLeft = 3;
// Smallest outer size taken from a record: enough for the caption and the button.
constexpr int kInformMinWidth = 200;
constexpr int kInformMinHeight = 120;

// The outer size asked for, limited to [minimum, screen]: the record comes from a
// download and may hold any number.
int InformWindowExtent(long long asked, int minimum, int screen);

// Text control and button inside a client area of cw x ch; withButton = there is a web
// address. Sizes never fall below 0.
InformRect InformTextRect(int cw, int ch, bool withButton);
InformRect InformButtonRect(int cw, int ch);

// Face of the text font: "Verdana" unless the record names another face than "Tahoma".
std::string InformTextFace(const std::string& fontName);

// Whether an inform address may be handed to the shell: an "http://" or "https://"
// address (scheme in any case) with a host, and no blank or control character. Everything
// else the shell would open (local or UNC paths, "file:", other protocols) is refused.
bool IsWebAddress(const std::string& address);

// The command line that opens a web address with the handler the system registered for
// it (command: its "shell\open\command" text, environment variables expanded): "%1",
// "%L" and "%l" become the address, "%*" nothing and "%%" "%"; a command with none of
// them gets the address added at the end. A double quote in the address becomes "%22",
// and backslashes at its end "%5C", so the address (which IsWebAddress keeps free of
// blanks) stays one argument.
std::string HandlerCommandLine(const std::string& command, const std::string& address);

// The address in a message box's text (markup) that shows it for the user to copy: "<",
// ">" and "\\" become "%3C", "%3E" and "%5C", so no part of it reads as a tag or a
// line break and the text shown is the address.
std::string AddressForMessage(const std::string& address);
