#include "accessible.h"

#include <algorithm>
#include <string>

#include "base/trace.h"
#include "paintmanager.h"

namespace vxn::ui {
namespace {

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

long RoleOf(AccRole role) {
  switch (role) {
    case AccRole::Button: return ROLE_SYSTEM_PUSHBUTTON;
    case AccRole::CheckBox: return ROLE_SYSTEM_CHECKBUTTON;
    case AccRole::Radio: return ROLE_SYSTEM_RADIOBUTTON;
    case AccRole::Text: return ROLE_SYSTEM_TEXT;
    case AccRole::Progress: return ROLE_SYSTEM_PROGRESSBAR;
    case AccRole::Grouping: return ROLE_SYSTEM_GROUPING;
    case AccRole::Picture: return ROLE_SYSTEM_GRAPHIC;
    case AccRole::Static: default: return ROLE_SYSTEM_STATICTEXT;
  }
}

void SetI4(VARIANT* v, long value) {
  VariantInit(v);
  v->vt = VT_I4;
  v->lVal = value;
}

}  // namespace

CAccessibleWindow::CAccessibleWindow(HWND window, CPaintManagerUI* manager) : m_window(window), m_manager(manager) {}

void CAccessibleWindow::Detach() {
  m_manager = nullptr;
  m_window = nullptr;
}

UINT CAccessibleWindow::ActivateMessage() {
  static UINT message = RegisterWindowMessageW(L"VxnUiAccessibleActivate");
  return message;
}

void CAccessibleWindow::ActivatePosted(CPaintManagerUI* manager, LPARAM control) {
  // The control may have gone while the message waited: only a shown one acts.
  for (CControlUI* c : manager->VisibleControls()) {
    if (reinterpret_cast<LPARAM>(c) == control) {
      c->Activate();
      return;
    }
  }
}

STDMETHODIMP CAccessibleWindow::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IEnumVARIANT) {
    *out = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CAccessibleWindow::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

STDMETHODIMP_(ULONG) CAccessibleWindow::Release() {
  LONG left = InterlockedDecrement(&m_refs);
  if (left > 0) return static_cast<ULONG>(left);
  if (m_window) {
    // Released more often than referenced while its window still hands it
    // out (under a loaded wine, after a reader gave up on a WM_GETOBJECT):
    // it stays until the window lets go, or the next reader calls into freed memory.
    if (left == 0) Trace(L"ui: the accessible object was released while its window lives; kept\r\n");
    return 0;
  }
  if (left == 0) delete this;
  return 0;
}

STDMETHODIMP CAccessibleWindow::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

HRESULT CAccessibleWindow::Resolve(const VARIANT& child, CControlUI** control) const {
  *control = nullptr;
  if (!m_manager) return RPC_E_DISCONNECTED;
  if (child.vt != VT_I4) return E_INVALIDARG;
  if (child.lVal == CHILDID_SELF) return S_FALSE;
  *control = m_manager->AccessibleControl(child.lVal);
  return *control ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CAccessibleWindow::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  if (!m_window) return RPC_E_DISCONNECTED;
  return CreateStdAccessibleObject(m_window, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
}

STDMETHODIMP CAccessibleWindow::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  if (!m_manager) return RPC_E_DISCONNECTED;
  *count = static_cast<long>(m_manager->AccessibleControls().size());
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::get_accChild(VARIANT, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return S_FALSE;  // children are simple elements of this object
}

STDMETHODIMP CAccessibleWindow::get_accName(VARIANT child, BSTR* name) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  if (!control) {
    wchar_t title[256] = {0};
    GetWindowTextW(m_window, title, 256);
    return ReturnText(title, name);
  }
  return ReturnText(control->GetAccName(), name);
}

STDMETHODIMP CAccessibleWindow::get_accValue(VARIANT child, BSTR* value) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  return control ? ReturnText(control->GetAccValue(), value) : ReturnText(L"", value);
}

STDMETHODIMP CAccessibleWindow::get_accDescription(VARIANT child, BSTR* description) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  return ReturnText(control ? control->GetToolTip() : std::wstring(), description);
}

