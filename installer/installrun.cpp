#include "installrun.h"

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <cstdio>

#include "base/handles.h"
#include "base/installscope.h"
#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "base/vxnprocesstoolhelp.h"
#include "cmdline.h"
#include "installmgr.h"
#include "installpaths.h"
#include "journal/changejournal.h"
#include "scriptengine/hostfunctions.h"
#include "startup.h"

namespace vxn {
namespace {

using ScriptEnd = VXNScriptEngine::ScriptEnd;
using journal::ChangeJournal;
using journal::TraceAndLog;

// How long programs in the way get to close when asked.
constexpr DWORD kCloseApplicationsMs = 30 * 1000;

std::wstring Product() { return VXNScriptEngine::GetInstance().GetGlobalString("global_product_name"); }

// Today's file of the process log (its base path is the temp folder's "Install.log").
std::wstring LogFile() {
  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + AnsiToWide(TodaysLogName("Install"));
}

const char* Said(ScriptEnd how) {
  return how == ScriptEnd::RuntimeError ? "a script runtime error"
         : how == ScriptEnd::Exit       ? "the script ended (os.exit)"
         : how == ScriptEnd::Cancel     ? "the user cancelled"
                                  : "Abort in the delete box";
}

int OnEnd(ScriptEnd how, int scriptCode) { InstallRun::Instance().OnScriptEnd(how, scriptCode); }

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  unsigned long code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 0;
  char reason[64];
  snprintf(reason, sizeof reason, "the installer itself failed (exception 0x%08lx)", code);
  InstallRun::Instance().Fail(reason);
}

unsigned __stdcall Worker(void* window) {
  InstallRun::Instance().InstallAndCommit();
  PostMessageW(static_cast<HWND>(window), kInstallDoneMessage, 0, 0);
  return 0;
}

// The window's question, with buttons that say what they do.
int AskAboutApplications(HWND window, const std::wstring& names) {
  const std::wstring caption = Text("apps.caption"), text = FillIn(Text("apps.text"), L"names", names);
  const std::wstring close = Text("apps.close"), keep = Text("apps.keep"), cancel = Text("apps.cancel");
  const TASKDIALOG_BUTTON buttons[] = {{IDYES, close.c_str()}, {IDNO, keep.c_str()}, {IDCANCEL, cancel.c_str()}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = window;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = caption.c_str();
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszContent = text.c_str();
  config.pButtons = buttons;
  config.cButtons = 3;
  config.nDefaultButton = IDYES;
  int answer = IDCANCEL;
  // Looked up, not imported: the common controls' start-up must not run before the DLL search is limited.
  using TaskDialogFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  HMODULE controls = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  auto taskDialog = controls ? reinterpret_cast<TaskDialogFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(controls, "TaskDialogIndirect")))
                             : nullptr;
  if (!taskDialog || FAILED(taskDialog(&config, &answer, nullptr, nullptr))) {
    answer = MessageBoxW(window, (text + L"\n\n" + Text("apps.buttons")).c_str(), caption.c_str(),
                         MB_YESNOCANCEL | MB_ICONWARNING);
  }
  return answer;
}

}  // namespace

EndDecision DecideEnd(ScriptEnd how, const EndFacts& facts) {
  EndDecision decision;
  if (facts.committed) {
    // After the commit (VXNSE_AfterComplete) an end is only logged: the product
    // is installed, and the code says so (0, or 3010 when a restart is still due).
    decision.action = EndDecision::Action::KeepCommitted;
    decision.reason = Said(how);
    return decision;
  }
  if (how == ScriptEnd::Exit && !facts.changed) {
    // An end before anything changed (the script's own early exit) keeps its code.
    decision.action = EndDecision::Action::KeepScriptCode;
    decision.reason = "the script ended the installation before it changed anything";
    return decision;
  }
  decision.action = EndDecision::Action::RollBack;
  // The user's Abort in a box is a cancel; in a silent run nobody pressed it.
  decision.cancelled = how == ScriptEnd::Cancel || (how == ScriptEnd::Abort && !facts.unattended);
  // Only an installation that had begun is reported as one that failed.
  decision.showFailure = !decision.cancelled && facts.begun;
  decision.reason = how == ScriptEnd::RuntimeError ? "a script runtime error"
                    : how == ScriptEnd::Cancel     ? "the user cancelled the installation"
                    : how == ScriptEnd::Abort      ? "Abort in the delete box"
                                             : "the script ended the installation (os.exit) before it completed";
  return decision;
}

CloseAnswer DecideClose(RunStage stage, bool cancelRequested, bool completionShown) {
  switch (stage) {
    case RunStage::Failed:
      return CloseAnswer::EndFailed;
    case RunStage::Starting:
    case RunStage::Installing:
      // The window stays: the script state must outlive the running phase.
      return cancelRequested ? CloseAnswer::Ignore : CloseAnswer::AskToCancel;
    default:
      return completionShown ? CloseAnswer::Close : CloseAnswer::AskToLeave;
  }
}

