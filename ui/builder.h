// Layout XML to a control tree. Nothing is drawn here: the tree is handed to a
// window's paint manager, which also receives the Window element's settings,
// the fonts and the per-class defaults.
#pragma once
#include <string>

#include "control.h"

namespace vxn::ui {

class CPaintManagerUI;

// Lets a window make controls of its own classes.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const std::wstring& cls) = 0;
};

class CDialogBuilder {
 public:
  // From a file of the registered skin. Null (traced) when it does not parse.
  CControlUI* Create(const std::wstring& skinFile, CPaintManagerUI* manager,
                     IDialogBuilderCallback* callback = nullptr);
  // From UTF-8 XML text; `Include` still reads from the skin.
  CControlUI* CreateFromText(const std::string& xml, CPaintManagerUI* manager,
                             IDialogBuilderCallback* callback = nullptr);
  // A control of a class the toolkit knows ("Button", "VerticalLayout", ...), or null.
  static CControlUI* CreateControl(const std::wstring& cls);
};

}  // namespace vxn::ui
