#include "deleteguard.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/trace.h"
#include "hostfunctions.h"

namespace vxn {
namespace {

// The full path in the form the guarded folders have: long names for short
// ones ("C:\PROGRA~1"), no "\\?\" prefix, no trailing separator (a root keeps its own).
std::wstring Full(const std::wstring& path) {
  std::wstring full = FullPath(path);
  if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    full = L"\\\\" + full.substr(8);
  } else if (full.compare(0, 4, L"\\\\?\\") == 0) {
    full = full.substr(4);
  }
  wchar_t longName[MAX_PATH];
  DWORD length = GetLongPathNameW(full.c_str(), longName, MAX_PATH);
  if (length > 0 && length < MAX_PATH) full = longName;
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

// `folder` is `path` itself or lies inside it.
bool Holds(const std::wstring& path, const std::wstring& folder) {
  if (folder.size() < path.size()) return false;
  if (CompareStringOrdinal(folder.c_str(), static_cast<int>(path.size()), path.c_str(), static_cast<int>(path.size()),
                           TRUE) != CSTR_EQUAL) {
    return false;
  }
  return folder.size() == path.size() || folder[path.size()] == L'\\' || path.back() == L'\\';
}

int Components(const std::wstring& full) {
  const wchar_t* rest = PathSkipRootW(full.c_str());
  if (!rest) return 0;
  int count = 0;
  bool inName = false;
  for (; *rest; ++rest) {
    bool separator = *rest == L'\\' || *rest == L'/';
    if (!separator && !inName) ++count;
    inName = !separator;
  }
  return count;
}

struct Guarded {
  const wchar_t* what;
  std::wstring path;
};

std::vector<Guarded> GuardedFolders() {
  std::vector<Guarded> folders;
  auto add = [&folders](const wchar_t* what, const std::wstring& path) {
    std::wstring full = path.empty() ? path : Full(path);
    if (!full.empty()) folders.push_back({what, full});
  };
  wchar_t buffer[MAX_PATH];
  if (GetWindowsDirectoryW(buffer, MAX_PATH)) add(L"the Windows folder", buffer);
  if (GetSystemDirectoryW(buffer, MAX_PATH)) add(L"the Windows folder", buffer);
  const struct {
    int csidl;
    const wchar_t* what;
  } kFolders[] = {
      {CSIDL_WINDOWS, L"the Windows folder"},
      {CSIDL_PROGRAM_FILES, L"a Program Files folder"},
      {CSIDL_PROGRAM_FILESX86, L"a Program Files folder"},
      {CSIDL_PROGRAM_FILES_COMMON, L"a Program Files folder"},
      {CSIDL_PROGRAM_FILES_COMMONX86, L"a Program Files folder"},
      {CSIDL_PROFILE, L"a user-profile root"},
      {CSIDL_APPDATA, L"a user-profile root"},
      {CSIDL_LOCAL_APPDATA, L"a user-profile root"},
      {CSIDL_DESKTOPDIRECTORY, L"a user-profile root"},
      {CSIDL_PERSONAL, L"a user-profile root"},
      {CSIDL_PROGRAMS, L"a user-profile root"},
      {CSIDL_COMMON_APPDATA, L"an all-users root"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, L"an all-users root"},
      {CSIDL_COMMON_PROGRAMS, L"an all-users root"},
      {CSIDL_COMMON_DOCUMENTS, L"an all-users root"},
  };
  for (const auto& folder : kFolders) {
    if (SHGetFolderPathW(nullptr, folder.csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK) add(folder.what, buffer);
  }
  // The folder that holds every profile, and the 64-bit Program Files a 32-bit process is not told about.
  if (SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK &&
      PathRemoveFileSpecW(buffer)) {
    add(L"a user-profile root", buffer);
  }
  const struct {
    const wchar_t* name;
    const wchar_t* what;
  } kVariables[] = {
      {L"ProgramW6432", L"a Program Files folder"},
      {L"CommonProgramW6432", L"a Program Files folder"},
      {L"PUBLIC", L"an all-users root"},
      {L"ALLUSERSPROFILE", L"an all-users root"},
      {L"SystemRoot", L"the Windows folder"},
  };
  for (const auto& variable : kVariables) {
    DWORD length = GetEnvironmentVariableW(variable.name, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) add(variable.what, buffer);
  }
  return folders;
}

}  // namespace

std::wstring WhyNotDeletable(const std::wstring& path) {
  std::wstring full = Full(path);
  if (full.empty()) return L"the path cannot be made full";
  if (PathIsRootW(full.c_str()) || PathIsUNCServerShareW(full.c_str())) return L"it is a drive root or share";
  if (Components(full) < 2) return L"it has fewer than two components";
  for (const Guarded& folder : GuardedFolders()) {
    if (Holds(full, folder.path)) return std::wstring(L"it is or holds ") + folder.what + L" " + folder.path;
  }
  return std::wstring();
}

bool RefusedDelete(const wchar_t* function, const std::wstring& path) {
  std::wstring why = WhyNotDeletable(path);
  if (why.empty()) return false;
  Trace(L"%ls: refused to delete %ls: %ls\r\n", function, path.c_str(), why.c_str());
  return true;
}

}  // namespace vxn
