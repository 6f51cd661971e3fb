// Entry point of ZStub.exe.
#include <windows.h>

#include "driver/DllSafety.h"
#include "system/Win64.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: never from the folder the stub was started in.
  RestrictDllSearch();
  Win64StartUp();
  return 0;
}
