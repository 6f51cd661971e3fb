#include "ui/ZMsgBox.h"

#include <windows.h>

#include <exception>
#include <stdexcept>

#include "system/WinUtils.h"
#include "system/ZDebug.h"

void YieldX(int ms) {
  try {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  } catch (const std::exception& e) {
    TraceException(e, "YieldX");
  } catch (...) {
    TraceException(std::runtime_error("unknown exception"), "YieldX");
  }
  // A negative pause would be an endless Sleep.
  Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}

int YieldStep(int step, int total) {
  if (step > 0) return step;
  int s = total / 10;
  if (s < 1) s = 1;
  if (s > 25) s = 25;
  return s;
}

void YieldWait(int step, int total) {
  const int s = YieldStep(step, total);
  const std::int64_t deadline = TickMs() + total;
  do {
    YieldX(s);
  } while (TickMs() < deadline);
}
