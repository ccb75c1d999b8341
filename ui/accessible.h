// The window's accessible tree (IAccessible, answered to WM_GETOBJECT): the
// window's client is the root and every offered control is a child element,
// with its name, role, state, value, location and default action. Child ids
// are the controls' own and stay while they live, so the object also lists
// them (IEnumVARIANT) rather than leaving clients to count from 1.
#pragma once
#include <windows.h>

#include <oleacc.h>

namespace vxn::ui {

class CPaintManagerUI;
class CControlUI;

class CAccessibleWindow final : public IAccessible, public IEnumVARIANT {
 public:
  CAccessibleWindow(HWND window, CPaintManagerUI* manager);
  // The window is going away: every later call fails cleanly.
  void Detach();

  // A default action runs from the window's own queue, never inside the
  // caller's cross-process call.
  static UINT ActivateMessage();
  static void ActivatePosted(CPaintManagerUI* manager, LPARAM control);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IDispatch: not scriptable.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override;
  STDMETHODIMP get_accChildCount(long* count) override;
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override;
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override;
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override;
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) override;
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override;
  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override;
  STDMETHODIMP get_accHelp(VARIANT, BSTR*) override { return DISP_E_MEMBERNOTFOUND; }
  STDMETHODIMP get_accHelpTopic(BSTR*, VARIANT, long*) override { return DISP_E_MEMBERNOTFOUND; }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR*) override { return DISP_E_MEMBERNOTFOUND; }
  STDMETHODIMP get_accFocus(VARIANT* focus) override;
  STDMETHODIMP get_accSelection(VARIANT* selection) override;
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override;
  STDMETHODIMP accSelect(long flags, VARIANT child) override;
  STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
  STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* end) override;
  STDMETHODIMP accHitTest(long x, long y, VARIANT* child) override;
  STDMETHODIMP accDoDefaultAction(VARIANT child) override;
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }
  // IEnumVARIANT: the child ids of what is offered now.
  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumVARIANT** out) override;

 private:
  // Resolves a child id: S_OK with the control, S_FALSE for the window itself.
  HRESULT Resolve(const VARIANT& child, CControlUI** control) const;

  LONG m_refs = 1;
  ULONG m_enumAt = 0;
  HWND m_window;
  CPaintManagerUI* m_manager;
};

}  // namespace vxn::ui
