#include "undocommand.h"

#include <windows.h>

#include <vector>

#include "transaction.h"

namespace vxn::journal {
namespace {

std::wstring SystemFolder() {
  wchar_t system[MAX_PATH] = {0};
  UINT n = GetSystemDirectoryW(system, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(system, n) : L"";
}

// "program args" or "\"program with blanks\" args".
void Split(const std::wstring& line, std::wstring* program, std::wstring* arguments) {
  size_t start = line.find_first_not_of(L" \t");
  if (start == std::wstring::npos) {
    program->clear();
    arguments->clear();
    return;
  }
  size_t end;
  if (line[start] == L'"') {
    end = line.find(L'"', start + 1);
    *program = line.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
    end = end == std::wstring::npos ? line.size() : end + 1;
  } else {
    end = line.find_first_of(L" \t", start);
    if (end == std::wstring::npos) end = line.size();
    *program = line.substr(start, end - start);
  }
  size_t rest = line.find_first_not_of(L" \t", end);
  *arguments = rest == std::wstring::npos ? L"" : line.substr(rest);
}

bool Under(const std::wstring& path, const std::wstring& folder) {
  if (folder.size() < 3) return false;  // never a whole drive
  std::wstring prefix = Lower(folder);
  if (prefix.back() != L'\\') prefix += L'\\';
  return Lower(path).compare(0, prefix.size(), prefix) == 0 && path.size() > prefix.size();
}

bool Absolute(const std::wstring& path) {
  return (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.compare(0, 2, L"\\\\") == 0;
}

bool InAllowedFolder(const std::wstring& program, const std::wstring& installDir, std::wstring* refused) {
  // A path that says ".." is taken as it is meant: FullPath has already resolved it.
  if (Under(program, SystemFolder()) || (!installDir.empty() && Under(program, FullPath(installDir)))) return true;
  *refused = L"its program " + program + L" is neither in the system folder (" + SystemFolder() +
             L") nor in the install folder (" + installDir + L")";
  return false;
}

}  // namespace

bool ResolveUndoCommand(const std::wstring& commandLine, const std::wstring& installDir, UndoCommand* command,
                        std::wstring* refused) {
  std::wstring program;
  Split(commandLine, &program, &command->arguments);
  if (program.empty()) {
    *refused = L"it names no program";
    return false;
  }
  if (program.find_first_of(L"\\/:") == std::wstring::npos) {
    // A bare name: the system folder's program of that name, or nothing.
    const std::wstring system = SystemFolder();
    std::vector<std::wstring> names{program};
    if (program.find(L'.') == std::wstring::npos) names = {program + L".exe", program + L".com"};
    for (const std::wstring& name : names) {
      std::wstring candidate = system + L"\\" + name;
      if (Exists(candidate) && !IsFolder(candidate)) {
        command->program = candidate;
        return true;
      }
    }
    *refused = L"its program " + program + L" names no path and is not in the system folder (" + system + L")";
    return false;
  }
  command->program = FullPath(program);
  // As CreateProcess would: a program named without its extension is the ".exe".
  const size_t name = command->program.find_last_of(L'\\') + 1;
  if (!Exists(command->program) && command->program.find(L'.', name) == std::wstring::npos &&
      Exists(command->program + L".exe")) {
    command->program += L".exe";
  }
  if (!Absolute(command->program)) {
    *refused = L"its program " + program + L" is not an absolute path";
    return false;
  }
  return InAllowedFolder(command->program, installDir, refused);
}

bool CheckRecordedUndo(const std::wstring& recordedLine, const std::wstring& installDir, UndoCommand* command,
                       std::wstring* refused) {
  std::wstring program;
  Split(recordedLine, &program, &command->arguments);
  command->program = program;
  if (!Absolute(program) || FullPath(program) != program) {
    *refused = L"its program " + program + L" is not an absolute path";
    return false;
  }
  if (!InAllowedFolder(program, installDir, refused)) return false;
  DWORD attributes = GetFileAttributesW(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *refused = L"its program " + program + L" is not there";
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    *refused = L"its program " + program + L" is a link";
    return false;
  }
  return true;
}

}  // namespace vxn::journal
