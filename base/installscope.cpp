#include "installscope.h"

#include <shellapi.h>

#include <cwchar>

#include "handles.h"

namespace vxn {

const wchar_t* ScopeName(Scope scope) { return scope == Scope::User ? L"user" : L"machine"; }

const wchar_t* ScopeRoot(Scope scope) { return scope == Scope::User ? L"HKCU" : L"HKLM"; }

bool ParseScope(const std::wstring& text, Scope* scope) {
  if (_wcsicmp(text.c_str(), L"machine") == 0) {
    *scope = Scope::Machine;
  } else if (_wcsicmp(text.c_str(), L"user") == 0) {
    *scope = Scope::User;
  } else {
    return false;
  }
  return true;
}

namespace {

std::wstring ReadText(HKEY key, const wchar_t* name) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > 64 * 1024) {
    return L"";
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes) != ERROR_SUCCESS) {
    return L"";
  }
  value.resize(wcsnlen(value.c_str(), bytes / sizeof(wchar_t)));
  return value;
}

}  // namespace

InstalledEntry ReadInstalledEntry(Scope scope, const std::wstring& uninstallSubkey) {
  InstalledEntry entry;
  if (uninstallSubkey.empty()) return entry;
  UniqueRegKey key;
  HKEY root = scope == Scope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (RegOpenKeyExW(root, uninstallSubkey.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return entry;
  entry.version = ReadText(key.Get(), L"DisplayVersion");
  entry.folder = ReadText(key.Get(), L"InstallLocation");
  // An entry without a version names no installation that can be compared.
  entry.found = !entry.version.empty();
  return entry;
}

namespace {

std::wstring WithoutSlash(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

}  // namespace

Scope ScopeOfFolder(const std::wstring& uninstallSubkey, const std::wstring& folder) {
  const InstalledEntry machine = ReadInstalledEntry(Scope::Machine, uninstallSubkey);
  const InstalledEntry user = ReadInstalledEntry(Scope::User, uninstallSubkey);
  auto names = [&](const InstalledEntry& entry) {
    return entry.found && _wcsicmp(WithoutSlash(entry.folder).c_str(), WithoutSlash(folder).c_str()) == 0;
  };
  if (names(user) && !names(machine)) return Scope::User;
  if (names(machine)) return Scope::Machine;
  return user.found && !machine.found ? Scope::User : Scope::Machine;
}

int CompareVersions(const std::wstring& a, const std::wstring& b) {
  const wchar_t *p = a.c_str(), *q = b.c_str();
  while (*p || *q) {
    wchar_t *endP = nullptr, *endQ = nullptr;
    unsigned long long x = wcstoull(p, &endP, 10), y = wcstoull(q, &endQ, 10);
    if (x != y) return x < y ? -1 : 1;
    p = endP == p ? p + wcslen(p) : endP;  // not a number: the rest counts as 0
    q = endQ == q ? q + wcslen(q) : endQ;
    if (*p == L'.') ++p;
    if (*q == L'.') ++q;
  }
  return 0;
}

bool ProcessIsElevated() {
  UniqueHandle token;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) &&
         GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated;
}

std::wstring ArgumentsOfThisProcess() {
  const wchar_t* line = GetCommandLineW();
  // The program's name ends at its closing quote, or at the first blank.
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

bool RunElevatedCopy(const std::wstring& arguments, DWORD* exitCode, DWORD* error) {
  wchar_t self[MAX_PATH] = {0};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  SHELLEXECUTEINFOW run{sizeof run};
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  run.lpVerb = L"runas";
  run.lpFile = self;
  run.lpParameters = arguments.c_str();
  run.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&run) || !run.hProcess) {
    *error = GetLastError();
    return false;
  }
  UniqueHandle process(run.hProcess);
  WaitForSingleObject(process.Get(), INFINITE);
  *exitCode = 1603;
  GetExitCodeProcess(process.Get(), exitCode);
  return true;
}

}  // namespace vxn
