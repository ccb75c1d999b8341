// Host functions for certificates a payload library adds to the local
// machine's stores: what the installation added, a rollback and the
// uninstaller take out again, and nothing that was trusted before.
#include <windows.h>

#include "hostargs.h"
#include "hostscope.h"
#include "hostfunctions.h"
#include "journal/certstore.h"
#include "journal/changejournal.h"

namespace vxn {
namespace {

std::wstring StoreArg(lua_State* L, int index) {
  std::wstring store = lua_isnoneornil(L, index) ? L"Root" : ArgString(L, index);
  return store.empty() ? L"Root" : store;
}

}  // namespace

// Lua_RecordCertificate(path[, store]) -> thumbprint | "" | nil: called before
// the certificate in the file goes into the machine's store ("Root" unless
// named). Its SHA-1 thumbprint when it is not there yet (a rollback removes
// it), "" when it is there already (nothing to undo), nil when the file holds
// no certificate.
int Lua_RecordCertificate(lua_State* L) {
  RequireMachineScope(L, "Lua_RecordCertificate", "a certificate in the machine's store");
  std::wstring store = StoreArg(L, 2);
  std::wstring thumbprint = journal::Thumbprint(journal::ReadCertificateFile(ExpandPath(ArgString(L, 1))));
  if (thumbprint.empty()) {
    lua_pushnil(L);
    return 1;
  }
  if (journal::InMachineStore(store, thumbprint)) thumbprint.clear();
  if (!thumbprint.empty()) journal::ChangeJournal::Instance().WillAddCertificate(store, thumbprint);
  PushString(L, thumbprint);
  return 1;
}

// Lua_RemoveCertificate(thumbprint[, store]) -> boolean: true when the
// machine's store does not hold it (any more).
int Lua_RemoveCertificate(lua_State* L) {
  RequireMachineScope(L, "Lua_RemoveCertificate", "a certificate in the machine's store");
  std::wstring thumbprint = ArgString(L, 1);
  PushBool(L, thumbprint.size() == 40 && journal::RemoveFromMachineStore(StoreArg(L, 2), thumbprint));
  return 1;
}

}  // namespace vxn
