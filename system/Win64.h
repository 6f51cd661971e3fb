#pragma once
// Whether the 32-bit stub runs on 64-bit Windows, found with entry points looked up at
// run time so that the stub still starts on systems that lack them; and the system
// libraries loaded at start-up. The 64-bit stub is on 64-bit Windows by its nature: it
// runs under no emulation layer (IsWow64 reports false) and no folder is redirected for it.
#include <windows.h>

bool NativeSystemInfo(SYSTEM_INFO& info);
bool IsWow64(HANDLE process, bool& flag);
bool HasFsRedirection();
bool Is64BitWindows();

// The registry view passed by most registry readers of the program (always false).
extern bool UseRegistry64View;

// Loads shell32, USP10, MSLS31 and RICHED32 (in this order) for the life of the process,
// without error boxes for missing files. Call after RestrictDllSearch.
void Win64StartUp();
