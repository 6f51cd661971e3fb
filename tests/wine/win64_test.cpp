#include <gtest/gtest.h>

#include "system/Win64.h"

TEST(Win64, AnswerIsStableAndMatchesTheEmulationFlag) {
  bool wow = false;
  bool known = IsWow64(GetCurrentProcess(), wow);
  bool first = Is64BitWindows();
  EXPECT_EQ(first, Is64BitWindows());
  // A 32-bit process on 64-bit Windows runs under the emulation layer; on 32-bit
  // Windows the flag is false and so is the answer.
  if (!known || !wow) {
    EXPECT_FALSE(first);
  }
  SYSTEM_INFO info;
  EXPECT_TRUE(NativeSystemInfo(info));
  EXPECT_FALSE(UseRegistry64View);
}
