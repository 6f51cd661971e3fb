// Delivery of trace pieces on Windows: the viewer window and the trace file.
#include <windows.h>

#include "system/WinHandles.h"
#include "system/ZDebug.h"

namespace {

UINT ViewerMessage() {
  // Registered once; stored as a 16-bit value like the viewer protocol expects.
  static const WORD id = static_cast<WORD>(RegisterWindowMessageA(kDebugViewerMessage));
  return id;
}

// Registers the message at start-up, as the first trace of the program may go out early.
const UINT g_registerAtStart = ViewerMessage();

// Never deleted: the stream delivers its last text while the program ends.
CRITICAL_SECTION& DeliverySection() {
  static CRITICAL_SECTION section;
  static const bool ready = (InitializeCriticalSection(&section), true);
  (void)ready;
  return section;
}

}  // namespace

void LockDebugDelivery() { EnterCriticalSection(&DeliverySection()); }
void UnlockDebugDelivery() { LeaveCriticalSection(&DeliverySection()); }

unsigned long TracePid() { return GetCurrentProcessId(); }

bool AppendTextToFile(const std::string& fileName, const std::string& text) {
  // Append-only access: every write lands at the end of the file even while another
  // process appends to it, so lines of concurrent writers never overwrite each other.
  UniqueHandle file(CreateFileA(fileName.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return text.empty();
  DWORD written = 0;
  if (!text.empty() && !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return false;
  return written == text.size();
}

void SendDebugText(const std::string& piece) {
  if (DebugTarget == 1 || DebugTarget == 2) AppendTextToFile(DebugFileName(), NormalizeLineEnds(piece));
  if (DebugTarget == 0 || DebugTarget == 2) {
    HWND viewer = FindWindowA(kDebugViewerClass, nullptr);
    if (!viewer) return;
    // The viewer reads the text from the atom while it handles the message; the atom
    // is deleted once the send returns. A failed add still sends, with 0.
    UniqueAtom atom(GlobalAddAtomA(piece.c_str()));
    SendMessageA(viewer, ViewerMessage(), kDebugViewerWParam, atom.get());
  }
}
