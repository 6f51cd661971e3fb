#include "internet/ZProgBar.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "system/WinUtils.h"
#include "ui/StatusView.h"
#include "ui/ZMsgBox.h"

namespace {

// One dispatch of whatever is waiting, no pause; at most every 10 ms: a download hands
// the bar a step and a text after every chunk of 8 KB.
void PumpOnce() { YieldWhenDue(); }

constexpr int kActivitySteps = 5;

// Steps come once per extracted file, thousands a second: the bars take them at a human
// rate. Steps not yet handed to the bars wait in pendingSteps; they go to the controls
// when this much time has passed since the last hand-over, and always before anything
// else is shown.
constexpr std::int64_t kShowEveryMs = 30;

struct ZProgBarState {
  int activityCount = 0;
  int pendingSteps = 0;
  // The step the bar was given (PBM_GETSTEP needs a newer comctl32); 10 is its default.
  std::int64_t barStep = 10;
  std::int64_t lastShown = 0;
};
ZProgBarState state;

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
  state.lastShown = TickMs();
  if (state.pendingSteps == 0) return;
  const int steps = state.pendingSteps;
  state.pendingSteps = 0;
  if (HWND progressBar = View().progressBar) {
    const bool visible = IsWindowVisible(progressBar);
    if (visible) SendMessageA(progressBar, WM_SETREDRAW, FALSE, 0);
    // Within the range, one move for all steps: a message per step cost more than the
    // download's own work per chunk under Wine (hundreds of steps every 30 ms). Past its
    // end, step by step, so that the control wraps around as it does for each single step.
    const auto position = static_cast<std::int64_t>(SendMessageA(progressBar, PBM_GETPOS, 0, 0));
    const auto max = static_cast<std::int64_t>(SendMessageA(progressBar, PBM_GETRANGE, FALSE, 0));
    if (state.barStep >= 0 && position + steps * state.barStep <= max)
      SendMessageA(progressBar, PBM_SETPOS, static_cast<WPARAM>(position + steps * state.barStep), 0);
    else
      for (int i = 0; i < steps; ++i) SendMessageA(progressBar, PBM_STEPIT, 0, 0);
    if (visible) {
      SendMessageA(progressBar, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(progressBar, nullptr, FALSE);
    }
  }
  if (HWND activityBar = View().activityBar)
    ChangeBar(activityBar, PBM_SETPOS, static_cast<WPARAM>(state.activityCount));
}

}  // namespace

void ShowProgressNow() {
  ShowPendingSteps();
  if (HWND progressBar = View().progressBar) UpdateWindow(progressBar);
  if (HWND activityBar = View().activityBar) UpdateWindow(activityBar);
}

void ShowProgressWhenDue() {
  if (state.pendingSteps > 0 && TickMs() - state.lastShown >= kShowEveryMs) ShowPendingSteps();
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
    state.pendingSteps = 0;  // the new range sets the position itself
    state.lastShown = TickMs();
    if (HWND progressBar = View().progressBar) {
      // The 32-bit range: a maximum above 65,535 (files, download chunks) keeps its upper bits.
      SendMessageA(progressBar, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
      SendMessageA(progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
      SendMessageA(progressBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
      state.barStep = step;
    }
    if (HWND activityBar = View().activityBar) {
      SendMessageA(activityBar, PBM_SETRANGE, 0, MAKELPARAM(0, kActivitySteps));
      SendMessageA(activityBar, PBM_SETPOS, 0, 0);
      SendMessageA(activityBar, PBM_SETSTEP, 1, 0);
    }
  } else if (kind == 1) {
    if (++state.activityCount > kActivitySteps) state.activityCount = 0;
    ++state.pendingSteps;
    ShowProgressWhenDue();
  }
}
