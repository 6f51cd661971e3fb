#include "system/ProcessViewer.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <map>

#include "system/DllSafety.h"
#include "system/ExecPipe.h"
#include "system/ProcessLogic.h"
#include "system/Utils.h"
#include "system/WinHandles.h"
#include "system/WinUtils.h"
#include "system/ZSub.h"

namespace {

// Tool-help entry points, looked up in kernel32 on first use.
struct Toolhelp {
  decltype(&CreateToolhelp32Snapshot) snapshot = nullptr;
  decltype(&Process32First) first = nullptr;
  decltype(&Process32Next) next = nullptr;
  bool ok() const { return snapshot && first && next; }
};

const Toolhelp& ToolhelpApi() {
  static const Toolhelp api = [] {
    Toolhelp t;
    t.snapshot = Z_KERNEL_PROC(CreateToolhelp32Snapshot);
    t.first = Z_KERNEL_PROC(Process32First);
    t.next = Z_KERNEL_PROC(Process32Next);
    return t;
  }();
  return api;
}

// Process-status entry points from PSAPI.dll, loaded on first use for the life of the process.
struct Psapi {
  UniqueLibrary library;
  // psapi.h's names are macros for the K32 entries of kernel32 on newer systems; the
  // types are the same, and PSAPI.dll exports the plain names everywhere.
  decltype(&::EnumProcesses) enumProcesses = nullptr;
  decltype(&::EnumProcessModules) enumModules = nullptr;
  decltype(&::GetModuleFileNameExA) fileNameEx = nullptr;
  decltype(&::GetModuleBaseNameA) baseName = nullptr;
  bool ok() const { return enumProcesses && enumModules && fileNameEx && baseName; }
};

const Psapi& PsapiApi() {
  static const Psapi api = [] {
    Psapi p;
    p.library.reset(LoadSystemLibrary("PSAPI.dll"));
    HMODULE m = p.library.get();
    p.enumProcesses = Z_PROC(m, EnumProcesses);
    p.enumModules = Z_PROC(m, EnumProcessModules);
    p.fileNameEx = Z_PROC(m, GetModuleFileNameExA);
    p.baseName = Z_PROC(m, GetModuleBaseNameA);
    return p;
  }();
  return api;
}

// Calls visit(entry) for every process of a fresh snapshot until it returns false.
template <typename Visit>
void ForEachProcess(Visit visit) {
  const Toolhelp& api = ToolhelpApi();
  if (!api.ok()) return;
  UniqueHandle snapshot(api.snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = api.first(snapshot.get(), &entry); more; more = api.next(snapshot.get(), &entry)) {
    if (!visit(entry)) break;
  }
}

std::map<DWORD, std::string> ProcessNames() {
  std::map<DWORD, std::string> names;
  ForEachProcess([&](const PROCESSENTRY32& e) {
    names[e.th32ProcessID] = e.szExeFile;
    return true;
  });
  return names;
}

// Short form for comparisons: a text that matches nothing when there is none.
std::string ShortOr(const std::string& path, const char* none) {
  std::string s = ShortPathOf(path);
  return s.empty() ? none : s;
}

struct EnumContext {
  TProcessData* data;
  std::map<DWORD, std::string> names;
};

BOOL CALLBACK RecordWindow(HWND window, LPARAM param) {
  auto* ctx = reinterpret_cast<EnumContext*>(param);
  TProcessData& d = *ctx->data;
  DWORD pid = 0;
  const DWORD thread = GetWindowThreadProcessId(window, &pid);
  auto it = ctx->names.find(pid);
  const std::string name = it == ctx->names.end() ? "" : it->second;
  if (d.allWindows || !SUB::ContainsItem(d.names, name, true)) {
    d.pids += std::to_string(pid) + "|";
    d.names += name + "|";
    d.classes += WindowClassName(window) + "|";
    d.handles += std::to_string(reinterpret_cast<std::uintptr_t>(window)) + "|";
    d.threads += std::to_string(thread) + "|";
    d.titles += WindowText(window) + "|";
    d.visible += std::string(1, BoolToDigit(IsWindowVisible(window) != 0)) + "|";
  }
  if (!d.allWindows && ((!name.empty() && name == d.targetName) || pid == d.targetPid)) return FALSE;
  return TRUE;
}

}  // namespace

std::string ShortPathOf(const std::string& path) {
  if (path.empty()) return "";
  char buffer[MAX_PATH + 1];
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  if (n == 0 || n >= sizeof(buffer)) return "";
  return std::string(buffer, n);
}

std::string ExeNameOfWindow(HWND window) {
  DWORD pid = 0;
  if (!window || !GetWindowThreadProcessId(window, &pid)) return "";
  std::string name;
  ForEachProcess([&](const PROCESSENTRY32& e) {
    if (e.th32ProcessID != pid) return true;
    name = e.szExeFile;
    return false;
  });
  return name;
}

