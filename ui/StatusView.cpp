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
