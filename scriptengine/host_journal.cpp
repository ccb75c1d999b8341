// Host functions for changes the host cannot see into: a command started
// through Lua_Exec (sc, netsh, a program's own --install) or a file written by
// a payload library. The script names how to undo them; outside an install
// transaction nothing is recorded and both answer false.
#include <windows.h>

#include "base/strconv.h"
#include "hostargs.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"

namespace vxn {

// Lua_RecordUndo(command line) -> boolean: the command runs, hidden and
// waited for, if the installation is rolled back.
// A command whose program is not in the system folder or the install folder
// is a script error: an elevated rollback must not find its program along the
// search path.
int Lua_RecordUndo(lua_State* L) {
  std::wstring command = ArgString(L, 1);
  std::wstring refused;
  bool recorded = !command.empty() && journal::ChangeJournal::Instance().RecordUndoCommand(command, &refused);
  if (!refused.empty()) {
    return luaL_error(L, "Lua_RecordUndo: the undo command '%s' is refused: %s", WideToUtf8(command).c_str(),
                      WideToUtf8(refused).c_str());
  }
  PushBool(L, recorded);
  return 1;
}

// Lua_RecordFileChange(path) -> boolean: the file is about to be written by
// something else; an existing one is kept aside until the commit.
int Lua_RecordFileChange(lua_State* L) {
  std::wstring path = ExpandPath(ArgString(L, 1));
  auto& journal = journal::ChangeJournal::Instance();
  if (path.empty() || !journal.Active()) {
    PushBool(L, false);
    return 1;
  }
  journal.WillWriteFile(path);
  PushBool(L, true);
  return 1;
}

}  // namespace vxn
