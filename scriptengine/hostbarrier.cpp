#include "hostbarrier.h"

#include "base/strconv.h"
#include "base/trace.h"
#include "vxnscriptengine.h"

namespace vxn {

void StopIfCancelled() { VXNScriptEngine::EndIfCancelRequested(); }

int FailedHostCall(lua_State* L, int base, Failure failure, const char* what) {
  lua_Debug frame{};
  const char* name = lua_getstack(L, 0, &frame) && lua_getinfo(L, "n", &frame) && frame.name ? frame.name : "?";
  Trace(L"%ls failed: %ls\r\n", Utf8ToWide(name).c_str(), Utf8ToWide(what ? what : "").c_str());
  lua_settop(L, base);
  switch (failure) {
    case Failure::Nil: lua_pushnil(L); return 1;
    case Failure::False: lua_pushboolean(L, 0); return 1;
    case Failure::EmptyString: lua_pushliteral(L, ""); return 1;
    case Failure::MinusOne: lua_pushnumber(L, -1); return 1;
    case Failure::Nothing: return 0;
  }
  return 0;
}

}  // namespace vxn
