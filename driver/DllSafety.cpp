#include "driver/DllSafety.h"

namespace {
bool g_restricted = false;
}

bool RestrictDllSearch() {
  // Looked up at run time: older systems lack it, and those fall back to full paths.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                 reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  g_restricted = setDefault != nullptr && setDefault(kSearchSystem32) != FALSE;
  // Takes the current folder out of the legacy search order as well.
  SetDllDirectoryA("");
  return g_restricted;
}

bool DllSearchRestricted() { return g_restricted; }

HMODULE LoadSystemLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  if (g_restricted || name.find_first_of("\\/:") != std::string::npos) return LoadLibraryA(name.c_str());
  char folder[MAX_PATH + 1] = {};
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return nullptr;
  std::string path(folder, length);
  if (path.back() != '\\') path += '\\';
  return LoadLibraryA((path + name).c_str());
}
