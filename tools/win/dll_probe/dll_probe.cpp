// Test driver for the DLL-planting test: loads libraries the way the stub must not (a
// bare LoadLibraryA, the control that shows a planted DLL is seen) and the way it does.
//
//   dll_probe bare NAME...        LoadLibraryA(NAME) with the default search order
//   dll_probe restricted NAME...  RestrictDllSearch, then LoadSystemLibrary(NAME)
//   dll_probe fallback NAME...    LoadSystemLibrary(NAME) without the restriction (the
//                                 path taken on systems without SetDefaultDllDirectories)
//
// Prints "NAME<TAB>path of the loaded module" for each; exit code 0 when every library
// was loaded, 1 otherwise, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "system/DllSafety.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string mode = argv[1];
  if (mode != "bare" && mode != "restricted" && mode != "fallback") return 2;
  if (mode == "restricted" && !RestrictDllSearch()) std::printf("restriction not available\n");
  int result = 0;
  for (int i = 2; i < argc; ++i) {
    HMODULE module = mode == "bare" ? LoadLibraryA(argv[i]) : LoadSystemLibrary(argv[i]);
    char path[MAX_PATH + 1] = {};
    if (module) GetModuleFileNameA(module, path, MAX_PATH);
    std::printf("%s\t%s\n", argv[i], module ? path : "(not loaded)");
    if (!module) result = 1;
  }
  return result;
}
