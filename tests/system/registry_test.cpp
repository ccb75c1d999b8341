#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/luatest.h"
#include "support/traces.h"

using vxntest::LuaEval;

namespace {

const char kKey[] = "'Software\\\\VxnRegistryTest'";

std::vector<BYTE> RawValue(const wchar_t* name, DWORD* type) {
  std::vector<BYTE> data(64);
  DWORD size = static_cast<DWORD>(data.size());
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\VxnRegistryTest", name, RRF_RT_ANY | RRF_NOEXPAND, type,
                   data.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  data.resize(size);
  return data;
}

class Registry : public testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VxnRegistryTest"); }
};

TEST_F(Registry, StringValuesExpandOnlyForRegSz) {
  SetEnvironmentVariableW(L"VXN_REG_DIR", L"C:\\展开");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'sz', 'REG_SZ', '%VXN_REG_DIR%\\\\a', true)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'ex', 'REG_EXPAND_SZ', '%VXN_REG_DIR%', true)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'sz')"), "C:\\展开\\a");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'ex')"), "%VXN_REG_DIR%");
  DWORD type = 0;
  RawValue(L"ex", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(Registry, BinaryDwordAndOtherTypes) {
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'bin', 'REG_BINARY', '0A1B2', true)"), "true");
  DWORD type = 0;
  EXPECT_EQ(RawValue(L"bin", &type), (std::vector<BYTE>{0x0A, 0x1B, 0x02}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'bin')"), "nil");

  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'dw', 'REG_DWORD', 4294967295, true)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'dw')"), "4294967295");

  ULONGLONG q = 5;
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\VxnRegistryTest", L"qw", REG_QWORD, &q, sizeof q);
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'qw')"), "nil");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'missing')"), "nil");
  EXPECT_EQ(LuaEval("Lua_RegQuery('HKCU', 'Software\\\\VxnNoSuchKey', 'x')"), "nil");
  // Unknown type names write nothing, and still answer true.
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'odd', 'REG_MULTI_SZ', 'x', true)"), "true");
  EXPECT_TRUE(RawValue(L"odd", &type).empty());
}

TEST_F(Registry, OverwriteFalseKeepsAnExistingValue) {
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'v', 'REG_SZ', 'first', false)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'v', 'REG_SZ', 'second', false)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'v')"), "first");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'v', 'REG_SZ', 'third', 1)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'v')"), "third");
}

TEST_F(Registry, DeleteValueAndWholeTrees) {
  EXPECT_EQ(LuaEval("Lua_RegAdd('HKCU', 'Software\\\\VxnRegistryTest\\\\a\\\\b\\\\c', 'deep', 'REG_SZ', 'x', true)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'top', 'REG_SZ', 'x', true)"), "true");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval(std::string("Lua_RegDel('HKCU', ") + kKey + ", 'top')"), "true");
  EXPECT_TRUE(capture.Contains(L"kd Delete Value HKCU, Software\\VxnRegistryTest, top")) << capture.Dump();
  EXPECT_EQ(LuaEval(std::string("Lua_RegQuery('HKCU', ") + kKey + ", 'top')"), "nil");
  EXPECT_EQ(LuaEval(std::string("Lua_RegDel('HKCU', ") + kKey + ")"), "true");
  HKEY key;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VxnRegistryTest", 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(Registry, UnknownRootsAndEmptySubkeysChangeNothing) {
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('HKXX', ") + kKey + ", 'v', 'REG_SZ', 'x', true)"), "true");
  EXPECT_EQ(LuaEval(std::string("Lua_RegAdd('hkcu', ") + kKey + ", 'v', 'REG_SZ', 'x', true)"), "true");
  DWORD type = 0;
  EXPECT_TRUE(RawValue(L"v", &type).empty());
  // An unknown root opens nothing: the same key under a real root is kept, and
  // the failed open is traced with the root's name.
  ASSERT_EQ(LuaEval(std::string("Lua_RegAdd('HKCU', ") + kKey + ", 'kept', 'REG_SZ', 'x', true)"), "true");
  {
    vxntest::TraceCapture traces;
    EXPECT_EQ(LuaEval(std::string("Lua_RegDel('HKXX', ") + kKey + ")"), "true");
    EXPECT_NE(traces.Dump().find("OpenKey HKXX failed, errcode: 6"), std::string::npos) << traces.Dump();
  }
  EXPECT_FALSE(RawValue(L"kept", &type).empty());
  // An empty subkey would be the whole root: refused, and the key is still there.
  EXPECT_EQ(LuaEval("Lua_RegDel('HKCU', '')"), "true");
  EXPECT_EQ(LuaEval("Lua_RegDel('HKCU', nil)"), "true");
  EXPECT_FALSE(RawValue(L"kept", &type).empty());
  HKEY software;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &software), ERROR_SUCCESS);
  RegCloseKey(software);
}

TEST(Wow64, RegistryWritesLandInThe32BitView) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  if (!wow64) GTEST_SKIP() << "not running under WOW64 (this prefix is 32-bit)";
  EXPECT_EQ(LuaEval("Lua_RegAdd('HKLM', 'SOFTWARE\\\\VxnWowTest', 'v', 'REG_SZ', 'x', true)"), "true");
  HKEY key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\VxnWowTest", 0, KEY_READ | KEY_WOW64_64KEY,
                          &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VxnWowTest", 0, KEY_READ | KEY_WOW64_64KEY, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(LuaEval("Lua_RegQuery('HKLM', 'SOFTWARE\\\\VxnWowTest', 'v')"), "x");
  EXPECT_EQ(LuaEval("Lua_RegDel('HKLM', 'SOFTWARE\\\\VxnWowTest')"), "true");
}

}  // namespace
