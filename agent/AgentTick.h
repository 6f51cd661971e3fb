#pragma once
// The agent's timer tick and the probe it leads to: every second the working copy's main
// window calls AgentTimerTick, which decides whether a probe is due, fetches the ".info"
// record, decides with GetOkToPerformAU and hands over to the update or the inform.
#include <cstdint>
#include <string>

// The tick (steps in the order they run). Re-entered ticks, which arrive while a probe
// waits in a message box or a download, return at once.
void AgentTimerTick();

// Test mode from the registry values "TestMode", "TestModeDate" and "TestModeURL" under
// TestModeRegistryKey (the machine's key for an elevated agent, else the user's), read
// again when forced (at the start, each probe question and each probe) or when more than
// 30 s have passed since the previous call; every call counts as a check, so with the
// tick calling it every second the unforced read happens only after a tick held up that
// long (a probe waiting in a box or a download).
bool CheckTestMode(bool force);

// 0 not due, 1 due, 2 due once (see ShotTimeStatusFor).
int ShotTimeStatus();
// The probe question; any answer but Yes sets status to 0.
void AskBeforeProbe(int& status);
// One probe: fetch the ".info" record, decide, act; a manual check ends with an answer.
void PerformShot();
// The decision over both records; stage 0..6 and its text; true at stage 6.
bool GetOkToPerformAU(bool infoOK, int& stage, std::string& reason);
// The published file's size (from the base folder, else over HTTP) is within 100 bytes
// of the recorded one.
bool UpdateSizeOK(const std::string& url, const std::string& updateName, const std::string& informName);
// Agent command 32: the ".info" fetch alone.
void FetchInfoOnly();
