#include "internet/ZProgBar.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "driver/StubWin.h"
#include "ui/ZMsgBox.h"

namespace {

// One dispatch of whatever is waiting; no pause.
void PumpOnce() { YieldWait(0, 0); }

int ActivityCount = 0;
constexpr int kActivitySteps = 5;

// A progress control repaints itself at once on every change, a round trip to the display
// that cost milliseconds per extracted file. With its redraw off around the change it is
// only marked for painting, which the next pass of the message pump does.
void ChangeBar(HWND bar, UINT message, WPARAM wParam) {
  if (!IsWindowVisible(bar)) {  // nothing to paint (a hidden install, the activity bar unasked)
    SendMessageA(bar, message, wParam, 0);
    return;
  }
  SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
  SendMessageA(bar, message, wParam, 0);
  SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(bar, nullptr, FALSE);
}

}  // namespace

TProgBar::TProgBar(TProgDriver driver) : Driver(driver) {}

TProgBar::~TProgBar() { Finish(0, 0); }

void TProgBar::SetRange(int position, int max) {
  PumpOnce();
  if (Driver) Driver(0, 0, max, position, 1, std::string());
  PumpOnce();
}

void TProgBar::SetText(const std::string& text) {
  PumpOnce();
  if (Driver) Driver(1, 0, 0, 0, 0, text);
  PumpOnce();
}

void TProgBar::Finish(int waitBefore, int waitAfter) {
  if (waitBefore > 0) YieldWait(0, waitBefore);
  PumpOnce();
  if (Driver) Driver(0, 0, 0, 0, 1, std::string());
  PumpOnce();
  if (waitAfter > 0) YieldWait(0, waitAfter);
}

void TProgBar::SetCaption(const std::string&) { PumpOnce(); }

TProgBar& EnsureProgBar() {
  // Lives until the process ends; never destroyed, so no Finish runs at exit.
  static TProgBar* bar = new TProgBar(ProgressCallback);
  return *bar;
}

void ProgressCallback(int kind, int min, int max, int position, int step, const std::string&) {
  if (kind == 0) {
    if (ProgressBar) {
      // The 32-bit range: a maximum above 65,535 (files, download chunks) keeps its upper bits.
      SendMessageA(ProgressBar, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
      SendMessageA(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
      SendMessageA(ProgressBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
    }
    if (ActivityBar) {
      SendMessageA(ActivityBar, PBM_SETRANGE, 0, MAKELPARAM(0, kActivitySteps));
      SendMessageA(ActivityBar, PBM_SETPOS, 0, 0);
      SendMessageA(ActivityBar, PBM_SETSTEP, 1, 0);
    }
  } else if (kind == 1) {
    if (ProgressBar) ChangeBar(ProgressBar, PBM_STEPIT, 0);
    if (++ActivityCount > kActivitySteps) ActivityCount = 0;
    if (ActivityBar) ChangeBar(ActivityBar, PBM_SETPOS, static_cast<WPARAM>(ActivityCount));
  }
}