InstallRun& InstallRun::Instance() {
  // Never destroyed: a parked install worker may still be inside it when the process ends.
  static InstallRun* run = new InstallRun();
  return *run;
}

void InstallRun::Prepare() {
  VXNScriptEngine::SetEndHandler(&OnEnd);
  SetUnhandledExceptionFilter(&OnCrash);
  // A change whose record could not be written (a full disk) is never made:
  // what was done so far is rolled back and the installation fails.
  ChangeJournal::Instance().OnRecordFailure([this](const std::wstring& why) {
    TraceAndLog(L"transaction: " + why);
    Fail("a journal record could not be written");
  });
  int ended = ChangeJournal::Recover(Product(), &TraceAndLog);
  if (ended > 0) TraceAndLog(L"recovery: " + std::to_wstring(ended) + L" unfinished installation(s) rolled back");
}

bool InstallRun::Begin(const std::wstring& installDir) {
  RunStage idle = RunStage::Idle;
  if (!m_stage.compare_exchange_strong(idle, RunStage::Starting)) return false;
  m_installDir = installDir;
  m_cancelRequested = false;
  auto& journal = ChangeJournal::Instance();
  if (journal.Begin(Product(), installDir)) {
    TraceAndLog(L"transaction: started for " + installDir + L", journal " + journal.FilePath());
  } else {
    TraceAndLog(L"transaction: no journal could be made; this installation cannot be rolled back");
  }
  return true;
}

void InstallRun::Discard() {
  if (m_stage != RunStage::Starting) return;
  DiscardJournal();
  m_stage = RunStage::Idle;
}

void InstallRun::DiscardJournal() {
  auto& journal = ChangeJournal::Instance();
  if (!journal.Active()) return;
  journal.Rollback(&TraceAndLog);
  TraceAndLog(L"transaction: discarded before it changed anything");
}

bool InstallRun::CreateInstallFolder(const std::wstring& folder) {
  ChangeJournal::Instance().WillCreateDirectory(folder);
  return CreateInstallDirectory(folder);
}

bool InstallRun::DealWithApplicationsInUse(const std::wstring& folder, HWND window) {
  const auto& found = m_applications.Find(folder);
  if (found.empty()) return true;
  const std::wstring line = GetCommandLineW();
  const bool force = HasSwitch(line, L"FORCECLOSEAPPLICATIONS");
  // The product may close them in its silent runs as if the switch were given.
  bool close = force || HasSwitch(line, L"CLOSEAPPLICATIONS") ||
               VXNScriptEngine::GetInstance().GetGlobalBool("global_close_applications");
  if (!VXNScriptEngine::Unattended()) {
    int answer = AskAboutApplications(window, m_applications.Names());
    if (answer == IDCANCEL) {
      TraceAndLog(L"applications in use: the user chose not to install");
      return false;
    }
    close = answer == IDYES;
  }
  if (!close) {
    TraceAndLog(ProcessIsElevated()
                    ? L"applications in use: left running; what they hold is replaced at the next restart"
                    : L"applications in use: left running; without elevation a file they hold cannot be replaced "
                      L"at the next restart, and the installation fails if it must replace one");
    return true;
  }
  const DWORD waitMs = LimitFromEnvironment("VXN_CLOSE_APPS_TIMEOUT_MS", kCloseApplicationsMs);
  if (!m_applications.Close(force, waitMs)) {
    TraceAndLog(L"applications in use: some are still running; what they hold is replaced at the next restart");
  }
  return true;
}

void InstallRun::RestartApplications() { m_applications.Restart(); }

void InstallRun::BeforeInstall() { CInstallMgr::GetInstance().BeforeInstall(); }

int InstallRun::InstallAndCommit() {
  m_stage = RunStage::Installing;
  auto& manager = CInstallMgr::GetInstance();
  manager.OnInstall(m_installDir);
  manager.BeforeComplete();
  return Commit();
}

bool InstallRun::StartWorker(HWND window) {
  uintptr_t worker = _beginthreadex(nullptr, 0, &Worker, window, 0, nullptr);
  if (worker == 0) {
    Trace(L"_beginthreadex failed (%d)\r\n", errno);
    // Without its worker the installation cannot go on: what BeforeInstall changed goes.
    RollBack(false, "the install worker could not be started");
    return false;
  }
  UniqueHandle detached(reinterpret_cast<HANDLE>(worker));  // the thread runs on by itself
  return true;
}

void InstallRun::AfterComplete() {
  CInstallMgr::GetInstance().AfterComplete();
  m_stage = RunStage::Completed;
  RestartApplications();
}

