#include <gtest/gtest.h>

#include <string>

#include "system/Utils.h"
#include "system/Win64.h"
#include "system/WinUtils.h"

namespace {

// The machine's processor architecture as the system records it for every process
// ("x86", "AMD64", "ARM64"), read from the 64-bit registry view: a source apart from the
// entry points the answer is built from.
std::string RecordedArchitecture() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                    KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return "";
  char value[64] = {};
  DWORD size = sizeof value - 1;
  const LONG result = RegQueryValueExA(key, "PROCESSOR_ARCHITECTURE", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? std::string(value) : "";
}

}  // namespace

TEST(Win64, AnswerMatchesTheMachine) {
  const std::string architecture = RecordedArchitecture();
  ASSERT_FALSE(architecture.empty());
  const bool is64 = !SameText(architecture, "x86");
  const bool first = Is64BitWindows();
  EXPECT_EQ(first, is64) << architecture;
  EXPECT_EQ(Is64BitWindows(), first);
  bool wow = true;
  EXPECT_TRUE(IsWow64(GetCurrentProcess(), wow));
  SYSTEM_INFO info;
  ASSERT_TRUE(NativeSystemInfo(info));
#ifdef _WIN64
  // A 64-bit process: no emulation layer, nothing redirected, an x64 (or ARM64) machine.
  EXPECT_TRUE(is64);
  EXPECT_FALSE(wow);
  EXPECT_FALSE(HasFsRedirection());
  EXPECT_NE(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
#else
  EXPECT_EQ(wow, is64);
  // A 32-bit process on 64-bit Windows sees an x64 (or ARM64) machine, on 32-bit Windows
  // an x86 one.
  EXPECT_EQ(info.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL, is64);
  if (is64) {
    EXPECT_TRUE(HasFsRedirection());
  }
#endif
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
