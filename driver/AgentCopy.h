#pragma once
// The plain agent's work: it makes and starts the working copy ("X_" + its name) and
// hands the requests of its command line to the copy's window as messages.

// Copies the agent to "X_" + its name beside it and starts the copy (hidden), unless a
// working copy runs and "/_ZZ=99" is absent. "/WAIT=" seconds are waited first (pumping
// messages), "/TRANSIENT=" and "/DELAY=" go on as "/TRANSIENTx=" and "/SleepX=". With
// arguments on the command line, waits up to 3 s for the copy's window so that
// HandleParamOK can reach it. Returns xExeIsRunning unchanged.
bool CreateAndRun_X_Exe(bool xExeIsRunning);

// Forwards "/STOP=" (wm_ShutDown), "/WM_MSG=" (wm_LocalMsg) and "/TEST=" (wm_AgentMsg 31,
// and wm_ShutDown 2 to a copy only just started) to the working copy's window; applies
// "/TRANSIENTx=" to the overrides. True when a request was forwarded.
bool HandleParamOK(bool xExeIsRunning);
