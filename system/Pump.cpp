#include "system/Pump.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <exception>

#include "system/WinUtils.h"
#include "system/ZDebug.h"

namespace {

struct PumpState {
  std::int64_t lastPass = 0;  // YieldWhenDue's last pass
};
PumpState state;

}  // namespace

void YieldX(int ms) {
  try {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);  // a quit posted to a window reaches its handler
      if (msg.message == WM_QUIT) {
        // Not ours to take: the loop that waits for it outside this wait must still see it.
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
    }
  } catch (const std::exception& e) {
    TraceException(e, "YieldX");
  } catch (...) {
    Output() << ExceptionLine("YieldX", "", "unknown exception") << EndLine;
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

void YieldWhenDue() {
  constexpr std::int64_t kPumpEveryMs = 10;
  if (TickMs() - state.lastPass < kPumpEveryMs) return;
  YieldX(0);
  state.lastPass = TickMs();
}

void YieldWait(int step, int total) {
  const int s = YieldStep(step, total);
  const std::int64_t deadline = TickMs() + total;
  std::int64_t left = total;
  // The last pass sleeps only what is left: a full step there made every wait of the
  // install flow up to a step longer than its total.
  do {
    YieldX(static_cast<int>(std::min<std::int64_t>(s, left)));
    left = deadline - TickMs();
  } while (left > 0);
}
