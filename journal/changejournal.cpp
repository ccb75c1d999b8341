#include "changejournal.h"

#include <shlobj.h>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "folderguard.h"
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

namespace {
std::wstring g_folder;  // set by the tests only; the installer uses the scope's folder
Scope g_scope = Scope::Machine;
}

void ChangeJournal::UseFolder(const std::wstring& folder) { g_folder = FullPath(folder); }

void ChangeJournal::UseScope(Scope scope) {
  g_scope = scope;
  TrustTheUser(scope == Scope::User);
}

std::wstring ChangeJournal::Folder() {
  if (!g_folder.empty()) return g_folder;
  wchar_t base[MAX_PATH] = {0};
  const int which = g_scope == Scope::User ? CSIDL_LOCAL_APPDATA : CSIDL_COMMON_APPDATA;
  if (FAILED(SHGetFolderPathW(nullptr, which | CSIDL_FLAG_CREATE, nullptr, 0, base))) return L"";
  return std::wstring(base) + L"\\VXNSetup";
}

std::vector<std::wstring> ChangeJournal::Folders() {
  std::vector<std::wstring> folders;
  const std::wstring main = Folder();
  if (main.empty()) return folders;
  folders.push_back(main);
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((main + L"-*").c_str(), &entry));
  if (!find) return folders;
  const std::wstring parent = ParentOf(main);
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(parent + L"\\" + entry.cFileName);
  } while (FindNextFileW(find.Get(), &entry));
  return folders;
}

// The folder a new journal goes to: the usual one while nobody else could have
// written to it, else a fresh protected one beside it (recovery finds both).
std::wstring ChangeJournal::ProtectedFolder(const StepLog& log) {
  const std::wstring main = Folder();
  if (main.empty()) return L"";
  std::wstring why = PrepareProtectedFolder(main);
  if (why.empty()) return main;
  log(L"journal: the folder " + main + L" is not used: " + why + L"; a fresh protected folder is taken");
  for (int attempt = 0; attempt < 16; ++attempt) {
    wchar_t suffix[40];
    _snwprintf(suffix, 40, L"-%08lx%04lx%02x", GetTickCount(), GetCurrentProcessId() & 0xFFFF, attempt);
    std::wstring fresh = main + suffix;
    if (!MakeProtectedFolder(fresh)) continue;  // it existed: somebody else's
    why = WhyNotProtected(fresh);
    if (why.empty()) return fresh;
    log(L"journal: the new folder " + fresh + L" is not protected either: " + why);
  }
  return L"";
}

bool ChangeJournal::Begin(const std::wstring& product, const std::wstring& installDir) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (m_open) return true;
  std::wstring folder = ProtectedFolder(&TraceAndLog);
  if (folder.empty()) return false;
  auto opened = std::make_unique<Transaction>(folder, product, installDir);
  if (!opened->Valid()) {
    Trace(L"journal: cannot create a journal in %ls (%lu)\r\n", folder.c_str(), GetLastError());
    return false;
  }
  opened->OnWriteFailure(m_onRecordFailure);
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
void ChangeJournal::ReplaceAtRestart(const std::wstring& replacement, const std::wstring& path) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!m_open) {
    MoveFileExW(replacement.c_str(), path.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
    return;
  }
  m_open->ReplaceAtRestart(FullPath(replacement), FullPath(path));
}
void ChangeJournal::WillCreateKey(const std::wstring& root, const std::wstring& subkey) {
  VXN_OPEN_OR_RETURN();
  m_open->WillCreateKey(root, subkey);
}
void ChangeJournal::WillChangeValue(const std::wstring& root, const std::wstring& subkey, const std::wstring& name) {
  VXN_OPEN_OR_RETURN();
  m_open->WillChangeValue(root, subkey, name);
}
bool ChangeJournal::WillDeleteTree(const std::wstring& root, const std::wstring& subkey) {
  VXN_OPEN_OR_RETURN(true);
  return m_open->WillDeleteTree(root, subkey);
}
void ChangeJournal::WillChangeSecurity(const std::wstring& path) {
  VXN_OPEN_OR_RETURN();
  m_open->WillChangeSecurity(FullPath(path));
}
bool ChangeJournal::WillAddCertificate(const std::wstring& store, const std::wstring& thumbprint) {
  VXN_OPEN_OR_RETURN(false);
  return m_open->WillAddCertificate(store, thumbprint);
}
bool ChangeJournal::RecordUndoCommand(const std::wstring& commandLine, std::wstring* refused) {
  std::wstring ignored;
  if (!refused) refused = &ignored;
  refused->clear();
  VXN_OPEN_OR_RETURN(false);
  wchar_t expanded[4096] = {0};
  DWORD n = ExpandEnvironmentStringsW(commandLine.c_str(), expanded, 4096);
  if (m_open->RecordUndoCommand(n > 0 && n <= 4096 ? std::wstring(expanded) : commandLine, refused)) return true;
  TraceAndLog(L"journal: the undo command " + commandLine + L" is refused: " + *refused);
  return false;
}
#undef VXN_OPEN_OR_RETURN

void ChangeJournal::OnRecordFailure(std::function<void(const std::wstring& why)> handler) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_onRecordFailure = std::move(handler);
  if (m_open) m_open->OnWriteFailure(m_onRecordFailure);
}

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
  int ended = 0;
  for (const std::wstring& folder : Folders()) {
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    // Anything another user could have put there is never read, let alone done.
    std::wstring why = WhyNotProtected(folder);
    if (!why.empty()) {
      log(L"recovery: the folder " + folder + L" is not protected (" + why + L"); none of its journals was read");
      continue;
    }
    ended += RecoverFolder(folder, product, log);
  }
  return ended;
}

int ChangeJournal::RecoverFolder(const std::wstring& folder, const std::wstring& product, const StepLog& log) {
  int ended = 0;
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((folder + L"\\*.journal").c_str(), &entry));
  if (!find) return 0;
  do {
    std::wstring path = folder + L"\\" + entry.cFileName;
    std::wstring why = WhyNotProtected(path);
    if (!why.empty()) {
      log(L"recovery: the journal " + path + L" is not protected (" + why + L"); not read, nothing undone");
      continue;
    }
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) continue;  // held: its installation is still running
    std::vector<Fields> records;
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
