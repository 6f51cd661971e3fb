#include "ui/StatusView.h"

namespace {

struct StatusViewState {
  StatusView none;  // while no window shows the work: a tool, a test, an agent before its window
  StatusView* current = nullptr;
};
StatusViewState state;

}  // namespace

StatusView* SetStatusView(StatusView* view) {
  StatusView* previous = state.current;
  state.current = view;
  return previous;
}

const StatusView& View() {
  return state.current ? *state.current : state.none;
}

void ShowView(bool show) {
  if (HWND window = View().window) ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}

void SetViewStatus(const std::string& text, const std::string& fontName, int charset, int fontSize) {
  if (auto setStatus = View().setStatus) setStatus(text, fontName, charset, fontSize);
}
