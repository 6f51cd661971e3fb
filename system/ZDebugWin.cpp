// Delivery of trace pieces on Windows: the viewer window and the trace file.
#include <windows.h>

#include "system/ZDebug.h"

namespace {

UINT ViewerMessage() {
  // Registered once; stored as a 16-bit value like the viewer protocol expects.
  static const WORD id = static_cast<WORD>(RegisterWindowMessageA(kDebugViewerMessage));
  return id;
}

// Registers the message at start-up, as the first trace of the program may go out early.
const UINT g_registerAtStart = ViewerMessage();

}  // namespace

unsigned long TracePid() { return GetCurrentProcessId(); }

bool AppendTextToFile(const std::string& fileName, const std::string& text) {
  HANDLE file = CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text.empty();
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  if (!text.empty()) WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return written == text.size();
}

void SendDebugText(const std::string& piece) {
  if (DebugTarget == 1 || DebugTarget == 2) AppendTextToFile(DebugFileName(), NormalizeLineEnds(piece));
  if (DebugTarget == 0 || DebugTarget == 2) {
    HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
    if (!viewer) return;
    // Atom names are limited to 255 characters; a failed add still sends, with 0.
    ATOM atom = GlobalAddAtomA(piece.c_str());
    SendMessageA(viewer, ViewerMessage(), kDebugViewerWParam, atom);
    if (atom) GlobalDeleteAtom(atom);
  }
}
