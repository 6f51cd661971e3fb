#include "system/Win64.h"

#include "system/DllSafety.h"

bool UseRegistry64View = false;

namespace {

// 255 not yet looked up, 0 absent, 1 present.
constexpr unsigned char kUnknown = 255;

bool KernelHas(const char* name) { return KernelProc<FARPROC>(name) != nullptr; }

}  // namespace

bool NativeSystemInfo(SYSTEM_INFO& info) {
  static unsigned char state = kUnknown;
  static decltype(&::GetNativeSystemInfo) proc = nullptr;
  if (state == kUnknown) {
    proc = Z_KERNEL_PROC(GetNativeSystemInfo);
    state = proc ? 1 : 0;
  }
  if (!proc) return false;
  ZeroMemory(&info, sizeof info);
  proc(&info);
  return true;
}

bool IsWow64(HANDLE process, bool& flag) {
  static unsigned char state = kUnknown;
  static decltype(&::IsWow64Process) proc = nullptr;
  if (state == kUnknown) {
    proc = Z_KERNEL_PROC(IsWow64Process);
    state = proc ? 1 : 0;
  }
  flag = false;
  if (!proc) return false;
  BOOL wow = FALSE;
  BOOL ok = proc(process, &wow);
  flag = wow != FALSE;
  return ok != FALSE;
}

bool HasFsRedirection() {
#ifdef _WIN64
  // The system folder is redirected only for 32-bit processes: a 64-bit one has nothing
  // to switch off, whatever kernel32 exports.
  return false;
#endif
  static unsigned char state = kUnknown;
  if (state == kUnknown)
    state = KernelHas("Wow64DisableWow64FsRedirection") && KernelHas("Wow64RevertWow64FsRedirection") ? 1 : 0;
  return state == 1;
}

bool Is64BitWindows() {
#ifdef _WIN64
  return true;  // a 64-bit process runs on 64-bit Windows only
#endif
  static unsigned char state = kUnknown;
  if (state != kUnknown) return state == 1;
  bool result = false;
  SYSTEM_INFO info;
  bool wow = false;
  if (NativeSystemInfo(info) && IsWow64(GetCurrentProcess(), wow) && wow && HasFsRedirection() &&
      KernelHas("GetSystemWow64DirectoryA"))
    result = ProcAddress<FARPROC>(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA") != nullptr;
  state = result ? 1 : 0;
  return result;
}

void Win64StartUp() {
  for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"}) {
    UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    LoadSystemLibrary(name);  // stays loaded for the life of the process; failures ignored
    SetErrorMode(previous);
  }
}
