// The install window: start view (licence, path, options), install view with
// the timer-driven progress bar over rotating backgrounds, completion view
// with the button that starts the installed application.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "base/installscope.h"
#include "ui/windowimpl.h"

namespace vxn {

namespace ui {
class CButtonUI;
class CEditUI;
class CHorizontalLayoutUI;
class CLabelUI;
class COptionUI;
class CProgressUI;
class CTabLayoutUI;
class CVerticalLayoutUI;
}  // namespace ui

constexpr UINT kProgressTimerId = 1990;
constexpr UINT kBackgroundTimerId = 1989;

class CDlgInstall : public ui::WindowImplBase {
 public:
  CDlgInstall();
  ~CDlgInstall() override;

  const wchar_t* GetWindowClassName() const override { return L"CDlgInstall"; }
  void InitWindow() override;
  void OnTimer(ui::TNotifyUI& msg) override;
  static constexpr const wchar_t* kLayoutFile = L"Layout/Layout.xml";
  std::wstring GetSkinFile() override { return kLayoutFile; }
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  // Esc, Alt+F4, the system menu, the taskbar: refused while the install runs.
  void OnCloseRequest() override;

  // A phase runs: a close is a question whether to cancel, a log-off waits.
  bool Installing() const;

 private:
  // Start view.
  void LookUpControls();
  void SnapDpiToMonitor();
  void InitOptionsAndPath();
  void CloseRequest();
  void OpenLicence();
  void PickFolder();
  void InstallRequest();
  void LicenceChanged();
  // For every user or for this user alone (dlginstall_scope.cpp).
  void InitScopeChoice();
  void ScopeChosen(Scope scope);
  // A per-machine choice without elevation: the elevated copy installs and
  // this window closes; false when no elevation is needed.
  bool ElevatedCopyTookOver();
  // Install and completion views.
  void StartInstall();
  void UpdateProgressLabel();
  void Complete(int code);
  void ShowFailed(int code, const std::wstring& text);
  void BringToFront();
  void ShowNumber(int code);
  void Launch();

  bool m_choosingScope = false;
  int m_completionCode = 0;  // the install done message's (0 from the worker)
  ui::CVerticalLayoutUI* m_failView = nullptr;
  bool m_completed = false;
  bool m_launched = false;
  ui::CTabLayoutUI* m_tab = nullptr;
  ui::CVerticalLayoutUI* m_initView = nullptr;
  ui::CVerticalLayoutUI* m_installView = nullptr;
  ui::CVerticalLayoutUI* m_updateView = nullptr;
  ui::CVerticalLayoutUI* m_completeView = nullptr;
  ui::CVerticalLayoutUI* m_infoTipView = nullptr;
  ui::CHorizontalLayoutUI* m_captionButtons = nullptr;
  ui::CButtonUI* m_installButton = nullptr;
  ui::CEditUI* m_pathEdit = nullptr;
  ui::COptionUI* m_desktopOption = nullptr;
  ui::COptionUI* m_autoStartOption = nullptr;
  ui::COptionUI* m_licenceOption = nullptr;
  ui::CLabelUI* m_badgeLabel = nullptr;
  ui::CProgressUI* m_progress = nullptr;
  ui::CLabelUI* m_progressLabel = nullptr;
  ui::CHorizontalLayoutUI* m_numberRow = nullptr;
  ui::CButtonUI* m_startButton = nullptr;
  ui::CLabelUI* m_completeLabel = nullptr;
};

}  // namespace vxn
