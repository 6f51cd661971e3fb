#pragma once
// The agent's side of the message protocol with host applications: the registered client
// window and its notifications, and the agent commands that arrive as wm_AgentMsg.
#include <windows.h>

#include <cstdint>

// Notification codes posted to the client (wParam; lParam is the value).
constexpr WPARAM kNotifyInfoFetch = 40;   // 1 start, 2 end of the ".info" fetch
constexpr WPARAM kNotifyDownload = 41;    // 1 start, 2 end of the update or inform download
constexpr WPARAM kNotifyInstall = 42;     // 1 start, 2 end of running the update
constexpr WPARAM kNotifyLoopEnded = 43;   // the agent's message loop has ended
constexpr WPARAM kNotifyWindow = 50;      // the agent's main window handle
constexpr WPARAM kNotifyAgentMsg = 51;    // the number of wm_AgentMsg

// wm_LocalMsg: the client window and its message; a later registration replaces it.
void RegisterClient(HWND window, UINT message);
// Posts (never sends) the client message with wParam code and lParam value; dropped
// while no client window or message is registered.
void NotifyClient(WPARAM code, LPARAM value);

// wm_AgentMsg: types 4..15 read or write the records, 20..25 set overrides, 30..32 steer
// the agent (agent/AgentStateLogic); others do nothing. Values read are cut to 32 bits.
std::int32_t AgentCommand(std::int32_t type, std::int64_t value);
