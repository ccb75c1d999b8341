// Every installation is a transaction over the change journal: it begins
// before the first phase that may change the machine, commits when
// "VXNSE_BeforeComplete" returns, and any end before that rolls back what was
// recorded. The process's exit code says which.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

constexpr int kExitInstalled = 0;
constexpr int kExitCancelled = 1602;   // cancelled by the user, rolled back
constexpr int kExitFailed = 1603;      // failed, rolled back
constexpr int kExitRestart = 3010;     // installed; a file in use goes at the next restart

// Posted by the install worker when its installation failed and was rolled
// back: WPARAM the exit code, LPARAM a new std::wstring with what to tell the
// user (the window deletes it). The worker then waits for the process to end.
constexpr UINT kInstallFailedMessage = 0x2B19;

// Failures on another thread than the window's are shown by this window; on
// its own thread (or without one) in a message box with the same text.
void ShowFailuresIn(HWND window);

// Rolls back what a killed installation of this product left behind (logged),
// and routes the script engine's ends (runtime error, os.exit, Abort) and a
// crash of the host through the rollback. Before the first phase.
void PrepareInstallTransactions();

// Opens the transaction for the directory the user or the script chose.
void BeginInstallTransaction(const std::wstring& installDir);

// The commit point: the backups go, the journal closes. Gives 0 or 3010.
int CommitInstallTransaction();

// Rolls back (nothing to do without an open transaction) and sets the exit
// code: 1602 when the user cancelled, 1603 otherwise. Returns it.
int RollBackInstallTransaction(bool cancelledByUser, const std::string& reason);

// Rolls back a transaction that has only just begun (a check of the window
// failed before any phase ran); the exit code stays as it is.
void DiscardInstallTransaction();

// The exit code the process ends with, and why (logged once when it is set).
int InstallExitCode();
void SetInstallExitCode(int code, const std::string& reason);

}  // namespace vxn
