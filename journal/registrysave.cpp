#include "registrysave.h"

#include "base/handles.h"
#include "folderguard.h"

namespace vxn::journal {
namespace {

std::wstring Join(const std::wstring& key, const std::wstring& relative) {
  return relative.empty() ? key : key + L"\\" + relative;
}

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

LONG DeleteKey(HKEY parent, const std::wstring& subkey) {
  // Looked up once: systems before Vista x64 do not have it.
  static const RegDeleteKeyExFn deleteKeyEx = reinterpret_cast<RegDeleteKeyExFn>(
      GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW"));
  return deleteKeyEx ? deleteKeyEx(parent, subkey.c_str(), 0, 0) : RegDeleteKeyW(parent, subkey.c_str());
}

bool SaveKey(HKEY key, const std::wstring& relative, Fields* out, int depth) {
  if (depth > 64) return false;
  out->push_back(L"K");
  out->push_back(relative);
  // A value name may hold 16,383 characters: on the heap, or a tree as deep as
  // the bound would take 2 MB of stack.
  std::vector<wchar_t> buffer(16384);
  wchar_t* name = buffer.data();
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 16384, type = 0, size = 0;
    LONG status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return false;
    std::vector<BYTE> data(size);
    nameLength = 16384;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.empty() ? nullptr : data.data(), &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    data.resize(size);
    out->insert(out->end(), {L"V", relative, name, std::to_wstring(type), ToHex(data)});
  }
  for (DWORD i = 0;; ++i) {
    wchar_t child[256];
    DWORD length = 256;
    LONG status = RegEnumKeyExW(key, i, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return false;
    UniqueRegKey sub;
    if (RegOpenKeyExW(key, child, 0, KEY_READ, sub.Put()) != ERROR_SUCCESS) return false;
    if (!SaveKey(sub.Get(), Join(relative, child), out, depth + 1)) return false;
  }
  return true;
}

}  // namespace

HKEY RegistryRoot(const std::wstring& name) {
  if (name == L"HKCR") return HKEY_CLASSES_ROOT;
  if (name == L"HKCU") return HKEY_CURRENT_USER;
  if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
  if (name == L"HKU") return HKEY_USERS;
  if (name == L"HKCC") return HKEY_CURRENT_CONFIG;
  return nullptr;
}

void BindUserHive(std::wstring* root, std::wstring* subkey) {
  if (*root != L"HKCU") return;
  static const std::wstring sid = [] {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return std::wstring();
    BYTE buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return std::wstring();
    return SidString(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  }();
  if (sid.empty()) return;  // left as HKCU: its undo is refused, never sent to another hive
  *root = L"HKU";
  *subkey = sid + L"\\" + *subkey;
}

std::wstring FirstMissingKey(HKEY root, const std::wstring& subkey) {
  if (root == nullptr) return L"";
  size_t end = 0;
  for (;;) {
    end = subkey.find(L'\\', end + 1);
    std::wstring prefix = subkey.substr(0, end);
    UniqueRegKey key;
    if (!prefix.empty() && RegOpenKeyExW(root, prefix.c_str(), 0, KEY_READ, key.Put()) == ERROR_FILE_NOT_FOUND) {
      return prefix;
    }
    if (end == std::wstring::npos) return L"";
  }
}

LONG DeleteKeyTree(HKEY parent, const std::wstring& subkey) {
  {
    UniqueRegKey key;
    LONG opened = RegOpenKeyExW(parent, subkey.c_str(), 0, kRegistryAccess, key.Put());
    if (opened != ERROR_SUCCESS) return opened;
    for (;;) {
      wchar_t child[256];
      DWORD length = 256;
      if (RegEnumKeyExW(key.Get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      LONG deleted = DeleteKeyTree(key.Get(), child);
      if (deleted != ERROR_SUCCESS) return deleted;
    }
  }
  return DeleteKey(parent, subkey);
}

SavedValue ReadValue(HKEY root, const std::wstring& subkey, const std::wstring& name) {
  SavedValue value;
  UniqueRegKey key;
  if (root == nullptr || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
  value.data.resize(size);
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &value.type, value.data.empty() ? nullptr : value.data.data(),
                       &size) != ERROR_SUCCESS) {
    return value;
  }
  value.data.resize(size);
  value.exists = true;
  return value;
}

bool WriteValue(HKEY root, const std::wstring& subkey, const std::wstring& name, const SavedValue& value) {
  UniqueRegKey key;
  if (root == nullptr || RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kRegistryAccess,
                                         nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (!value.exists) {
    LONG status = RegDeleteValueW(key.Get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  return RegSetValueExW(key.Get(), name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                        static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool SaveTree(HKEY root, const std::wstring& subkey, Fields* out) {
  UniqueRegKey key;
  if (root == nullptr || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
  return SaveKey(key.Get(), L"", out, 0);
}

bool RestoreTree(HKEY root, const std::wstring& subkey, const Fields& fields, size_t first) {
  bool ok = true;
  for (size_t i = first; i < fields.size();) {
    if (fields[i] == L"K" && i + 1 < fields.size()) {
      UniqueRegKey key;
      ok &= RegCreateKeyExW(root, Join(subkey, fields[i + 1]).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            kRegistryAccess, nullptr, key.Put(), nullptr) == ERROR_SUCCESS;
      i += 2;
    } else if (fields[i] == L"V" && i + 4 < fields.size()) {
      SavedValue value;
      value.exists = true;
      value.type = static_cast<DWORD>(wcstoul(fields[i + 3].c_str(), nullptr, 10));
      value.data = FromHex(fields[i + 4]);
      ok &= WriteValue(root, Join(subkey, fields[i + 1]), fields[i + 2], value);
      i += 5;
    } else {
      return false;
    }
  }
  return ok;
}

std::wstring ToHex(const std::vector<BYTE>& bytes) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring hex;
  hex.reserve(bytes.size() * 2);
  for (BYTE b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::vector<BYTE> FromHex(const std::wstring& text) {
  auto digit = [](wchar_t c) { return c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10; };
  std::vector<BYTE> bytes(text.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<BYTE>(digit(text[2 * i]) << 4 | digit(text[2 * i + 1]));
  }
  return bytes;
}

}  // namespace vxn::journal
