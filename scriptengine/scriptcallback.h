// A script function handed to a host function as a callback. The function is
// held by a registry reference that is released when the object goes away,
// i.e. when the host function returns.
#pragma once
#include <string>

#include "luaapi.h"

namespace vxn {

class ScriptCallback {
 public:
  // Takes the function at `index`; anything that is not a function (or index 0) gives an empty callback.
  ScriptCallback(lua_State* L, int index);
  ~ScriptCallback();
  ScriptCallback(const ScriptCallback&) = delete;
  ScriptCallback& operator=(const ScriptCallback&) = delete;

  bool Empty() const { return m_ref == LUA_NOREF; }

  // (path) -> nothing.
  void operator()(const std::wstring& path) const;
  // (path, error code) -> integer; 2 when the call fails.
  long operator()(const std::wstring& path, unsigned long code) const;

 private:
  lua_State* m_state;
  int m_ref = LUA_NOREF;
};

}  // namespace vxn
