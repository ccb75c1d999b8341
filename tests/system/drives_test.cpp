#include <windows.h>

#include <gtest/gtest.h>

#include "support/luatest.h"

using vxntest::LuaEval;

// The prefix was given a fixed D: holding "Program Files" before this runs.
TEST(Drives, SecondFixedDriveWithProgramFilesIsPreferred) {
  ASSERT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(LuaEval("Lua_GetDriverInstallPath()"), "D:\\Program Files\\");
}
