#pragma once
// Small helpers shared by the tests that run under Wine.
#include <windows.h>

#include <string>

// Handles this process holds, counted from the system's handle list
// (GetProcessHandleCount answers 0 under Wine).
DWORD HandleCount();

// The whole content of a file, or "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::string& name);
