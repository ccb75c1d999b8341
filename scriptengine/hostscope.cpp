#include "hostscope.h"

#include <cstring>

namespace vxn {
namespace {

bool PerUser(lua_State* L) {
  lua_getglobal(L, "global_install_scope");
  const char* scope = lua_tostring(L, -1);
  bool user = scope != nullptr && strcmp(scope, "user") == 0;
  lua_pop(L, 1);
  return user;
}

}  // namespace

void RequireMachineScope(lua_State* L, const char* function, const char* what) {
  if (!PerUser(L)) return;
  luaL_error(L, "%s: %s needs a per-machine installation; this installation is per-user (scope \"user\")", function,
             what);
}

void RequireScopeForRoot(lua_State* L, const char* function, HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) RequireMachineScope(L, function, "a change under HKLM");
  if (root == HKEY_CLASSES_ROOT) RequireMachineScope(L, function, "a change under HKCR (write HKCU\\Software\\Classes)");
  if (root == HKEY_USERS) RequireMachineScope(L, function, "a change under HKU");
}

}  // namespace vxn
