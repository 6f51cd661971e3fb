// procstat: prints what a running process holds, as "key=value" lines:
//
//   procstat.exe PID|NAME   (a decimal Windows process id, as the trace lines begin, or
//                            the file name of the executable: its first process)
//
//   working_set=BYTES  peak_working_set=BYTES  private_bytes=BYTES  pagefile=BYTES
//   handles=N     GetProcessHandleCount, else its handles in the system's handle list
//                 (Wine answers only the latter)
//   windows=N     its top-level windows, hidden ones included
//   gdi=N user=N  GetGuiResources (0 under Wine)
//
// Exit 0, or 1 when the process cannot be opened (it has ended).
#include <windows.h>
#include <psapi.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Entry points looked up at run time (not every system has them), typed from the SDK's
// own declarations.
template <typename Fn>
Fn Lookup(const char* library, const char* name) {
  HMODULE module = LoadLibraryA(library);
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
#define LOOKUP(library, function) Lookup<decltype(&::function)>(library, #function)

DWORD ProcessIdOf(const char* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD pid = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && !pid; more = Process32Next(snapshot, &entry))
    if (lstrcmpiA(entry.szExeFile, name) == 0) pid = entry.th32ProcessID;
  CloseHandle(snapshot);
  return pid;
}

// The process's entries in the system handle list (NtQuerySystemInformation, class 16).
long HandlesInSystemList(DWORD pid) {
  struct Entry {
    USHORT ownerPid;
    USHORT backTrace;
    UCHAR type;
    UCHAR attributes;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  auto query = LOOKUP("ntdll.dll", NtQuerySystemInformation);
  if (!query) return -1;
  for (ULONG size = 1 << 20; size <= (1u << 28); size *= 2) {
    std::vector<char> buffer(size);
    ULONG needed = 0;
    const LONG status = query(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(), size, &needed);
    if (status == static_cast<LONG>(0xC0000004)) continue;  // STATUS_INFO_LENGTH_MISMATCH
    if (status != 0) return -1;
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG i = 0; i < count && sizeof(ULONG_PTR) + (i + 1) * sizeof(Entry) <= size; ++i)
      if (entries[i].ownerPid == static_cast<USHORT>(pid)) ++mine;
    return mine;
  }
  return -1;
}

struct WindowCount {
  DWORD pid;
  long count;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
  auto* counted = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == counted->pid) ++counted->count;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: procstat PID\n", stderr);
    return 2;
  }
  char* end = nullptr;
  DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], &end, 10));
  if (*end) pid = ProcessIdOf(argv[1]);
  std::printf("pid=%lu\n", static_cast<unsigned long>(pid));
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) {
    std::printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  DWORD exitCode = 0;
  if (GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE) {
    std::printf("exited=%lu\n", static_cast<unsigned long>(exitCode));
    CloseHandle(process);
    return 1;
  }
  auto memoryInfo = LOOKUP("psapi.dll", GetProcessMemoryInfo);
  auto handleCount = LOOKUP("kernel32.dll", GetProcessHandleCount);
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (memoryInfo &&
      memoryInfo(process, reinterpret_cast<PPROCESS_MEMORY_COUNTERS>(&counters), sizeof counters))
    std::printf("working_set=%lu\npeak_working_set=%lu\nprivate_bytes=%lu\npagefile=%lu\n",
                static_cast<unsigned long>(counters.WorkingSetSize),
                static_cast<unsigned long>(counters.PeakWorkingSetSize),
                static_cast<unsigned long>(counters.PrivateUsage),
                static_cast<unsigned long>(counters.PagefileUsage));
  DWORD handles = 0;
  if (!handleCount || !handleCount(process, &handles) || handles == 0)
    handles = static_cast<DWORD>(HandlesInSystemList(pid));
  std::printf("handles=%ld\n", static_cast<long>(handles));
  WindowCount windows{pid, 0};
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&windows));
  std::printf("windows=%ld\n", windows.count);
  std::printf("gdi=%lu\nuser=%lu\n", static_cast<unsigned long>(GetGuiResources(process, GR_GDIOBJECTS)),
              static_cast<unsigned long>(GetGuiResources(process, GR_USEROBJECTS)));
  CloseHandle(process);
  return 0;
}
