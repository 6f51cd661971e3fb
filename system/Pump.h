#pragma once
// The message pump of every wait: the stub's work runs on its one thread, so a wait that
// does not pump freezes the windows. Declared here so that the file and process helpers
// reach it; the install flow sees it through ui/ZMsgBox.h.

// Removes and dispatches every message waiting in the calling thread's queue, then
// sleeps ms milliseconds. Exceptions from message handlers are traced, not passed on.
void YieldX(int ms);

// Keeps the user interface alive for total milliseconds, pumping in steps of step ms
// (step 0: total / 10, clamped to 1..25; the last step only what is left). Pumps at
// least once.
void YieldWait(int step, int total);

// A pass of YieldX(0) when 10 ms have passed since the last pass made here, else
// nothing: for loops that would pump thousands of times a second (extraction, downloads).
// A pass costs a round trip to the window system and a yield to every ready thread, while
// 10 ms keep the window as responsive as a person can tell.
void YieldWhenDue();

// The step YieldWait pumps with.
int YieldStep(int step, int total);
