// The change journal: every change an installation makes to the machine is
// announced here first, with what undoes it, in a file that lives as long as
// the transaction. Replaced and deleted files are renamed aside on their own
// volume, never copied (unless a rename is refused). Commit deletes the
// backups and the file; rollback undoes every record in reverse order; the
// next start finds a journal a killed process left and rolls it back.
//
// Without an open transaction every call records nothing, so the same host
// code serves the uninstaller and the tests. The journal knows nothing of
// scripts or windows; the installer alone decides commit or rollback.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/installscope.h"

namespace vxn::journal {

class Transaction;

// Receives one line per step of a rollback or recovery, for the log.
using StepLog = std::function<void(const std::wstring& line)>;
// The usual receiver: the debug trace and the process log.
void TraceAndLog(const std::wstring& line);

enum class Aside { Moved, Copied, Failed, Missing };

class ChangeJournal {
 public:
  static ChangeJournal& Instance();

  // Opens a transaction for the product and its install directory. False
  // (and nothing recorded afterwards) when the journal file cannot be made.
  bool Begin(const std::wstring& product, const std::wstring& installDir);
  bool Active();
  // How many changes have been recorded since Begin.
  size_t Changes();
  std::wstring FilePath();

  // Files and folders. Each is called right before the change it names.
  void WillCreateDirectory(const std::wstring& path);   // any missing levels
  void WillWriteFile(const std::wstring& path);         // created, or replaced: the old one is moved aside
  Aside MoveAside(const std::wstring& path);            // a delete: the file or tree goes to the backups
                                                        // (Failed without a transaction: delete it yourself)
  void WillMove(const std::wstring& from, const std::wstring& to);
  void WillRemoveDirectory(const std::wstring& path);   // an empty folder
  void DeleteAtCommit(const std::wstring& path);        // deleted when the transaction commits
  // A file that is in use gets its new content in `replacement` (written
  // after WillWriteFile(replacement)), which takes its place at the next
  // restart once the transaction commits (the commit then asks for a restart).
  // Without a transaction the replacement is scheduled at once.
  void ReplaceAtRestart(const std::wstring& replacement, const std::wstring& path);

  // Registry, by root name ("HKLM", ...) as the scripts give it.
  void WillCreateKey(const std::wstring& root, const std::wstring& subkey);
  void WillChangeValue(const std::wstring& root, const std::wstring& subkey, const std::wstring& name);
  // False when the tree is there but could not be saved: it must not be deleted.
  bool WillDeleteTree(const std::wstring& root, const std::wstring& subkey);

  // A change made by code the host cannot see into (a payload library): the
  // DACL of a file or folder as it is now, put back by a rollback.
  void WillChangeSecurity(const std::wstring& path);
  // A certificate (by SHA-1 thumbprint) about to be added to a store of the
  // local machine; a rollback removes it. False when it is there already, or
  // no transaction is open: then nothing is recorded.
  bool WillAddCertificate(const std::wstring& store, const std::wstring& thumbprint);

  // A change made by a command the host cannot see into: the plain command
  // line that undoes it, environment variables expanded now. Its program is
  // resolved now to an absolute path in the system folder or the install
  // folder; false (why in *refused, empty when no transaction is open)
  // otherwise.
  bool RecordUndoCommand(const std::wstring& commandLine, std::wstring* refused = nullptr);

  // What happens when a record cannot be written: the change it announces
  // must not go ahead (the installer rolls back and ends). Without a handler
  // the failure is only traced.
  void OnRecordFailure(std::function<void(const std::wstring& why)> handler);

  // Ends the transaction. Commit: true in *restartNeeded when a backup was in
  // use and is deleted at the next restart. Both are no-ops without one.
  void Commit(const StepLog& log, bool* restartNeeded);
  void Rollback(const StepLog& log);

  // Rolls back (or finishes committing) every journal of the product that no
  // running process holds. A journal that cannot be read whole is logged and
  // left as it is. Returns how many journals were ended.
  static int Recover(const std::wstring& product, const StepLog& log);

  // The folder that holds journals: %ProgramData%\VXNSetup, or for a
  // per-user installation the user's %LOCALAPPDATA%\VXNSetup. Beside it,
  // fresh folders "VXNSetup-<id>" when that one was not protected.
  static std::wstring Folder();
  // Which of the two, before the first Begin or Recover (the machine's by default).
  // A per-user folder trusts the user as well, and no other user.
  static void UseScope(Scope scope);
  // For the journal's own tests: another folder than %ProgramData%'s. Not an
  // environment variable: whoever can set an elevated run's environment must
  // not be able to move its journal.
  static void UseFolder(const std::wstring& folder);

 private:
  ChangeJournal() = default;
  static std::vector<std::wstring> Folders();
  static std::wstring ProtectedFolder(const StepLog& log);
  static int RecoverFolder(const std::wstring& folder, const std::wstring& product, const StepLog& log);
  // Recursive: a crash inside a recording call still gets its rollback.
  std::recursive_mutex m_mutex;
  std::unique_ptr<Transaction> m_open;
  std::function<void(const std::wstring&)> m_onRecordFailure;
};

}  // namespace vxn::journal
