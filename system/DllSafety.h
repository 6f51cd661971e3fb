#pragma once
// An installation file is usually started, elevated, from a downloads folder where
// anyone can drop a DLL. Every library the stub loads must come from the system folder.
#include <windows.h>
#include <string>

// Limits the DLL search of this process to the system folder (and the side-by-side
// store). Call first thing, before any library is loaded. True when the restriction
// is in force; on systems without SetDefaultDllDirectories, LoadSystemLibrary falls
// back to full system paths.
bool RestrictDllSearch();

// Whether RestrictDllSearch put the restriction in force.
bool DllSearchRestricted();

// An entry point found at run time as the function type Fn. Every entry point the
// program looks up at run time is converted here.
template <typename Fn>
Fn AsProc(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

// Entry point name of module as Fn; null when the module or the entry is missing.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
  return module ? AsProc<Fn>(GetProcAddress(module, name)) : nullptr;
}

// The same in kernel32, which every process has loaded.
template <typename Fn>
Fn KernelProc(const char* name) {
  return ProcAddress<Fn>(GetModuleHandleA("kernel32.dll"), name);
}

// The way to look an entry point up: typed from the SDK's own declaration of the
// function, so no pointer type is written by hand and a wrong one cannot compile.
// Name the real entry (the "A" or "W" one), not the SDK's macro:
//   auto get = Z_PROC(shfolder, SHGetFolderPathA);   // null when missing
#define Z_PROC(module, function) ProcAddress<decltype(&::function)>(module, #function)
#define Z_KERNEL_PROC(function) KernelProc<decltype(&::function)>(#function)
// The same through LoadProc (system/WinUtils.h), which loads the library at the moment of
// use and hands its module back to the caller to free.
#define Z_LOAD_PROC(library, function, module) \
  AsProc<decltype(&::function)>(LoadProc(library, #function, module))

// Loads a system library by its bare name ("RICHED32.DLL") without ever looking in the
// program's or the current folder. Null when it cannot be loaded or the name carries a
// path.
HMODULE LoadSystemLibrary(const std::string& name);
