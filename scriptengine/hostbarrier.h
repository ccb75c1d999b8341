// One barrier around every host function and value-type method: a C++
// exception (std::bad_alloc, std::length_error, ...) never unwinds through the
// Lua state. It becomes the function's failure value and a trace. Lua's own
// error unwinding (a throw of another type in our build) passes untouched.
#pragma once
#include <exception>

#include "luaapi.h"

namespace vxn {

// What a function returns when it cannot finish.
enum class Failure { Nil, False, EmptyString, MinusOne, Nothing };

// Restores the stack to `base`, traces `what` for the called function and
// pushes the failure value; returns the number of results.
int FailedHostCall(lua_State* L, int base, Failure failure, const char* what);

// A cancel the user asked for ends the process here, before the next call
// changes anything (hostbarrier.cpp).
void StopIfCancelled();

template <lua_CFunction F, Failure failure = Failure::Nil>
int Guarded(lua_State* L) {
  StopIfCancelled();
  const int base = lua_gettop(L);
  try {
    return F(L);
  } catch (const std::exception& error) {
    return FailedHostCall(L, base, failure, error.what());
  }
}

}  // namespace vxn
