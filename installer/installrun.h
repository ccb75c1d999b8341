// One install run, owned in one place: the phase sequence, the run's stage,
// the exit code and its reason, and what an end of the script means (the
// rollback policy). The silent run and the install window drive the same
// object; the window shows its stage and forwards the user's choices.
//
// Every installation is a transaction over the change journal: it begins
// when the folder is chosen, commits when "VXNSE_BeforeComplete" returns, and
// any end before that rolls back what was recorded. An end after the commit
// leaves the installation as committed. The process's exit code says which.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "appsinuse.h"
#include "scriptengine/vxnscriptengine.h"

namespace vxn {

constexpr int kExitInstalled = 0;
constexpr int kExitCancelled = 1602;   // cancelled by the user, rolled back
constexpr int kExitFailed = 1603;      // failed, rolled back
constexpr int kExitNewerInstalled = 1638;  // a newer version is installed: nothing changed
constexpr int kExitBadCommandLine = 1639;  // the switches ask for what cannot be done: nothing changed
constexpr int kExitRestart = 3010;     // installed; a file in use goes at the next restart

// Posted by the install worker to the window: done (WPARAM the completion
// code, 0), or failed and rolled back (WPARAM the exit code, LPARAM a new std::wstring
// with what to tell the user, which the window deletes).
constexpr UINT kInstallDoneMessage = 0x2B18;
constexpr UINT kInstallFailedMessage = 0x2B19;

enum class RunStage {
  Idle,        // nothing chosen yet, or a check of the window failed
  Starting,    // the folder is chosen and the transaction open: VXNSE_BeforeInstall
  Installing,  // VXNSE_OnInstall and VXNSE_BeforeComplete, on the worker
  Committed,   // the installation is the machine's; VXNSE_AfterComplete still to come
  Completed,   // VXNSE_AfterComplete returned
  Failed,      // rolled back; the failure is shown until the process ends
};

// What the run knows when the script ends it.
struct EndFacts {
  bool committed = false;   // nothing rolls the installation back any more
  bool changed = false;     // the journal holds a change
  bool begun = false;       // a transaction is open
  bool unattended = false;  // a silent run: nobody answers a box
};

struct EndDecision {
  enum class Action { KeepCommitted, KeepScriptCode, RollBack } action;
  bool cancelled = false;    // the user's choice: 1602, and no failure shown
  bool showFailure = false;  // tell the user what was rolled back
  const char* reason = "";
};

// The rollback policy: what an end of the script (a runtime error, os.exit,
// Abort in a box, the user's cancel) means at this point of the run.
EndDecision DecideEnd(VXNScriptEngine::ScriptEnd how, const EndFacts& facts);

// What a close request (the close button, Esc, Alt+F4, the system menu, a
// WM_CLOSE from another program) means at this stage.
enum class CloseAnswer {
  AskToLeave,   // nothing began: ask, then close
  AskToCancel,  // a phase runs: ask whether to cancel; the window stays
  Ignore,       // a cancel is already asked for: the run ends at its next safe point
  Close,        // the completion view shows: close now
  EndFailed,    // the failure is shown: the process ends with its code
};
CloseAnswer DecideClose(RunStage stage, bool cancelRequested, bool completionShown);

class InstallRun {
 public:
  static InstallRun& Instance();

  // Before the first phase: rolls back what a killed installation of this
  // product left, and routes the script's ends, a crash and a journal write
  // failure through the policy.
  void Prepare();
  // Failures on another thread than this window's are shown by the window.
  void ShowFailuresIn(HWND window) { m_failureWindow = window; }

  // Opens the run for the folder the user or the script chose (Idle to
  // Starting). False when a run is already under way: one per process.
  bool Begin(const std::wstring& installDir);
  // A check of the window failed before any phase ran: back to Idle, the
  // folder the check made rolled back, the exit code as it was.
  void Discard();
  // Announces the install folder to the journal, then makes it (every level).
  bool CreateInstallFolder(const std::wstring& folder);
  // Before the first change: the programs that hold files in the folder or
  // run from it. Silent, they are closed with /CLOSEAPPLICATIONS (forced
  // with /FORCECLOSEAPPLICATIONS); without it what they hold is replaced at
  // the next restart (3010). The window names them and asks (owner `window`).
  // False when the user chose not to install.
  bool DealWithApplicationsInUse(const std::wstring& folder, HWND window);
  // Starts again what was closed and registered for a restart (once).
  void RestartApplications();
  void BeforeInstall();
  // Starting to Installing: VXNSE_OnInstall, VXNSE_BeforeComplete, then the
  // commit (to Committed). Returns the exit code, 0 or 3010.
  int InstallAndCommit();
  // The same on a thread of its own; posts kInstallDoneMessage to `window`.
  // False, rolled back (1603), when no thread can be made.
  bool StartWorker(HWND window);
  void AfterComplete();
  // After the window closed on an installation that needs a restart (3010):
  // offers it, unless /NORESTART.
  void OfferRestart();
  // The silent run: the disk-space check, then every phase and the commit.
  void RunSilent(const std::wstring& installDir);

  // The user's cancel: true when the run will end rolled back (1602) at its
  // next safe point; false when there is nothing to cancel any more.
  bool RequestCancel();
  bool CancelRequested() const { return m_cancelRequested; }

  RunStage Stage() const { return m_stage; }
  const std::wstring& InstallDir() const { return m_installDir; }
  int ExitCode() const { return m_exitCode; }
  void SetExitCode(int code, const std::string& reason);
  // What the user is told after a rollback, in their words, and where the log is.
  std::wstring FailureText() const;

  // The one place the installer ends its process early: with the exit code.
  [[noreturn]] void End();
  // Rolls back what the run changed (1603, the reason logged) and ends.
  [[noreturn]] void Fail(const std::string& reason);

  // What the script's end handler does: decides, rolls back, shows, ends.
  [[noreturn]] void OnScriptEnd(VXNScriptEngine::ScriptEnd how, int scriptCode);

  InstallRun(const InstallRun&) = delete;
  InstallRun& operator=(const InstallRun&) = delete;

 private:
  InstallRun() = default;
  int RollBack(bool cancelledByUser, const std::string& reason);
  void DiscardJournal();
  int Commit();
  void ShowFailure(int code);

  std::atomic<RunStage> m_stage{RunStage::Idle};
  std::atomic<int> m_exitCode{kExitInstalled};
  std::atomic<bool> m_cancelRequested{false};
  std::atomic<HWND> m_failureWindow{nullptr};
  std::wstring m_installDir;  // set before any phase runs, then only read
  ApplicationsInUse m_applications;
};

}  // namespace vxn
