#include "internet/ZProgBar.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "driver/StubWin.h"
#include "system/WinUtils.h"
#include "ui/ZMsgBox.h"

namespace {

// One dispatch of whatever is waiting, no pause; at most every 10 ms: a download hands
// the bar a step and a text after every chunk of 8 KB.
void PumpOnce() { YieldWhenDue(); }

int ActivityCount = 0;
constexpr int kActivitySteps = 5;

// Steps come once per extracted file, thousands a second: the bars take them at a human
// rate. Steps not yet handed to the bars wait here; they go to the controls when this much
// time has passed since the last hand-over, and always before anything else is shown.
constexpr std::int64_t kShowEveryMs = 30;
int PendingSteps = 0;
// The step the bar was given (PBM_GETSTEP needs a newer comctl32); 10 is its default.
std::int64_t BarStep = 10;
std::int64_t LastShown = 0;

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

// Hands the pending steps to the bars (marked for painting by the next pump pass).
void ShowPendingSteps() {
  LastShown = TickMs();
  if (PendingSteps == 0) return;
  const int steps = PendingSteps;
  PendingSteps = 0;
  if (ProgressBar) {
    const bool visible = IsWindowVisible(ProgressBar);
    if (visible) SendMessageA(ProgressBar, WM_SETREDRAW, FALSE, 0);
    // Within the range, one move for all steps: a message per step cost more than the
    // download's own work per chunk under Wine (hundreds of steps every 30 ms). Past its
    // end, step by step, so that the control wraps around as it does for each single step.
    const auto position = static_cast<std::int64_t>(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0));
    const auto max = static_cast<std::int64_t>(SendMessageA(ProgressBar, PBM_GETRANGE, FALSE, 0));
    if (BarStep >= 0 && position + steps * BarStep <= max)
      SendMessageA(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position + steps * BarStep), 0);
    else
      for (int i = 0; i < steps; ++i) SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
    if (visible) {
      SendMessageA(ProgressBar, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(ProgressBar, nullptr, FALSE);
    }
  }
  if (ActivityBar) ChangeBar(ActivityBar, PBM_SETPOS, static_cast<WPARAM>(ActivityCount));
}

}  // namespace

void ShowProgressNow() {
  ShowPendingSteps();
  if (ProgressBar) UpdateWindow(ProgressBar);
  if (ActivityBar) UpdateWindow(ActivityBar);
}

void ShowProgressWhenDue() {
  if (PendingSteps > 0 && TickMs() - LastShown >= kShowEveryMs) ShowPendingSteps();
}

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
  ShowProgressNow();  // the last step stays in view through the pause
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
    PendingSteps = 0;  // the new range sets the position itself
    LastShown = TickMs();
    if (ProgressBar) {
      // The 32-bit range: a maximum above 65,535 (files, download chunks) keeps its upper bits.
      SendMessageA(ProgressBar, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
      SendMessageA(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
      SendMessageA(ProgressBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
      BarStep = step;
    }
    if (ActivityBar) {
      SendMessageA(ActivityBar, PBM_SETRANGE, 0, MAKELPARAM(0, kActivitySteps));
      SendMessageA(ActivityBar, PBM_SETPOS, 0, 0);
      SendMessageA(ActivityBar, PBM_SETSTEP, 1, 0);
    }
  } else if (kind == 1) {
    if (++ActivityCount > kActivitySteps) ActivityCount = 0;
    ++PendingSteps;
    ShowProgressWhenDue();
  }
}
