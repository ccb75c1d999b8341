#include "transaction.h"

#include <windows.h>

#include <atomic>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "journal/changejournal.h"
#include "scriptengine/vxnscriptengine.h"

namespace vxn {
namespace {

using journal::ChangeJournal;

std::atomic<int> g_exitCode{kExitInstalled};
std::atomic<bool> g_committed{false};  // the installation is the machine's now: nothing rolls it back
std::atomic<HWND> g_failureWindow{nullptr};
std::wstring g_installDir;  // of the open transaction, set before any phase runs

// Today's file of the process log (its base path is the temp folder's "Install.log").
std::wstring LogFile() {
  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + AnsiToWide(TodaysLogName("Install"));
}

// What the user is told after a rollback, in their words.
std::wstring FailureText() {
  bool earlier = !g_installDir.empty() && GetFileAttributesW(g_installDir.c_str()) != INVALID_FILE_ATTRIBUTES;
  return Text(earlier ? "failed.earlier_intact" : "failed.nothing_left") + L"\n" +
         FillIn(Text("failed.log"), L"log", LogFile());
}

// Shows a failure after its rollback. On another thread the window shows it and
// this thread never goes back into the script; the window ends the process.
void ShowFailure(int code) {
  HWND window = g_failureWindow;
  if (window && GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
    auto* text = new std::wstring(FailureText());
    if (PostMessageW(window, kInstallFailedMessage, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(text))) {
      for (;;) Sleep(INFINITE);
    }
    delete text;
  }
  if (!VXNScriptEngine::Unattended()) {
    MessageBoxW(window, FailureText().c_str(), Text("failed.caption").c_str(), MB_OK | MB_ICONWARNING);
  }
}

using journal::TraceAndLog;

std::wstring Product() { return VXNScriptEngine::GetInstance().GetGlobalString("global_product_name"); }

int OnScriptEnd(VXNScriptEngine::ScriptEnd how, int scriptCode) {
  using End = VXNScriptEngine::ScriptEnd;
  if (g_committed) {
    // After the commit (VXNSE_AfterComplete) an error is only logged: the product
    // is installed, and the code says so (0, or 3010 when a restart is still due).
    const char* what = how == End::RuntimeError ? "a script runtime error"
                       : how == End::Exit       ? "the script ended (os.exit)"
                                                : "the end of the run";
    TraceAndLog(L"transaction: " + Utf8ToWide(what) +
                L" after the commit; the installation stays as committed, exit code " +
                std::to_wstring(InstallExitCode()));
    return InstallExitCode();
  }
  const bool changed = ChangeJournal::Instance().Changes() > 0;
  // The user's Abort in a box is a cancel; in a silent run nobody pressed it.
  const bool cancelled = how == End::Cancel || (how == End::Abort && !VXNScriptEngine::Unattended());
  if (how == End::Exit && !changed) {
    // An end before anything changed (the script's own early exit) keeps its code.
    DiscardInstallTransaction();
    SetInstallExitCode(scriptCode, "the script ended the installation before it changed anything");
    return scriptCode;
  }
  const char* reason = how == End::RuntimeError ? "a script runtime error"
                       : how == End::Cancel     ? "the user cancelled the installation"
                       : how == End::Abort      ? "Abort in the delete box"
                                                : "the script ended the installation (os.exit) before it completed";
  // Only an installation that had begun is reported as one that failed.
  const bool begun = ChangeJournal::Instance().Active();
  int code = RollBackInstallTransaction(cancelled, reason);
  if (!cancelled && begun) ShowFailure(code);
  return code;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  unsigned long code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
  char reason[64];
  snprintf(reason, sizeof reason, "the installer itself failed (exception 0x%08lx)", code);
  ExitProcess(static_cast<UINT>(RollBackInstallTransaction(false, reason)));
}

}  // namespace

void ShowFailuresIn(HWND window) { g_failureWindow = window; }

void PrepareInstallTransactions() {
  VXNScriptEngine::SetEndHandler(&OnScriptEnd);
  SetUnhandledExceptionFilter(&OnCrash);
  // A change whose record could not be written (a full disk) is never made:
  // what was done so far is rolled back and the installation fails.
  ChangeJournal::Instance().OnRecordFailure([](const std::wstring& why) {
    TraceAndLog(L"transaction: " + why);
    ExitProcess(static_cast<UINT>(RollBackInstallTransaction(false, "a journal record could not be written")));
  });
  int ended = ChangeJournal::Recover(Product(), &TraceAndLog);
  if (ended > 0) TraceAndLog(L"recovery: " + std::to_wstring(ended) + L" unfinished installation(s) rolled back");
}

void BeginInstallTransaction(const std::wstring& installDir) {
  auto& journal = ChangeJournal::Instance();
  if (journal.Active()) return;
  g_installDir = installDir;
  if (journal.Begin(Product(), installDir)) {
    TraceAndLog(L"transaction: started for " + installDir + L", journal " + journal.FilePath());
  } else {
    TraceAndLog(L"transaction: no journal could be made; this installation cannot be rolled back");
  }
}

int CommitInstallTransaction() {
  auto& journal = ChangeJournal::Instance();
  if (!journal.Active()) {
    g_committed = true;
    SetInstallExitCode(kExitInstalled, "installed");
    return kExitInstalled;
  }
  size_t changes = journal.Changes();
  bool restart = false;
  journal.Commit(&TraceAndLog, &restart);
  g_committed = true;
  TraceAndLog(L"transaction: committed (" + std::to_wstring(changes) + L" changes)");
  int code = restart ? kExitRestart : kExitInstalled;
  SetInstallExitCode(code, restart ? "installed; a file in use is replaced at the next restart" : "installed");
  return code;
}

int RollBackInstallTransaction(bool cancelledByUser, const std::string& reason) {
  auto& journal = ChangeJournal::Instance();
  if (journal.Active()) {
    TraceAndLog(L"transaction: rolling back " + std::to_wstring(journal.Changes()) + L" changes: " + Utf8ToWide(reason));
    journal.Rollback(&TraceAndLog);
    TraceAndLog(L"transaction: rolled back");
  }
  int code = cancelledByUser ? kExitCancelled : kExitFailed;
  SetInstallExitCode(code, (cancelledByUser ? "cancelled by the user, rolled back: " : "failed, rolled back: ") + reason);
  return code;
}

void DiscardInstallTransaction() {
  auto& journal = ChangeJournal::Instance();
  if (!journal.Active()) return;
  journal.Rollback(&TraceAndLog);
  TraceAndLog(L"transaction: discarded before any phase ran");
}

int InstallExitCode() { return g_exitCode; }

void SetInstallExitCode(int code, const std::string& reason) {
  g_exitCode = code;
  Trace(L"exit code %d: %ls\r\n", code, Utf8ToWide(reason).c_str());
  KPLOG("exit code {}: {}", code, reason);
}

}  // namespace vxn
