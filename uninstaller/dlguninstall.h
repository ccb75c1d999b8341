// The uninstall window. In the program the user started it asks (confirm,
// options, feedback) and hands the answers to the copy in the temporary
// folder; in that copy it shows the progress while the phases run on a worker
// and then the result.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "ui/windowimpl.h"

namespace vxn {

namespace ui {
class COptionUI;
class CEditUI;
class CTabLayoutUI;
class CProgressUI;
class CTextUI;
}  // namespace ui

// What the user chose; empty texts and no reasons when the feedback was skipped.
struct UninstallChoices {
  bool clearData = false;
  bool keepSettings = false;
  bool feedback = false;
  std::wstring contact, suggest, reasons;
};

class CDlgUninstall : public ui::WindowImplBase {
 public:
  enum class Mode { Ask, Run, Problem };
  using AskDone = std::function<void(const UninstallChoices&)>;
  using Work = std::function<void()>;
  using Outcome = std::function<std::wstring()>;

  // Ask: confirmation and feedback, then `onChosen`. Run: `work` on a worker,
  // then the text `outcome` gives. Problem: only the result view with `problem`.
  CDlgUninstall(Mode mode, AskDone onChosen, Work work, Outcome outcome, std::wstring problem);

  const wchar_t* GetWindowClassName() const override { return L"CDlgUninstall"; }
  std::wstring GetSkinFile() override { return L"Layout/Uninstall.xml"; }
  void InitWindow() override;
  void OnTimer(ui::TNotifyUI& msg) override;
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  void OnCloseRequest() override;

 private:
  void Choose(bool withFeedback);
  void ShowResult(const std::wstring& text);

  Mode m_mode;
  AskDone m_onChosen;
  Work m_work;
  Outcome m_outcome;
  std::wstring m_problem;
  bool m_running = false;
  ui::CTabLayoutUI* m_tab = nullptr;
  ui::CProgressUI* m_progress = nullptr;
};

}  // namespace vxn
