#pragma once
// The stub's own message box and the message pump that every wait uses.
#include <cstdint>

// Removes and dispatches every message waiting in the calling thread's queue, then
// sleeps ms milliseconds. Exceptions from message handlers are traced, not passed on.
void YieldX(int ms);

// Keeps the user interface alive for total milliseconds, pumping in steps of step ms
// (step 0: total / 10, clamped to 1..25). Pumps at least once.
void YieldWait(int step, int total);

// The step YieldWait pumps with.
int YieldStep(int step, int total);
