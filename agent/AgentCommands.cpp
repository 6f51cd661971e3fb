#include "agent/AgentCommands.h"

#include "agent/AgentStateLogic.h"
#include "agent/SetupRecords.h"
#include "system/ZDebug.h"

namespace {

// The client registered with wm_LocalMsg: its window and the message it takes.
struct AgentCommandsState {
  HWND clientWindow = nullptr;
  UINT clientMessage = 0;
};
AgentCommandsState state;

}  // namespace

void RegisterClient(HWND window, UINT message) {
  state.clientWindow = window;
  state.clientMessage = message;
}

void NotifyClient(WPARAM code, LPARAM value) {
  if (!state.clientWindow || state.clientMessage == 0) return;
  PostMessageA(state.clientWindow, state.clientMessage, code, value);
}

std::int32_t AgentCommand(std::int32_t type, std::int64_t value) {
  switch (type) {
    case 4: return VersionOriginal();
    case 5: return VersionNew();
    case 7: return Agent.AgentState;
    case 8: return Cut32(ProbeSecondsInterval());
    case 9: return Cut32(ReAskSecondsInterval());
    case 10: return Cut32(ProbeSecondsLast());  // the low 32 bits: RecordTimeFromMessage
    case 11: return Cut32(ReAskSecondsLast());
    case 12: SetProbeSecondsInterval(value); return 0;
    case 13: SetReAskSecondsInterval(value); return 0;
    // Times come back in the message's 32 bits: a value read with 10 or 11 is written
    // back as the very time it was cut from.
    case 14: SetProbeSecondsLast(RecordTimeFromMessage(static_cast<std::int32_t>(value), RecordNow())); return 0;
    case 15: SetReAskSecondsLast(RecordTimeFromMessage(static_cast<std::int32_t>(value), RecordNow())); return 0;
    default: StateCommand(Agent, type, value); return 0;
  }
}
