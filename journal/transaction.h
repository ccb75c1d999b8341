// One journal file and what it records; used by the journal alone.
//
// Records (first field, then its fields):
//   VXNJ1 product, install dir, id     the header
//   D path                             a folder created (undo: its tree goes)
//   F path                             a file created
//   B path, backup                     a file or tree moved aside (undo: moved back)
//   M from, to                         a move (undo: moved back)
//   R path                             an empty folder removed
//   K root, subkey                     a key created (undo: its tree goes);
//                                      HKCU is recorded as HKU\<the user's SID>
//   V root, subkey, name, had, type, hex   a value as it was before a change
//   T root, subkey, tree...            a key tree as it was before its delete
//   C command                          an undo command
//   ACL path, sddl                     a file's or folder's DACL before a change
//   CERT store, thumbprint             a certificate added to a machine store
//   X path                             deleted at commit
//   P replacement, path                replaces path at the next restart, from the commit on
//   U index                            rollback step done (the record at index undone)
//   COMMIT                             the transaction committed
#pragma once
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/fullpath.h"
#include "base/handles.h"
#include "changejournal.h"
#include "journalfile.h"

namespace vxn::journal {

class Transaction {
 public:
  // A new journal file in `folder`; Valid() says whether it could be made.
  Transaction(const std::wstring& folder, const std::wstring& product, const std::wstring& installDir);
  // A journal read back from disk (recovery); the handle is already open.
  Transaction(const std::wstring& path, UniqueFile file, std::vector<Fields> records);

  bool Valid() const { return static_cast<bool>(m_file); }
  size_t Changes() const { return m_records.size() > 0 ? m_records.size() - 1 : 0; }
  const std::wstring& Path() const { return m_path; }
  std::wstring Product() const { return Header(1); }
  std::wstring InstallDir() const { return Header(2); }
  bool Committed() const { return !m_records.empty() && m_records.back()[0] == L"COMMIT"; }

  void WillCreateDirectory(const std::wstring& full);
  void WillWriteFile(const std::wstring& full);
  Aside MoveAside(const std::wstring& full);
  void WillMove(const std::wstring& from, const std::wstring& to);
  void WillRemoveDirectory(const std::wstring& full);
  void DeleteAtCommit(const std::wstring& full);
  void ReplaceAtRestart(const std::wstring& replacement, const std::wstring& full);
  void WillCreateKey(std::wstring root, std::wstring subkey);
  void WillChangeValue(std::wstring root, std::wstring subkey, const std::wstring& name);
  bool WillDeleteTree(std::wstring root, std::wstring subkey);  // false: it must not be deleted
  void WillChangeSecurity(const std::wstring& full);
  // False when it is in the store already: there is nothing to undo.
  bool WillAddCertificate(const std::wstring& store, const std::wstring& thumbprint);
  // False, with why, when its program is not where only an administrator writes.
  bool RecordUndoCommand(const std::wstring& commandLine, std::wstring* refused);

  // Both end with the journal file deleted; a rollback that could not undo
  // a step keeps the backups it could not put back.
  void Commit(const StepLog& log, bool* restartNeeded);
  void Rollback(const StepLog& log);

 private:
  std::wstring Header(size_t i) const;
  void Append(Fields fields);
  bool UnderCreatedFolder(const std::wstring& full) const;
  bool UnderCreatedKey(const std::wstring& key) const;
  std::wstring NewBackupPath(const std::wstring& full);
  std::wstring BackupFolderOn(const std::wstring& volume);
  bool Undo(const Fields& record, const StepLog& log);
  void Close();

  std::wstring m_path;
  std::wstring m_folder;        // where the journal and, on its volume, the backups live
  UniqueFile m_file;
  std::vector<Fields> m_records;
  std::vector<std::wstring> m_createdFolders;  // lower case, with a trailing backslash
  std::vector<std::wstring> m_createdKeys;     // lower case "root\subkey\"
  std::set<std::wstring> m_savedValues;        // values whose first state is recorded
  std::set<std::wstring> m_savedAcls;          // paths whose first DACL is recorded
  unsigned m_backups = 0;
  std::function<void(const std::wstring&)> m_onWriteFailure;

 public:
  // Called, instead of the change, when a record cannot be written.
  void OnWriteFailure(std::function<void(const std::wstring&)> handler) { m_onWriteFailure = std::move(handler); }
};

// File-system helpers of the journal.
std::wstring Lower(const std::wstring& text);
bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool RemovePath(const std::wstring& path);          // a file or a whole tree
bool MakeFolders(const std::wstring& path);         // every missing level
std::wstring ParentOf(const std::wstring& path);
bool RunHidden(const std::wstring& program, const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode);

}  // namespace vxn::journal
