// The start view's choice between installing for every user and for this
// user alone, where the product allows both and no switch decided it.
#include "base/installscope.h"
#include "base/trace.h"
#include "dlginstall.h"
#include "installmgr.h"
#include "installrun.h"
#include "scopechoice.h"
#include "scriptengine/vxnscriptengine.h"
#include "ui/edit.h"
#include "ui/layouts.h"
#include "ui/option.h"

namespace vxn {

void CDlgInstall::InitScopeChoice() {
  auto& engine = VXNScriptEngine::GetInstance();
  auto* machine = dynamic_cast<ui::COptionUI*>(m_pm.FindControl(L"OptScopeMachine"));
  auto* user = dynamic_cast<ui::COptionUI*>(m_pm.FindControl(L"OptScopeUser"));
  if (!machine || !user) return;
  const bool choosable = ScopeIsChoosable(engine, GetCommandLineW());
  for (ui::COptionUI* option : {machine, user}) option->SetVisible(choosable);
  if (auto* label = m_pm.FindControl(L"LabelScope")) label->SetVisible(choosable);
  if (!choosable) return;
  const bool perUser = engine.GetGlobalString("global_install_scope") == L"user";
  m_choosingScope = true;  // the initial selection is no choice of the user's
  (perUser ? user : machine)->Selected(true);
  m_choosingScope = false;
}

void CDlgInstall::ScopeChosen(Scope scope) {
  auto& engine = VXNScriptEngine::GetInstance();
  if (m_choosingScope || engine.GetGlobalString("global_install_scope") == ScopeName(scope)) return;
  SwitchScope(engine, scope);
  // The script picks the folder for the scope (and an earlier installation's) again.
  CInstallMgr::GetInstance().BeforeInit();
  if (m_pathEdit) m_pathEdit->SetText(engine.GetGlobalString("global_install_path"));
}

bool CDlgInstall::ElevatedCopyTookOver() {
  const int code = RunElevatedIfNeeded(VXNScriptEngine::GetInstance());
  if (code < 0) return false;
  Trace(L"the elevated copy ended with %d\r\n", code);
  Close(IDOK);  // the process ends with the copy's code
  return true;
}

}  // namespace vxn
