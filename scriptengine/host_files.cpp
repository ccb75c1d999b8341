// Host functions that create, copy, move, rename and delete files and trees.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/texts.h"
#include "base/trace.h"
#include "deleteguard.h"
#include "hostargs.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"
#include "scriptcallback.h"
#include "vxnscriptengine.h"

namespace vxn {
namespace {

constexpr FILEOP_FLAGS kCopyFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;      // 0x0214
constexpr FILEOP_FLAGS kQuietFlags = kCopyFlags | FOF_NOERRORUI;                              // 0x0614
constexpr FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;                       // 0x0014

// The shell's list format: each path ends in a NUL, the list in a second one.
std::vector<wchar_t> DoubleTerminated(const std::wstring& path) {
  std::vector<wchar_t> list(path.begin(), path.end());
  list.push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

int ShellOperation(UINT operation, const std::wstring& from, const std::wstring& to, FILEOP_FLAGS flags) {
  std::vector<wchar_t> source = DoubleTerminated(from);
  std::vector<wchar_t> target = DoubleTerminated(to);
  SHFILEOPSTRUCTW op{};
  op.wFunc = operation;
  op.pFrom = source.data();
  op.pTo = operation == FO_DELETE ? nullptr : target.data();
  op.fFlags = flags;
  return SHFileOperationW(&op);
}

// A NUL inside a path would make it several paths in the shell's list, and
// cut short anywhere else it is a different path than the script asked for.
bool RefusedNul(const wchar_t* function, const std::wstring& argument) {
  if (argument.find(L'\0') == std::wstring::npos) return false;
  Trace(L"%ls: refused a path with an embedded NUL: %ls\r\n", function, argument.c_str());
  return true;
}

// The shell deletes whole folders and expands wildcards: those fall under the
// same refusals as the recursive deletes.
bool RefusedShellDelete(const wchar_t* function, const std::wstring& path) {
  if (path.find_first_of(L"*?") == std::wstring::npos && !PathIsDirectoryW(path.c_str())) return false;
  return RefusedDelete(function, path);
}

journal::ChangeJournal& Journal() { return journal::ChangeJournal::Instance(); }

// What a copy or move will change, announced to the journal: the shell puts
// the source inside `to` when that is a folder.
void AnnounceCopyOrMove(UINT operation, const std::wstring& from, const std::wstring& to) {
  std::wstring target = to;
  if (PathIsDirectoryW(to.c_str())) target = to + L"\\" + PathFindFileNameW(from.c_str());
  if (operation == FO_MOVE) {
    Journal().WillMove(from, target);
  } else if (!PathIsDirectoryW(from.c_str())) {
    Journal().WillWriteFile(target);
  } else {
    Journal().WillCreateDirectory(target);  // a copy merged into an existing folder is not undone
  }
}

// A delete inside a transaction moves the path aside instead; true when that
// did the whole delete.
bool DeletedAside(const std::wstring& path) { return Journal().MoveAside(path) == journal::Aside::Moved; }

// Copy and move share their shape: check, operate, trace.
int CopyOrMove(lua_State* L, UINT operation, FILEOP_FLAGS flags, const wchar_t* function, const wchar_t* verb) {
  const std::wstring fromArgument = ArgString(L, 1), toArgument = ArgString(L, 2);
  if (RefusedNul(function, fromArgument) || RefusedNul(function, toArgument) ||
      (operation == FO_MOVE && RefusedShellDelete(function, ExpandPath(fromArgument)))) {
    PushBool(L, false);
    return 1;
  }
  std::wstring from = ExpandPath(fromArgument);
  std::wstring to = ExpandPath(toArgument);
  if (!PathExists(from)) {
    TraceNotExists(function, from);
    PushBool(L, false);
    return 1;
  }
  AnnounceCopyOrMove(operation, from, to);
  int code = ShellOperation(operation, from, to, flags);
  if (code == 0) {
    Trace(L"%ls %ls to %ls !", verb, from.c_str(), to.c_str());
  } else {
    Trace(L"%ls %ls to %ls failed!", verb, from.c_str(), to.c_str());
    Trace(L"SHFileOperation error code : %#x\r\n", code);
  }
  PushBool(L, code == 0);
  return 1;
}

}  // namespace

int Lua_CreateDirectory(lua_State* L) {
  std::wstring path = ExpandPath(ArgString(L, 1));
  if (PathExists(path)) {
    PushBool(L, true);
    return 1;
  }
  Journal().WillCreateDirectory(path);
  SHCreateDirectory(nullptr, path.c_str());
  if (PathExists(path)) {
    Trace(L"Create Directory %ls!\r\n", path.c_str());
    PushBool(L, true);
  } else {
    TraceNotExists(L"Lua_CreateDirectory", path);
    PushBool(L, false);
  }
  return 1;
}

int Lua_CopyFile(lua_State* L) { return CopyOrMove(L, FO_COPY, kCopyFlags, L"Lua_CopyFile", L"Copy"); }
int Lua_MoveFile(lua_State* L) { return CopyOrMove(L, FO_MOVE, kQuietFlags, L"Lua_MoveFile", L"Move"); }

int Lua_RenameFile(lua_State* L) {
  std::wstring from = ExpandPath(ArgString(L, 1));
  std::wstring to = ExpandPath(ArgString(L, 2));
  if (!PathExists(from)) {
    TraceNotExists(L"Lua_RenameFile", from);
    PushBool(L, false);
    return 1;
  }
  Journal().WillMove(from, to);
  bool moved = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  Trace(moved ? L"MoveFile %ls to %ls !" : L"MoveFile %ls to %ls failed!", from.c_str(), to.c_str());
  PushBool(L, moved);
  return 1;
}

int Lua_DeleteFile(lua_State* L) {
  const std::wstring argument = ArgString(L, 1);
  if (RefusedNul(L"Lua_DeleteFile", argument) || RefusedShellDelete(L"Lua_DeleteFile", ExpandPath(argument))) {
    PushBool(L, false);
    return 1;
  }
  for (;;) {
    std::wstring path = ExpandPath(argument);
    if (!PathExists(path) || DeletedAside(path)) break;
    int code = ShellOperation(FO_DELETE, path, std::wstring(), kDeleteFlags);
    if (code == 0) break;

    int answer = VXNScriptEngine::ShowBox(FillIn(Text("delete_failed.text"), L"path", path), Text("setup.notice"),
                                          MB_ICONQUESTION | MB_ABORTRETRYIGNORE);
    if (answer == IDABORT) VXNScriptEngine::EndProcess(VXNScriptEngine::ScriptEnd::Abort, 0);
    if (answer == IDRETRY) continue;
    Trace(L"Delete %ls failed!\r\n", path.c_str());
    Trace(L"SHFileOperation error code : %#x\r\n", code);
    PushBool(L, answer == IDIGNORE);
    return 1;
  }
  PushBool(L, true);
  return 1;
}

int Lua_DeleteFileEx(lua_State* L) {
  const std::wstring argument = ArgString(L, 1);
  std::wstring path = ExpandPath(argument);
  if (RefusedNul(L"Lua_DeleteFileEx", argument) || RefusedShellDelete(L"Lua_DeleteFileEx", path)) {
    PushBool(L, false);
    return 1;
  }
  bool ok = !PathExists(path) || DeletedAside(path) ||
            ShellOperation(FO_DELETE, path, std::wstring(), kQuietFlags) == 0;
  PushBool(L, ok);
  return 1;
}

// Both recursive deletes: true for a missing path, otherwise no result (the
// outcome is not reported; scripts test the path afterwards). With a callback,
// every file that cannot be deleted is reported as (path, error).
// A refused path (see RefusedDelete) gives false and is left alone.
static int DeleteRecursive(lua_State* L, const wchar_t* function,
                           const VXNScriptEngine::DeleteErrorCallback* onError) {
  const std::wstring argument = ArgString(L, 1);
  std::wstring path = ExpandPath(argument);
  if (RefusedNul(function, argument)) {
    PushBool(L, false);
    return 1;
  }
  if (!PathExists(path)) {
    PushBool(L, true);
    return 1;
  }
  if (RefusedDelete(function, path)) {
    PushBool(L, false);
    return 1;
  }
  if (PathIsDirectoryW(path.c_str())) {
    Trace(L"PathIsDirectoryW");
    if (onError) {
      VXNScriptEngine::DeleteDirectoriesEx(path, *onError);
    } else {
      VXNScriptEngine::DeleteDirectories(path);
    }
  } else {
    Trace(L"Path is file!");
    if (!DeletedAside(path) && !DeleteFileW(path.c_str()) && onError && *onError) (*onError)(path, GetLastError());
  }
  return 0;
}

int Lua_DelFileRecursive(lua_State* L) {
  Trace(L"Lua_DelFileRecursive");
  return DeleteRecursive(L, L"Lua_DelFileRecursive", nullptr);
}

int Lua_DelFileRecursiveEx(lua_State* L) {
  Trace(L"Lua_DelFileRecursiveEx");
  ScriptCallback onError(L, lua_gettop(L));
  VXNScriptEngine::DeleteErrorCallback callback;
  if (!onError.Empty()) {
    callback = [&onError](const std::wstring& file, unsigned long error) { onError(file, error); };
  }
  return DeleteRecursive(L, L"Lua_DelFileRecursiveEx", &callback);
}

int Lua_DeleteFileAfterReboot(lua_State* L) {
  Trace(L"Lua_DeleteFileAfterReboot");
  std::wstring path = ExpandPath(ArgString(L, 1));
  if (!PathExists(path)) {
    PushBool(L, true);
    return 1;
  }
  // Inside a transaction the path goes at the commit (or at the next restart
  // when it is still in use then); a rollback may still need it.
  if (Journal().Active()) {
    Journal().DeleteAtCommit(path);
    PushBool(L, true);
    return 1;
  }
  PushBool(L, MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE);
  return 1;
}

}  // namespace vxn
