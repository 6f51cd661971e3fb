#pragma once
// What the work shows while it runs, and whether the user has ended it. The main window
// (driver/StubWin) fills one in and hands it over with SetStatusView when its loop starts;
// the install flow, the extraction, the transfer progress and the agent report through
// View() without knowing that window. Until one is set, View() is empty: no window, no
// status line, and the work is never ended.
#include <windows.h>

#include <string>

struct StatusView {
  // The window that shows the work (owner of boxes and of the inform window), its
  // progress bar and its activity bar (progress controls); null where there is none.
  HWND window = nullptr;
  HWND progressBar = nullptr;
  HWND activityBar = nullptr;
  // The status line, and what sets its text and font (face, character set, size in
  // points); null where there is none.
  HWND statusLine = nullptr;
  void (*setStatus)(HWND statusLine, const std::string& text, const std::string& fontName, int charset,
                    int fontSize) = nullptr;
  // The window's loop has ended (the user closed it): the work stops.
  bool loopEnded = false;
};

// Makes view (null: none) the one View() answers with; returns the previous one.
StatusView* SetStatusView(StatusView* view);
const StatusView& View();

// Shows or hides the view's window; sets its status line. Nothing where it has none.
// Inline at every call: a function of its own would cost more than its few instructions.
[[gnu::always_inline]] inline void ShowView(bool show) {
  if (HWND window = View().window) ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}
[[gnu::always_inline]] inline void SetViewStatus(const std::string& text, const std::string& fontName,
                                                 int charset, int fontSize) {
  const StatusView& view = View();
  if (view.setStatus) view.setStatus(view.statusLine, text, fontName, charset, fontSize);
}
