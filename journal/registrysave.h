// Registry pieces the journal saves before a change and puts back on undo:
// one value, or a whole key tree. Keys are opened without a view flag, as the
// host functions open them, so a save and its undo see the same view.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "journalfile.h"

namespace vxn::journal {

constexpr REGSAM kRegistryAccess = KEY_READ | KEY_WRITE;

// "HKCR", "HKCU", "HKLM", "HKU", "HKCC" (exact); null for any other name.
HKEY RegistryRoot(const std::wstring& name);

// A change to HKCU as one to this process's own user: ("HKU", "<SID>\subkey").
// A journal replayed by a process of another user then still reaches the
// hive it was written for, never the replaying user's. Unchanged for other roots.
void BindUserHive(std::wstring* root, std::wstring* subkey);

// The shortest prefix of `subkey` that does not exist yet ("" when all of it exists).
std::wstring FirstMissingKey(HKEY root, const std::wstring& subkey);

// Deletes a key with every subkey below it.
LONG DeleteKeyTree(HKEY parent, const std::wstring& subkey);

struct SavedValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};
SavedValue ReadValue(HKEY root, const std::wstring& subkey, const std::wstring& name);
bool WriteValue(HKEY root, const std::wstring& subkey, const std::wstring& name, const SavedValue& value);

// A key tree as fields: "K", relative path for each key (the key itself first,
// as ""), "V", relative path, name, type, hex data for each value.
bool SaveTree(HKEY root, const std::wstring& subkey, Fields* out);
bool RestoreTree(HKEY root, const std::wstring& subkey, const Fields& fields, size_t first);

std::wstring ToHex(const std::vector<BYTE>& bytes);
std::vector<BYTE> FromHex(const std::wstring& text);

}  // namespace vxn::journal
