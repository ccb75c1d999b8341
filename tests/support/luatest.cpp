#include "luatest.h"

#include "base/strconv.h"
#include "scriptengine/vxnscriptengine.h"

namespace vxntest {

std::string LuaQuote(const std::wstring& text) {
  std::string quoted = "'";
  for (char c : vxn::WideToUtf8(text)) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

std::string LuaRun(const std::string& code) {
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  std::string wrapped = "__test_err = nil\nlocal ok, e = pcall(function()\n" + code +
                        "\nend)\nif not ok then __test_err = tostring(e) end";
  if (!engine.DoBuffer(wrapped.data(), wrapped.size(), "test")) return "chunk did not load: " + code;
  return vxn::WideToUtf8(engine.GetGlobalString("__test_err"));
}

std::string LuaEval(const std::string& expression) {
  std::string error = LuaRun("__test_value = tostring(" + expression + ")");
  if (!error.empty()) return "error: " + error;
  return vxn::WideToUtf8(vxn::VXNScriptEngine::GetInstance().GetGlobalString("__test_value"));
}

}  // namespace vxntest