void EnumWindowsData(bool allWindows, const std::string& targetName, DWORD targetPid, TProcessData& data) {
  data = TProcessData();
  data.allWindows = allWindows;
  data.targetName = targetName;
  data.targetPid = targetPid;
  // One snapshot for the whole enumeration rather than one per window.
  EnumContext ctx{&data, ProcessNames()};
  EnumWindows(RecordWindow, reinterpret_cast<LPARAM>(&ctx));
}

std::string ListProcessWindows(bool withPids, bool withHandles) {
  TProcessData data;
  EnumWindowsData(true, "", 0, data);
  if (withPids) return SUB::JoinKeyValues(data.names, data.pids, true);
  if (withHandles) return SUB::JoinKeyValues(data.names, data.handles, true);
  return data.names;
}

DWORD FindPidByTasklist(const std::string& exeName, bool fromEnd) {
  std::string errors, output;
  DWORD exitCode = 0;
  // From the system folder by full path: a bare name would first be looked for beside
  // the (elevated) stub and in the current folder, where anyone may have put one.
  // Wine's tasklist.exe (8.0) prints nothing, so under Wine this finds no process.
  const std::string systemFolder = SystemFolder(true);
  if (systemFolder.empty()) return 0;
  RunConsole(systemFolder + "tasklist.exe", "/FO csv", SW_HIDE, 1, errors, output, exitCode);
  return PidFromTasklist(output, exeName, fromEnd);
}

DWORD FindPidByToolhelp(const std::string& exe, bool fullPathOnly, bool stopAtFirst) {
  if (exe.empty()) return 0;
  const std::string shortExe = ShortOr(exe, "*XX*");
  DWORD found = 0;
  ForEachProcess([&](const PROCESSENTRY32& e) {
    const std::string entry = e.szExeFile;
    const std::string name = fullPathOnly ? "*X*" : ExtractFileName(entry);
    if (SameTextTrim(entry, exe) || SameTextTrim(name, exe) || SameTextTrim(ShortOr(entry, "*E*"), shortExe)) {
      found = e.th32ProcessID;
      if (stopAtFirst) return false;
    }
    return true;
  });
  return found;
}

std::vector<DWORD> EnumProcessIds() {
  std::vector<DWORD> ids;
  const Psapi& api = PsapiApi();
  if (!api.enumProcesses) return ids;
  DWORD bytes = 0;
  for (std::size_t size = 1024 / sizeof(DWORD);; size += 1024 / sizeof(DWORD)) {
    ids.assign(size, 0);
    if (!api.enumProcesses(ids.data(), static_cast<DWORD>(size * sizeof(DWORD)), &bytes)) {
      ids.clear();
      return ids;
    }
    if (bytes < size * sizeof(DWORD)) break;
  }
  ids.resize(bytes / sizeof(DWORD));
  return ids;
}

bool IsPidAlive(DWORD pid) {
  for (DWORD id : EnumProcessIds())
    if (id == pid) return true;
  return false;
}

DWORD FindPidByPsapi(const std::string& exe, bool fullPathOnly, bool keepLast) {
  const Psapi& api = PsapiApi();
  if (!api.ok() || exe.empty()) return 0;
  const std::string shortExe = ShortOr(exe, "*XX*");
  const std::vector<DWORD> ids = EnumProcessIds();
  DWORD found = 0;
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, *it));
    if (!process) continue;
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!api.enumModules(process.get(), &module, sizeof(module), &needed) || !module) continue;
    char buffer[MAX_PATH + 1];
    DWORD n = api.fileNameEx(process.get(), module, buffer, MAX_PATH);
    const std::string path(buffer, n > MAX_PATH ? 0 : n);
    n = api.baseName(process.get(), module, buffer, MAX_PATH);
    const std::string base = fullPathOnly ? "*X*" : std::string(buffer, n > MAX_PATH ? 0 : n);
    if (SameTextTrim(path, exe) || SameTextTrim(base, exe) || SameTextTrim(ShortOr(path, "*P*"), shortExe)) {
      found = *it;
      if (!keepLast) break;
    }
  }
  return found;
}

DWORD FindPidByWindows(const std::string& exe) {
  const std::string name = ExtractFileName(exe);
  if (Trim(name).empty()) return 0;
  // The short form of the name as it lies in exe's folder (relative to the current
  // directory when exe has none), and each listed name resolved the same way: the list
  // carries bare names, so a short name can only be matched through that folder.
  const std::string folder = ExtractFilePath(exe);
  const std::string shortName = ExtractFileName(ShortOr(exe, "*XX*"));
  const std::string list = SUB::ReverseItems(ListProcessWindows(true, false));
  std::string names, pids;
  SUB::SplitKeyValues(list, names, pids);
  const int count = SUB::CountItems(names);
  for (int i = 0; i < count; ++i) {
    const std::string listed = SUB::GetItem(names, i);
    if (listed.empty()) continue;
    if (SameTextTrim(listed, name) || SameTextTrim(ExtractFileName(ShortOr(folder + listed, "*N*")), shortName)) {
      std::int64_t pid = 0;
      if (TryParseInt64(SUB::GetItem(pids, i), pid) && pid > 0) return static_cast<DWORD>(pid);
    }
  }
  return 0;
}
