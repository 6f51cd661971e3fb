# Source lists shared by the native and the Windows build.
# Portable code: no <windows.h>; built natively (with sanitizers) and for Windows.
set(Z_PORTABLE_SOURCES
  system/ZSub.cpp
  system/Utils.cpp
  system/CommandLine.cpp
)

# Code that talks to Win32; built only for Windows.
set(Z_WINDOWS_SOURCES
  system/Win64.cpp
  system/WinUtils.cpp
  driver/DllSafety.cpp
)

# The stub's entry point and resources.
set(Z_STUB_MAIN driver/Stub.cpp)
set(Z_STUB_RESOURCES res/ZStub.rc)
