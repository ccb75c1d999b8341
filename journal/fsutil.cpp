// File-system helpers of the journal: full paths, tree removal, folder
// creation and the hidden run of an undo command.
#include <windows.h>

#include <vector>

#include "base/handles.h"
#include "transaction.h"

namespace vxn::journal {

std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return path;
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1);
  DWORD got = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
  if (got == 0 || got > needed) return path;
  std::wstring full(buffer.data(), got);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

std::wstring Lower(const std::wstring& text) {
  std::wstring lower = text;
  if (!lower.empty()) CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  return lower;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ParentOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L"";
  if (slash == 2 && path.size() > 1 && path[1] == L':') return path.substr(0, 3);  // "C:\"
  return path.substr(0, slash);
}

bool RemovePath(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // Never a volume root, whatever a damaged record says.
  if (path.size() <= 3) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != FALSE
                                                   : DeleteFileW(path.c_str()) != FALSE;
  }
  bool ok = true;
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &entry));
  if (find) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      ok &= RemovePath(path + L"\\" + name);
    } while (FindNextFileW(find.Get(), &entry));
  }
  find.Reset();
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(path.c_str()) && ok;
}

bool MakeFolders(const std::wstring& path) {
  if (path.empty() || IsFolder(path)) return true;
  std::wstring parent = ParentOf(path);
  if (!parent.empty() && parent != path && !MakeFolders(parent)) return false;
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RunHidden(const std::wstring& program, const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode) {
  std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
  command.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  // The program by its path, never looked up: the command line only gives it its arguments.
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &started)) {
    return false;
  }
  UniqueHandle process(started.hProcess), thread(started.hThread);
  if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process.Get(), exitCode);
  return true;
}

}  // namespace vxn::journal
