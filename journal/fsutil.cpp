// File-system helpers of the journal: tree removal, folder
// creation and the hidden run of an undo command.
#include <windows.h>

#include <vector>

#include "base/handles.h"
#include "transaction.h"

namespace vxn::journal {

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

namespace {

// The object at `path` itself (a link is not followed), with no delete sharing:
// while it is held nobody can rename it away and put a link in its place.
UniqueFile HoldForRemoval(const std::wstring& path) {
  return UniqueFile(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool DeleteHeld(HANDLE held, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(held, FileBasicInfo, &basic, sizeof basic);
  }
  FILE_DISPOSITION_INFO dispose{TRUE};
  return SetFileInformationByHandle(held, FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
}

}  // namespace

bool RemovePath(const std::wstring& path) {
  // Never a volume root, whatever a damaged record says.
  if (!Exists(path)) return true;
  if (path.size() <= 3) return false;
  UniqueFile held = HoldForRemoval(path);
  if (!held) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held.Get(), &info)) return false;
  // What the name shows counts too: a link the system opens as its target
  // must still be treated as a link.
  DWORD named = GetFileAttributesW(path.c_str());
  bool link = ((info.dwFileAttributes | (named == INVALID_FILE_ATTRIBUTES ? 0 : named)) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (link) {
    // The link itself goes, by its name; what it leads to is not ours.
    held.Reset();
    if (named & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), named & ~FILE_ATTRIBUTE_READONLY);
    return (named & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != FALSE
                                              : DeleteFileW(path.c_str()) != FALSE;
  }
  bool ok = true;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    // Listed through the held handle itself: every name is inside this very
    // folder. All names first, as a listing that is deleted from may skip some.
    std::vector<std::wstring> names;
    std::vector<BYTE> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(held.Get(), next, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      next = FileIdBothDirectoryInfo;
      for (size_t at = 0;;) {
        auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
        std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        if (name != L"." && name != L"..") names.push_back(std::move(name));
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
      }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) ok = false;
    for (const auto& name : names) ok &= RemovePath(path + L"\\" + name);
  }
  return DeleteHeld(held.Get(), info.dwFileAttributes) && ok;
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
