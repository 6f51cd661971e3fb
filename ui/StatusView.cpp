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

void SetViewStatus(const std::string& text, const std::string& fontName, int charset, int fontSize) {
  const StatusView& view = View();
  if (view.setStatus) view.setStatus(view.statusLine, text, fontName, charset, fontSize);
}
