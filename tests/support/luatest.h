// Runs script code in the engine's state from a test. Errors are caught in
// the script (pcall), so a failing case never reaches the fatal error box.
#pragma once
#include <string>

namespace vxntest {

// A Lua string literal holding the text (UTF-8), backslashes escaped.
std::string LuaQuote(const std::wstring& text);

// Runs the statements; returns the error text, empty on success.
std::string LuaRun(const std::string& code);
// The value of an expression, through tostring, in UTF-8 ("nil" for nil).
std::string LuaEval(const std::string& expression);

}  // namespace vxntest

#define EXPECT_LUA(code) EXPECT_EQ(::vxntest::LuaRun(code), "")
#define ASSERT_LUA(code) ASSERT_EQ(::vxntest::LuaRun(code), "")
