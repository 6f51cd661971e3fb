#include <gtest/gtest.h>

#include <string>

#include "system/Utils.h"
#include "system/Win64.h"
#include "system/WinUtils.h"

namespace {

bool KernelHas(const char* name) { return GetProcAddress(GetModuleHandleA("kernel32.dll"), name) != nullptr; }

}  // namespace

TEST(Win64, AnswerFollowsTheEmulationFlagAndTheEntryPoints) {
  bool wow = false;
  bool known = IsWow64(GetCurrentProcess(), wow);
  SYSTEM_INFO info;
  ASSERT_TRUE(NativeSystemInfo(info));
  const bool expected = known && wow && HasFsRedirection() && KernelHas("GetSystemWow64DirectoryA") &&
                        GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA") != nullptr;
  const bool first = Is64BitWindows();
  EXPECT_EQ(first, expected);
  EXPECT_EQ(Is64BitWindows(), first);
  EXPECT_EQ(HasFsRedirection(),
            KernelHas("Wow64DisableWow64FsRedirection") && KernelHas("Wow64RevertWow64FsRedirection"));
  // The native processor agrees with the answer: a 32-bit process on 64-bit Windows
  // sees an x64 (or ARM64) machine, on 32-bit Windows an x86 one.
  if (first) {
    EXPECT_NE(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    char folder[MAX_PATH + 1] = {};
    EXPECT_GT(GetSystemWow64DirectoryA(folder, MAX_PATH), 0u);
  } else {
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  }
  EXPECT_FALSE(UseRegistry64View);
}

TEST(Win64, StartUpLoadsItsLibrariesFromTheSystemFolder) {
  Win64StartUp();
  for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"}) {
    HMODULE module = GetModuleHandleA(name);
    ASSERT_NE(module, nullptr) << name;
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    EXPECT_TRUE(StartsWith(SystemFolder(), path, true)) << path;
  }
  // The rich-edit control of the message box is available once the library is in.
  WNDCLASSA richEdit;
  EXPECT_TRUE(GetClassInfoA(nullptr, "RICHEDIT", &richEdit));
}
