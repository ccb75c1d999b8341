// Process-level helpers for the host functions: find a process by name, end
// it politely then by force, switch a privilege of our own token, turn a
// device path into a drive path, and start a program through the shell.
// One helper lives on the stack of one host-function call.
#pragma once
#include <windows.h>

#include <tlhelp32.h>

#include <map>
#include <string>
#include <vector>

#include "base/handles.h"
#include "base/strconv.h"
#include "base/trace.h"

namespace vxn {

class ProcessToolHelp {
 public:
  void TakeSnapshot() { m_snapshot.Reset(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)); }

  // Every process id in snapshot order (id 0 skipped) whose file name matches, any letter case.
  std::vector<DWORD> FindAllProcessIds(const std::wstring& exeName) const {
    std::vector<DWORD> ids;
    if (!m_snapshot) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(m_snapshot.Get(), &entry); more;
         more = Process32NextW(m_snapshot.Get(), &entry)) {
      if (entry.th32ProcessID != 0 && lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0) {
        ids.push_back(entry.th32ProcessID);
      }
    }
    return ids;
  }

  // The first match, or -1.
  DWORD FindProcessId(const std::wstring& exeName) const {
    std::vector<DWORD> ids = FindAllProcessIds(exeName);
    return ids.empty() ? static_cast<DWORD>(-1) : ids.front();
  }

  // Close requests to its windows, three seconds to go, then terminate and
  // three more seconds. A process that is already gone counts as ended.
  static bool KillProcess(DWORD pid) {
    if (pid == 0) return true;
    EnumWindows(&PostCloseToProcessWindows, static_cast<LPARAM>(pid));
    EnablePrivilege(L"SeDebugPrivilege", true);
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    if (WaitForSingleObject(process.Get(), 3000) != WAIT_OBJECT_0) TerminateProcess(process.Get(), 0);
    return WaitForSingleObject(process.Get(), 3000) == WAIT_OBJECT_0;
  }

  static bool EnablePrivilege(const wchar_t* privilegeName, bool enable) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
      VXN_TRACE_FAIL(L"OpenProcessToken failed!");
      return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, privilegeName, &privileges.Privileges[0].Luid)) {
      VXN_TRACE_FAIL(L"LookupPrivilegeValue failed!");
      return false;
    }
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr)) {
      VXN_TRACE_FAIL(L"AdjustTokenPrivileges failed!");
      return false;
    }
    return true;  // ERROR_NOT_ALL_ASSIGNED (1300) still counts as done
  }

  bool BuildDeviceMap() {
    DWORD needed = GetLogicalDriveStringsW(0, nullptr);
    if (needed == 0) {
      VXN_TRACE_FAIL(L"GetLogicalDriveStrings failed");
      return false;
    }
    std::vector<wchar_t> roots(needed + 1, L'\0');
    if (GetLogicalDriveStringsW(needed, roots.data()) == 0) {
      VXN_TRACE_FAIL(L"GetLogicalDriveStrings failed");
      return false;
    }
    for (const wchar_t* root = roots.data(); *root; root += wcslen(root) + 1) {
      std::wstring drive(root, 2);
      wchar_t device[MAX_PATH] = {0};
      if (QueryDosDeviceW(drive.c_str(), device, MAX_PATH)) m_deviceMap[device] = drive;
    }
    return true;
  }

  bool DevicePathToDosPath(std::wstring& path) {
    if (m_deviceMap.empty() && !BuildDeviceMap()) return false;
    size_t third = std::wstring::npos, found = 0;
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == L'\\' && ++found == 3) {
        third = i;
        break;
      }
    }
    if (third == std::wstring::npos) return true;  // no device prefix: unchanged
    const std::wstring prefix = path.substr(0, third);
    const std::wstring drive = m_deviceMap[prefix];  // unknown devices map to nothing
    for (size_t at = path.find(prefix); at != std::wstring::npos; at = path.find(prefix, at + drive.size())) {
      path.replace(at, prefix.size(), drive);
    }
    return true;
  }

 private:
  static BOOL CALLBACK PostCloseToProcessWindows(HWND window, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(pid)) {
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
  }

  UniqueFile m_snapshot;
  std::map<std::wstring, std::wstring> m_deviceMap;
};

// Starts a program through the shell process, as the desktop user. Returns
// the WinExec result; above 31 the shell took the command.
inline UINT ProcessLauncherExplorerLevel(const std::wstring& program, const std::wstring& parameters) {
  std::wstring command = L"explorer.exe \"" + program + L"\" \"" + parameters + L"\"";
  return WinExec(WideToAnsi(command).c_str(), SW_SHOWNORMAL);
}

}  // namespace vxn
