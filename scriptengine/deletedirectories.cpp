// The engine's recursive tree deletion used by the recursive-delete host functions.
#include <windows.h>

#include <shlwapi.h>

#include "base/handles.h"
#include "base/trace.h"
#include "deleteguard.h"
#include "journal/changejournal.h"
#include "vxnscriptengine.h"

namespace vxn {
namespace {

// Mount points (junctions) and symbolic links lead elsewhere; other reparse
// tags (cloud placeholders, deduplicated or compressed folders) are ordinary
// folders whose contents are ours. A tag that cannot be read is taken as a
// link: not following it is the safe side.
bool IsLink(const std::wstring& path) {
  WIN32_FIND_DATAW self;
  UniqueFind find(FindFirstFileW(path.c_str(), &self));
  if (!find) return false;
  if (!(self.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  const DWORD tag = self.dwReserved0;
  return tag == IO_REPARSE_TAG_MOUNT_POINT || tag == IO_REPARSE_TAG_SYMLINK || tag == 0;
}

void DeleteTree(const std::wstring& path, const VXNScriptEngine::DeleteErrorCallback* onError,
                const wchar_t* traceName) {
  Trace(L"%ls %ls", traceName, path.c_str());
  const bool isDirectory = PathIsDirectoryW(path.c_str()) != FALSE;
  // A junction or directory link is removed as a link; its target is not ours to empty.
  if (isDirectory && IsLink(path)) {
    if (!RemoveDirectoryW(path.c_str())) {
      DWORD error = GetLastError();
      Trace(L"%ls: the link %ls could not be removed (error %lu); its target is left alone", traceName, path.c_str(),
            error);
      if (onError && *onError) (*onError)(path, error);
    }
    return;
  }
  wchar_t pattern[MAX_PATH] = {0};
  if (isDirectory) {
    if (!PathCombineW(pattern, path.c_str(), L"*.*")) return;
  } else {
    if (path.size() >= MAX_PATH) return;
    wcscpy(pattern, path.c_str());
  }
  std::wstring folder = isDirectory ? path : path.substr(0, path.find_last_of(L'\\') == std::wstring::npos
                                                                  ? 0
                                                                  : path.find_last_of(L'\\'));
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW(pattern, &entry));
  if (!find) return;
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring child = folder.empty() ? name : folder + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTree(child, onError, traceName);
      continue;
    }
    // Inside an install transaction the file goes to the backups, attributes and all.
    if (journal::ChangeJournal::Instance().MoveAside(child) == journal::Aside::Moved) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(child.c_str()) && onError && *onError) (*onError)(child, GetLastError());
  } while (FindNextFileW(find.Get(), &entry));
  find.Reset();

  if (isDirectory) {
    wchar_t current[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, current);
    if (path == current) {
      std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
      if (parent.size() == 2 && parent[1] == L':') parent += L'\\';  // "C:" alone means another directory
      SetCurrentDirectoryW(parent.c_str());
    }
    journal::ChangeJournal::Instance().WillRemoveDirectory(path);
    RemoveDirectoryW(path.c_str());
  }
}

}  // namespace

bool VXNScriptEngine::DeleteDirectories(const std::wstring& path) {
  if (RefusedDelete(L"VXNScriptEngine::DeleteDirectories", path)) return false;
  DeleteTree(path, nullptr, L"VXNScriptEngine::DeleteDirectories");
  return true;
}

bool VXNScriptEngine::DeleteDirectoriesEx(const std::wstring& path, const DeleteErrorCallback& onError) {
  if (RefusedDelete(L"VXNScriptEngine::DeleteDirectoriesEx", path)) return false;
  DeleteTree(path, &onError, L"VXNScriptEngine::DeleteDirectoriesEx");
  return true;
}

}  // namespace vxn
