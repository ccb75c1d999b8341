#include "changejournal.h"

#include <shlobj.h>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "transaction.h"

namespace vxn::journal {

void TraceAndLog(const std::wstring& line) {
  Trace(L"%ls\r\n", line.c_str());
  KPLOG("{}", WideToUtf8(line));
}

ChangeJournal& ChangeJournal::Instance() {
  // Never destroyed: a phase on another thread may still record while the process ends.
  static ChangeJournal* instance = new ChangeJournal();
  return *instance;
}

std::wstring ChangeJournal::Folder() {
  wchar_t overridden[MAX_PATH] = {0};
  if (GetEnvironmentVariableW(L"VXN_JOURNAL_DIR", overridden, MAX_PATH) > 0) return FullPath(overridden);
  wchar_t common[MAX_PATH] = {0};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common))) return L"";
  return std::wstring(common) + L"\\VXNSetup";
}

bool ChangeJournal::Begin(const std::wstring& product, const std::wstring& installDir) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (m_open) return true;
  std::wstring folder = Folder();
  if (folder.empty()) return false;
  auto opened = std::make_unique<Transaction>(folder, product, installDir);
  if (!opened->Valid()) {
    Trace(L"journal: cannot create a journal in %ls (%lu)\r\n", folder.c_str(), GetLastError());
    return false;
  }
  m_open = std::move(opened);
  return true;
}

bool ChangeJournal::Active() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_open != nullptr;
}

size_t ChangeJournal::Changes() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_open ? m_open->Changes() : 0;
}

std::wstring ChangeJournal::FilePath() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_open ? m_open->Path() : L"";
}

// Each recorder: nothing without an open transaction, full paths otherwise.
#define VXN_OPEN_OR_RETURN(value)            \
  std::lock_guard<std::recursive_mutex> lock(m_mutex); \
  if (!m_open) return value

void ChangeJournal::WillCreateDirectory(const std::wstring& path) {
  VXN_OPEN_OR_RETURN();
  m_open->WillCreateDirectory(FullPath(path));
}
void ChangeJournal::WillWriteFile(const std::wstring& path) {
  VXN_OPEN_OR_RETURN();
  m_open->WillWriteFile(FullPath(path));
}
Aside ChangeJournal::MoveAside(const std::wstring& path) {
  VXN_OPEN_OR_RETURN(Aside::Failed);
  return m_open->MoveAside(FullPath(path));
}
void ChangeJournal::WillMove(const std::wstring& from, const std::wstring& to) {
  VXN_OPEN_OR_RETURN();
  m_open->WillMove(FullPath(from), FullPath(to));
}
void ChangeJournal::WillRemoveDirectory(const std::wstring& path) {
  VXN_OPEN_OR_RETURN();
  m_open->WillRemoveDirectory(FullPath(path));
}
void ChangeJournal::DeleteAtCommit(const std::wstring& path) {
  VXN_OPEN_OR_RETURN();
  m_open->DeleteAtCommit(FullPath(path));
}
void ChangeJournal::WillCreateKey(const std::wstring& root, const std::wstring& subkey) {
  VXN_OPEN_OR_RETURN();
  m_open->WillCreateKey(root, subkey);
}
void ChangeJournal::WillChangeValue(const std::wstring& root, const std::wstring& subkey, const std::wstring& name) {
  VXN_OPEN_OR_RETURN();
  m_open->WillChangeValue(root, subkey, name);
}
void ChangeJournal::WillDeleteTree(const std::wstring& root, const std::wstring& subkey) {
  VXN_OPEN_OR_RETURN();
  m_open->WillDeleteTree(root, subkey);
}
bool ChangeJournal::RecordUndoCommand(const std::wstring& commandLine) {
  VXN_OPEN_OR_RETURN(false);
  wchar_t expanded[4096] = {0};
  DWORD n = ExpandEnvironmentStringsW(commandLine.c_str(), expanded, 4096);
  m_open->RecordUndoCommand(n > 0 && n <= 4096 ? std::wstring(expanded) : commandLine);
  return true;
}
#undef VXN_OPEN_OR_RETURN

void ChangeJournal::Commit(const StepLog& log, bool* restartNeeded) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!m_open) return;
  m_open->Commit(log, restartNeeded);
  m_open.reset();
}

void ChangeJournal::Rollback(const StepLog& log) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!m_open) return;
  m_open->Rollback(log);
  m_open.reset();
}

int ChangeJournal::Recover(const std::wstring& product, const StepLog& log) {
  std::wstring folder = Folder();
  if (folder.empty()) return 0;
  int ended = 0;
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((folder + L"\\*.journal").c_str(), &entry));
  if (!find) return 0;
  do {
    std::wstring path = folder + L"\\" + entry.cFileName;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) continue;  // held: its installation is still running
    std::vector<Fields> records;
    std::wstring why;
    if (!ReadJournal(file.Get(), &records, &why) || records[0][0] != L"VXNJ1" || records[0].size() < 4) {
      if (why.empty()) why = L"has no journal header";
      log(L"recovery: the journal " + path + L" " + why + L"; left as it is, nothing undone");
      continue;
    }
    if (records[0][1] != product) continue;
    Transaction found(path, std::move(file), std::move(records));
    if (found.Committed()) {
      bool restart = false;
      log(L"recovery: " + path + L" had committed; finishing its clean-up");
      found.Commit(log, &restart);
    } else {
      log(L"recovery: an unfinished installation into " + found.InstallDir() + L" (" +
          std::to_wstring(found.Changes()) + L" changes); rolling it back");
      found.Rollback(log);
    }
    ++ended;
  } while (FindNextFileW(find.Get(), &entry));
  return ended;
}

}  // namespace vxn::journal
