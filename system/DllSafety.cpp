#include "system/DllSafety.h"

namespace {

struct DllSafetyState {
  bool restricted = false;
};
DllSafetyState state;

}  // namespace

bool RestrictDllSearch() {
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  // Looked up at run time: systems without the DLL-directory update lack both.
  auto setDefault = Z_KERNEL_PROC(SetDefaultDllDirectories);
  state.restricted = setDefault != nullptr && setDefault(kSearchSystem32) != FALSE;
  // Takes the current folder out of the legacy search order as well (dependencies of
  // libraries loaded by full path on systems without the restriction).
  if (auto setDirectory = Z_KERNEL_PROC(SetDllDirectoryA)) setDirectory("");
  return state.restricted;
}

bool DllSearchRestricted() {
  return state.restricted;
}

HMODULE LoadSystemLibrary(const std::string& name) {
  // Bare names only: a relative path would resolve against the current folder.
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name.find('\0') != std::string::npos)
    return nullptr;
  if (state.restricted) return LoadLibraryA(name.c_str());
  char folder[MAX_PATH + 1] = {};
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return nullptr;
  std::string path(folder, length);
  if (path.back() != '\\') path += '\\';
  // The altered search order looks for the library's own imports in the system folder
  // first instead of in the program's folder.
  return LoadLibraryExA((path + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
