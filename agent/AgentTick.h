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
// kAgentRegistryKey, read again when forced or 30 s after the last check.
constexpr const char kAgentRegistryKey[] = "HKEY_CURRENT_USER\\Software\\Brenmoor\\Zorvik\\AutoUpdate";
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
