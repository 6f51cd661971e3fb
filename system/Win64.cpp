#include "system/Win64.h"

#include "driver/DllSafety.h"

bool UseRegistry64View = false;

namespace {

// 255 not yet looked up, 0 absent, 1 present.
constexpr unsigned char kUnknown = 255;

FARPROC KernelProc(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Fn>
Fn ToFn(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

bool NativeSystemInfo(SYSTEM_INFO& info) {
  using Fn = void(WINAPI*)(LPSYSTEM_INFO);
  static unsigned char state = kUnknown;
  static Fn proc = nullptr;
  if (state == kUnknown) {
    proc = ToFn<Fn>(KernelProc("GetNativeSystemInfo"));
    state = proc ? 1 : 0;
  }
  if (!proc) return false;
  ZeroMemory(&info, sizeof info);
  proc(&info);
  return true;
}

bool IsWow64(HANDLE process, bool& flag) {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static unsigned char state = kUnknown;
  static Fn proc = nullptr;
  if (state == kUnknown) {
    proc = ToFn<Fn>(KernelProc("IsWow64Process"));
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
  static unsigned char state = kUnknown;
  if (state == kUnknown)
    state = KernelProc("Wow64DisableWow64FsRedirection") && KernelProc("Wow64RevertWow64FsRedirection") ? 1 : 0;
  return state == 1;
}

bool Is64BitWindows() {
  static unsigned char state = kUnknown;
  if (state != kUnknown) return state == 1;
  bool result = false;
  SYSTEM_INFO info;
  bool wow = false;
  if (NativeSystemInfo(info) && IsWow64(GetCurrentProcess(), wow) && wow && HasFsRedirection() &&
      KernelProc("GetSystemWow64DirectoryA")) {
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    result = advapi && GetProcAddress(advapi, "RegDeleteKeyExA");
  }
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
