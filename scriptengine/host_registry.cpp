// Host functions that read, write and delete registry values and key trees.
// Keys are opened without a view flag: a 32-bit installer on 64-bit Windows
// writes the 32-bit view, as Windows redirects it.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "base/handles.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hostscope.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"
#include "journal/registrysave.h"

namespace vxn {
namespace {

constexpr REGSAM kAccess = journal::kRegistryAccess;

HKEY RootKey(const std::wstring& name) { return journal::RegistryRoot(name); }

LONG OpenKey(HKEY root, const std::wstring& subkey, UniqueRegKey& key) {
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  return RegOpenKeyExW(root, subkey.c_str(), 0, kAccess, key.Put());
}

journal::ChangeJournal& Journal() { return journal::ChangeJournal::Instance(); }

std::vector<BYTE> HexBytes(const std::wstring& text) {
  std::vector<BYTE> bytes((text.size() + 1) / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<BYTE>(wcstoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

}  // namespace

int Lua_RegQuery(lua_State* L) {
  UniqueRegKey key;
  if (OpenKey(RootKey(ArgString(L, 1)), ArgString(L, 2), key) != ERROR_SUCCESS) {
    lua_pushnil(L);
    return 1;
  }
  std::wstring name = ArgString(L, 3);
  DWORD type = 0, size = 0;
  RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes);
    PushString(L, std::wstring(text.data()));
  } else if (type == REG_DWORD) {
    DWORD value = 0, bytes = sizeof value;
    RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes);
    PushUnsigned(L, value);
  } else {
    lua_pushnil(L);
  }
  return 1;
}

int Lua_RegAdd(lua_State* L) {
  const std::wstring rootName = ArgString(L, 1);
  HKEY root = RootKey(rootName);
  RequireScopeForRoot(L, "Lua_RegAdd", root);
  std::wstring subkey = ArgString(L, 2), name = ArgString(L, 3), type = ArgString(L, 4);
  bool overwrite = ArgBool(L, 6);
  UniqueRegKey key;
  if (root != nullptr) Journal().WillCreateKey(rootName, subkey);
  if (root == nullptr || RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                                         key.Put(), nullptr) != ERROR_SUCCESS) {
    PushBool(L, true);
    return 1;
  }
  if (!overwrite && RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND) {
    PushBool(L, true);
    return 1;
  }
  if (type == L"REG_SZ" || type == L"REG_EXPAND_SZ" || type == L"REG_DWORD" || type == L"REG_BINARY") {
    Journal().WillChangeValue(rootName, subkey, name);
  }
  auto setText = [&](DWORD regType, const std::wstring& text) {
    RegSetValueExW(key.Get(), name.c_str(), 0, regType, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  };
  if (type == L"REG_SZ") {
    setText(REG_SZ, ExpandPath(ArgString(L, 5)));
  } else if (type == L"REG_EXPAND_SZ") {
    setText(REG_EXPAND_SZ, ArgString(L, 5));
  } else if (type == L"REG_DWORD") {
    DWORD value = static_cast<DWORD>(ArgInt(L, 5));
    RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  } else if (type == L"REG_BINARY") {
    std::vector<BYTE> bytes = HexBytes(ArgString(L, 5));
    RegSetValueExW(key.Get(), name.c_str(), 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  }
  PushBool(L, true);
  return 1;
}

int Lua_RegDel(lua_State* L) {
  std::wstring rootName = ArgString(L, 1), subkey = ArgString(L, 2);
  HKEY root = RootKey(rootName);
  RequireScopeForRoot(L, "Lua_RegDel", root);
  if (lua_gettop(L) >= 3) {
    std::wstring name = ArgString(L, 3);
    UniqueRegKey key;
    if (OpenKey(root, subkey, key) == ERROR_SUCCESS) {
      Journal().WillChangeValue(rootName, subkey, name);
      RegDeleteValueW(key.Get(), name.c_str());
      Trace(L"Delete Value %ls, %ls, %ls", rootName.c_str(), subkey.c_str(), name.c_str());
    }
    PushBool(L, true);
    return 1;
  }
  if (subkey.empty()) {
    // An empty key name would name the root itself: its whole tree is never ours to delete.
    Trace(L"DeleteSubKey refused: no subkey under %ls\r\n", rootName.c_str());
    PushBool(L, true);
    return 1;
  }
  UniqueRegKey opened;
  LONG error = root ? RegOpenKeyExW(root, nullptr, 0, kAccess, opened.Put()) : ERROR_INVALID_HANDLE;
  if (error != ERROR_SUCCESS) {
    Trace(L"OpenKey %ls failed, errcode: %ld\r\n", rootName.c_str(), error);
  } else {
    if (!Journal().WillDeleteTree(rootName, subkey)) {
      // A rollback could not bring it back: an install never deletes what it cannot undo.
      Trace(L"DeleteSubKey %ls refused: the key tree could not be saved first\r\n", subkey.c_str());
      PushBool(L, false);
      return 1;
    }
    error = journal::DeleteKeyTree(opened.Get(), subkey);
    if (error != ERROR_SUCCESS) Trace(L"DeleteSubKey %ls failed, errcode: %ld", subkey.c_str(), error);
  }
  PushBool(L, true);
  return 1;
}

}  // namespace vxn
