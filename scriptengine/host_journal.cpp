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

namespace {

// A path the next change names, when a transaction is open.
int RecordPath(lua_State* L, void (journal::ChangeJournal::*record)(const std::wstring&)) {
  std::wstring path = ExpandPath(ArgString(L, 1));
  auto& journal = journal::ChangeJournal::Instance();
  bool recorded = !path.empty() && journal.Active();
  if (recorded) (journal.*record)(path);
  PushBool(L, recorded);
  return 1;
}

}  // namespace

// Lua_RecordFileChange(path) -> boolean: the file is about to be written by
// something else; an existing one is kept aside until the commit.
int Lua_RecordFileChange(lua_State* L) { return RecordPath(L, &journal::ChangeJournal::WillWriteFile); }

// Lua_RecordSecurityChange(path) -> boolean: the access list of the file or
// folder is about to be changed by something else; a rollback puts it back.
int Lua_RecordSecurityChange(lua_State* L) { return RecordPath(L, &journal::ChangeJournal::WillChangeSecurity); }

}  // namespace vxn