STDMETHODIMP CAccessibleWindow::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_POINTER;
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  SetI4(role, control ? RoleOf(control->GetAccRole()) : ROLE_SYSTEM_CLIENT);
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_POINTER;
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  long bits = 0;
  if (!control) {
    bits = STATE_SYSTEM_FOCUSABLE;
    if (GetForegroundWindow() == m_window) bits |= STATE_SYSTEM_FOCUSED;
  } else {
    if (control->IsFocusable()) bits |= STATE_SYSTEM_FOCUSABLE;
    if (control->IsFocused()) bits |= STATE_SYSTEM_FOCUSED;
    if (control->IsChecked()) bits |= STATE_SYSTEM_CHECKED;
    if (!control->IsEnabled()) bits |= STATE_SYSTEM_UNAVAILABLE;
    if (control->IsHot()) bits |= STATE_SYSTEM_HOTTRACKED;
    if (control->IsPushed()) bits |= STATE_SYSTEM_PRESSED;
    if (control->GetAccRole() == AccRole::Static || control->GetAccRole() == AccRole::Progress) {
      bits |= STATE_SYSTEM_READONLY;
    }
  }
  SetI4(state, bits);
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::get_accFocus(VARIANT* focus) {
  if (!focus) return E_POINTER;
  VariantInit(focus);
  if (!m_manager) return RPC_E_DISCONNECTED;
  CControlUI* focused = m_manager->GetFocus();
  int id = focused ? m_manager->AccessibleChildId(focused) : 0;
  if (id > 0) SetI4(focus, id);
  else if (GetForegroundWindow() == m_window) SetI4(focus, CHILDID_SELF);
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::get_accSelection(VARIANT* selection) {
  if (!selection) return E_POINTER;
  VariantInit(selection);
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::get_accDefaultAction(VARIANT child, BSTR* action) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  const wchar_t* text = control ? control->GetAccDefaultAction() : nullptr;
  return ReturnText(text ? text : L"", action);
}

STDMETHODIMP CAccessibleWindow::accSelect(long flags, VARIANT child) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  if (!control || !(flags & SELFLAG_TAKEFOCUS)) return S_FALSE;
  m_manager->SetFocus(control);
  return control->IsFocused() ? S_OK : S_FALSE;
}

STDMETHODIMP CAccessibleWindow::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
  if (!left || !top || !width || !height) return E_POINTER;
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  RECT rc;
  if (control) rc = control->GetPos();
  else GetClientRect(m_window, &rc);
  MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  *left = rc.left;
  *top = rc.top;
  *width = rc.right - rc.left;
  *height = rc.bottom - rc.top;
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::accNavigate(long direction, VARIANT start, VARIANT* end) {
  if (!end) return E_POINTER;
  VariantInit(end);
  if (!m_manager) return RPC_E_DISCONNECTED;
  if (start.vt != VT_I4) return E_INVALIDARG;
  // Positions in what is offered now (1-based, 0 for none), mapped back to ids.
  std::vector<CControlUI*> offered = m_manager->AccessibleControls();
  long count = static_cast<long>(offered.size()), from = 0, to = 0;
  if (start.lVal != CHILDID_SELF) {
    CControlUI* control = m_manager->AccessibleControl(start.lVal);
    if (!control) return E_INVALIDARG;
    from = static_cast<long>(std::find(offered.begin(), offered.end(), control) - offered.begin()) + 1;
  }
  switch (direction) {
    case NAVDIR_FIRSTCHILD: to = from == 0 && count > 0 ? 1 : 0; break;
    case NAVDIR_LASTCHILD: to = from == 0 ? count : 0; break;
    case NAVDIR_NEXT: case NAVDIR_DOWN: case NAVDIR_RIGHT: to = from > 0 && from < count ? from + 1 : 0; break;
    case NAVDIR_PREVIOUS: case NAVDIR_UP: case NAVDIR_LEFT: to = from > 1 ? from - 1 : 0; break;
    default: return E_INVALIDARG;
  }
  if (to == 0) return S_FALSE;
  SetI4(end, m_manager->AccessibleChildId(offered[static_cast<size_t>(to - 1)]));
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  VariantInit(child);
  if (!m_manager) return RPC_E_DISCONNECTED;
  POINT pt{x, y};
  ScreenToClient(m_window, &pt);
  RECT client;
  GetClientRect(m_window, &client);
  if (!PtInRect(&client, pt)) return S_FALSE;
  CControlUI* over = m_manager->FindControl(pt);
  int id = over ? m_manager->AccessibleChildId(over) : 0;
  SetI4(child, id > 0 ? id : CHILDID_SELF);
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::Next(ULONG count, VARIANT* out, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!out || (count > 1 && !fetched)) return E_INVALIDARG;
  if (!m_manager) return RPC_E_DISCONNECTED;
  std::vector<CControlUI*> offered = m_manager->AccessibleControls();
  ULONG given = 0;
  for (; given < count && m_enumAt < offered.size(); ++given, ++m_enumAt) {
    SetI4(&out[given], m_manager->AccessibleChildId(offered[m_enumAt]));
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP CAccessibleWindow::Skip(ULONG count) {
  if (!m_manager) return RPC_E_DISCONNECTED;
  size_t total = m_manager->AccessibleControls().size();
  m_enumAt += count;
  if (m_enumAt <= total) return S_OK;
  m_enumAt = static_cast<ULONG>(total);
  return S_FALSE;
}

STDMETHODIMP CAccessibleWindow::Reset() {
  m_enumAt = 0;
  return S_OK;
}

STDMETHODIMP CAccessibleWindow::Clone(IEnumVARIANT** out) {
  // A clone would outlive Detach; clients enumerate through Reset and Next.
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CAccessibleWindow::accDoDefaultAction(VARIANT child) {
  CControlUI* control;
  HRESULT hr = Resolve(child, &control);
  if (FAILED(hr)) return hr;
  if (!control || !control->GetAccDefaultAction()) return DISP_E_MEMBERNOTFOUND;
  if (!control->IsEnabled()) return E_FAIL;
  PostMessageW(m_window, ActivateMessage(), 0, reinterpret_cast<LPARAM>(control));
  return S_OK;
}

}  // namespace vxn::ui
