#include "ui/InformLayout.h"

#include <algorithm>

#include "system/Utils.h"

int InformWindowExtent(long long asked, int minimum, int screen) {
  const long long upper = std::max(minimum, screen);
  return static_cast<int>(std::clamp<long long>(asked, minimum, upper));
}

InformRect InformTextRect(int cw, int ch, bool withButton) {
  const int height = withButton ? ch - kInformBandHeight : ch;
  return {kInformTextLeft, 0, std::max(0, cw - kInformTextLeft), std::max(0, height)};
}

InformRect InformButtonRect(int cw, int ch) {
  return {(cw - kInformButtonWidth) / 2, ch - kInformButtonFromBottom, kInformButtonWidth, kInformButtonHeight};
}

std::string InformTextFace(const std::string& fontName) {
  return !fontName.empty() && fontName != "Tahoma" ? fontName : "Verdana";
}

bool IsWebAddress(const std::string& address) {
  std::size_t hostStart = 0;
  if (StartsWith("http://", address, true))
    hostStart = 7;
  else if (StartsWith("https://", address, true))
    hostStart = 8;
  else
    return false;
  if (hostStart >= address.size() || address[hostStart] == '/' || address[hostStart] == '\\') return false;
  for (unsigned char c : address)
    if (c <= ' ' || c == 0x7F) return false;
  return true;
}

std::string HandlerCommandLine(const std::string& command, const std::string& address) {
  std::string safe = ReplaceText(address, "\"", "%22");
  // Backslashes at the end would escape a closing quote of the command ("%1" in quotes).
  std::size_t end = safe.size();
  while (end > 0 && safe[end - 1] == '\\') --end;
  safe = safe.substr(0, end) + ReplaceText(safe.substr(end), "\\", "%5C");
  std::string line;
  bool placed = false;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char next = i + 1 < command.size() ? command[i + 1] : '\0';
    if (command[i] != '%' || next == '\0') {
      line += command[i];
      continue;
    }
    ++i;
    if (next == '1' || next == 'L' || next == 'l') {
      line += safe;
      placed = true;
    } else if (next == '%') {
      line += '%';
    } else if (next != '*') {
      line += '%';
      line += next;
    }
  }
  if (!placed) line += " \"" + safe + "\"";
  return line;
}

std::string AddressForMessage(const std::string& address) {
  std::string shown;
  for (char c : address) {
    if (c == '\\' || c == '<' || c == '>')
      shown += c == '\\' ? "%5C" : c == '<' ? "%3C" : "%3E";
    else
      shown += c;
  }
  return shown;
}