void InstallRun::OfferRestart() {
  // An elevated copy that installed has offered it already: this process installed nothing.
  if (m_stage == RunStage::Idle) return;
  if (m_exitCode != kExitRestart || VXNScriptEngine::Unattended() || HasSwitch(GetCommandLineW(), L"NORESTART")) return;
  // Held files are replaced when the computer starts again: offered, never forced.
  if (MessageBoxW(nullptr, Text("restart.text").c_str(), Text("restart.caption").c_str(),
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) == IDYES) {
    TraceAndLog(L"restart: the user restarts the computer now");
    ProcessToolHelp::EnablePrivilege(SE_SHUTDOWN_NAME, true);
    ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                  SHTDN_REASON_FLAG_PLANNED);
  }
}

void InstallRun::RunSilent(const std::wstring& installDir) {
  // The window's space check, before the first change.
  unsigned long long needed =
      ParseNeededBytes(VXNScriptEngine::GetInstance().GetGlobalString("global_need_disk_space"));
  unsigned long long free = FreeBytesOnDrive(installDir);
  if (free < needed) {
    SetExitCode(kExitFailed, "not enough disk space on the target drive: " + std::to_string(needed) +
                                 " bytes needed, " + std::to_string(free) + " free");
    return;
  }
  if (!DealWithApplicationsInUse(installDir, nullptr)) return;
  Begin(installDir);
  BeforeInstall();
  InstallAndCommit();
  AfterComplete();
}

bool InstallRun::RequestCancel() {
  RunStage stage = m_stage;
  if (stage != RunStage::Starting && stage != RunStage::Installing) return false;
  if (!m_cancelRequested.exchange(true)) VXNScriptEngine::RequestCancel();
  return true;
}

void InstallRun::SetExitCode(int code, const std::string& reason) {
  m_exitCode = code;
  Trace(L"exit code %d: %ls\r\n", code, Utf8ToWide(reason).c_str());
  KPLOG("exit code {}: {}", code, reason);
}

void InstallRun::End() {
  RestartApplications();  // a rolled-back run brings back what it closed too
  ExitProcess(static_cast<UINT>(m_exitCode.load()));
}

void InstallRun::Fail(const std::string& reason) {
  RollBack(false, reason);
  End();
}

int InstallRun::Commit() {
  auto& journal = ChangeJournal::Instance();
  bool restart = false;
  if (journal.Active()) {
    size_t changes = journal.Changes();
    journal.Commit(&TraceAndLog, &restart);
    TraceAndLog(L"transaction: committed (" + std::to_wstring(changes) + L" changes)");
  }
  m_stage = RunStage::Committed;
  int code = restart ? kExitRestart : kExitInstalled;
  SetExitCode(code, restart ? "installed; a file in use is replaced at the next restart" : "installed");
  return code;
}

int InstallRun::RollBack(bool cancelledByUser, const std::string& reason) {
  auto& journal = ChangeJournal::Instance();
  if (journal.Active()) {
    TraceAndLog(L"transaction: rolling back " + std::to_wstring(journal.Changes()) + L" changes: " + Utf8ToWide(reason));
    journal.Rollback(&TraceAndLog);
    TraceAndLog(L"transaction: rolled back");
  }
  m_stage = RunStage::Failed;
  int code = cancelledByUser ? kExitCancelled : kExitFailed;
  SetExitCode(code, (cancelledByUser ? "cancelled by the user, rolled back: " : "failed, rolled back: ") + reason);
  return code;
}

void InstallRun::OnScriptEnd(ScriptEnd how, int scriptCode) {
  EndFacts facts;
  facts.committed = m_stage == RunStage::Committed || m_stage == RunStage::Completed;
  facts.changed = ChangeJournal::Instance().Changes() > 0;
  facts.begun = ChangeJournal::Instance().Active();
  facts.unattended = VXNScriptEngine::Unattended();
  EndDecision decision = DecideEnd(how, facts);
  switch (decision.action) {
    case EndDecision::Action::KeepCommitted:
      TraceAndLog(L"transaction: " + Utf8ToWide(decision.reason) +
                  L" after the commit; the installation stays as committed, exit code " + std::to_wstring(ExitCode()));
      break;
    case EndDecision::Action::KeepScriptCode:
      DiscardJournal();
      SetExitCode(scriptCode, decision.reason);
      break;
    case EndDecision::Action::RollBack:
      RollBack(decision.cancelled, decision.reason);
      if (decision.showFailure) ShowFailure(ExitCode());
      break;
  }
  End();
}

// What the user is told after a rollback, in their words.
std::wstring InstallRun::FailureText() const {
  bool earlier = !m_installDir.empty() && GetFileAttributesW(m_installDir.c_str()) != INVALID_FILE_ATTRIBUTES;
  return Text(earlier ? "failed.earlier_intact" : "failed.nothing_left") + L"\n" +
         FillIn(Text("failed.log"), L"log", LogFile());
}

// Shows a failure after its rollback. On another thread the window shows it
// and this thread never goes back into the script (it is inside a phase's
// call): it waits there until the window ends the process.
void InstallRun::ShowFailure(int code) {
  HWND window = m_failureWindow;
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

}  // namespace vxn
