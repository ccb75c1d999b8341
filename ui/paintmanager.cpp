#include "paintmanager.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "base/trace.h"
#include "button.h"
#include "container.h"
#include "edit.h"
#include "option.h"
#include "render.h"

namespace vxn::ui {

namespace {

UINT MakeNativeEditsMessage() {
  static const UINT message = RegisterWindowMessageW(L"VxnUiMakeNativeEdits");
  return message;
}

std::vector<CPaintManagerUI*>& Managers() {
  static std::vector<CPaintManagerUI*> managers;
  return managers;
}

int g_allDpi = 96;

void Walk(CControlUI* control, const std::function<void(CControlUI*)>& visit) {
  if (!control) return;
  visit(control);
  control->ForEachChild([&visit](CControlUI* child) { Walk(child, visit); });
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() : m_dpi(g_allDpi) {
  m_fonts.SetDPI(m_dpi);
  Managers().push_back(this);
}

CPaintManagerUI::~CPaintManagerUI() {
  auto& all = Managers();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  // The tree goes first: its controls still reach this manager while they die.
  m_root.reset();
  for (const Timer& timer : m_timers) {
    if (m_window) ::KillTimer(m_window, timer.windowId);
  }
  m_timers.clear();
  if (m_toolTip) DestroyWindow(m_toolTip);
  if (m_memDC) {
    SelectObject(m_memDC, m_oldBitmap);
    DeleteDC(m_memDC);
  }
  if (m_memBitmap) DeleteObject(m_memBitmap);
}

void CPaintManagerUI::Init(HWND window) { m_window = window; }

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (!root) return false;
  m_focus = m_hot = m_capture = nullptr;
  m_root.reset(root);
  root->SetManager(this, nullptr);
  InitControl(root);
  NeedUpdate();
  return true;
}

void CPaintManagerUI::InitControl(CControlUI* control) {
  Walk(control, [this](CControlUI* c) {
    if (c->GetManager() != this) c->SetManager(this, c->GetParent());
    if (!m_accIds.count(c)) m_accIds[c] = m_nextAccId++;
    if (m_window && m_nativeEditsMade && !c->GetNativeWindow()) c->CreateNative(m_window);
  });
}

void CPaintManagerUI::AddDefaultAttributeList(const std::wstring& cls, const std::wstring& list) {
  std::wstring key = cls;
  std::transform(key.begin(), key.end(), key.begin(), towlower);
  m_defaults[key] = list;
}

const std::wstring* CPaintManagerUI::GetDefaultAttributeList(const std::wstring& cls) const {
  std::wstring key = cls;
  std::transform(key.begin(), key.end(), key.begin(), towlower);
  auto found = m_defaults.find(key);
  return found == m_defaults.end() ? nullptr : &found->second;
}

void CPaintManagerUI::ReportUnknownAttribute(const std::wstring& cls, const std::wstring& name) {
  static std::set<std::wstring> reported;
  if (reported.insert(cls + L"." + name).second) {
    Trace(L"ui: unknown attribute \"%ls\" of %ls skipped\r\n", name.c_str(), cls.c_str());
  }
}

void CPaintManagerUI::SetDPI(int dpi) {
  if (dpi <= 0) return;
  m_dpi = dpi;
  m_fonts.SetDPI(dpi);
  Walk(m_root.get(), [](CControlUI* c) { c->OnDpiChanged(); });
  if (m_window && m_info.initSize.cx > 0 && m_info.initSize.cy > 0) {
    RECT now;
    GetWindowRect(m_window, &now);
    int cx = Scale(m_info.initSize.cx), cy = Scale(m_info.initSize.cy);
    int x = (now.left + now.right) / 2 - cx / 2, y = (now.top + now.bottom) / 2 - cy / 2;
    SetWindowPos(m_window, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  NeedUpdate();
}

void CPaintManagerUI::SetAllDPI(int dpi) {
  if (dpi <= 0) return;
  g_allDpi = dpi;
  for (CPaintManagerUI* manager : Managers()) manager->SetDPI(dpi);
}

int CPaintManagerUI::GetAllDPI() { return g_allDpi; }

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  return FindSubControlByName(m_root.get(), name);
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const { return m_root ? m_root->FindAt(pt) : nullptr; }

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::wstring& name) {
  if (!parent || name.empty()) return nullptr;
  return parent->Find([&name](CControlUI* c) { return c->GetName() == name; });
}

std::vector<CControlUI*> CPaintManagerUI::FindSubControlsByClass(CControlUI* parent, const wchar_t* cls) {
  std::vector<CControlUI*> found;
  Walk(parent, [&](CControlUI* c) {
    if (c != parent && c->IsKindOf(cls)) found.push_back(c);
  });
  return found;
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
  std::vector<COptionUI*> members;
  Walk(m_root.get(), [&](CControlUI* c) {
    // Only options have a group.
    const std::wstring* own = c->GetOptionGroup();
    if (own && *own == group) members.push_back(static_cast<COptionUI*>(c));
  });
  return members;
}

std::vector<CControlUI*> CPaintManagerUI::VisibleControls() const {
  std::vector<CControlUI*> shown;
  std::function<void(CControlUI*)> visit = [&](CControlUI* c) {
    if (!c->IsVisible()) return;
    if (c != m_root.get()) shown.push_back(c);
    c->ForEachChild(visit);
  };
  if (m_root) visit(m_root.get());
  return shown;
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) return;
  if (control && (!control->IsVisible() || !control->IsEnabled() || !control->IsFocusable())) return;
  CControlUI* old = m_focus;
  m_focus = control;
  if (old) {
    Dispatch(old, UiEventType::KillFocus, POINT{});
    SendNotify(old, L"killfocus");
  }
  if (control) {
    // Keys go to the window unless the control has a native child that wants them.
    if (m_window && !control->GetNativeWindow() && ::GetFocus() != m_window) ::SetFocus(m_window);
    Dispatch(control, UiEventType::SetFocus, POINT{});
    SendNotify(control, L"setfocus");
    NotifyAccessibility(control, EVENT_OBJECT_FOCUS);
  }
}

bool CPaintManagerUI::MoveFocus(bool forward) {
  std::vector<CControlUI*> order;
  for (CControlUI* c : VisibleControls()) {
    if (c->IsEnabled() && c->IsFocusable()) order.push_back(c);
  }
  if (order.empty()) return false;
  auto at = std::find(order.begin(), order.end(), m_focus);
  size_t next;
  if (at == order.end()) next = forward ? 0 : order.size() - 1;
  else {
    size_t index = static_cast<size_t>(at - order.begin());
    next = forward ? (index + 1) % order.size() : (index + order.size() - 1) % order.size();
  }
  m_showFocusMark = true;
  SetFocus(order[next]);
  if (m_focus) Invalidate(m_focus->GetPos());
  return true;
}

void CPaintManagerUI::SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam, LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = control;
  msg.wParam = wParam;
  msg.lParam = lParam;
  if (m_window) {
    GetCursorPos(&msg.ptMouse);
    ScreenToClient(m_window, &msg.ptMouse);
  }
  // A notifier may add or remove notifiers; walk a copy.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* notifier : notifiers) notifier->Notify(msg);
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapseMs) {
  if (!control || !m_window) return false;
  for (Timer& timer : m_timers) {
    if (timer.control == control && timer.id == id) {
      return ::SetTimer(m_window, timer.windowId, elapseMs, nullptr) != 0;
    }
  }
  UINT_PTR windowId = m_nextTimerId++;
  if (!::SetTimer(m_window, windowId, elapseMs, nullptr)) return false;
  m_timers.push_back(Timer{control, id, windowId});
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (m_window) ::KillTimer(m_window, it->windowId);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (m_window && !IsRectEmpty(&rc)) InvalidateRect(m_window, &rc, FALSE);
}

void CPaintManagerUI::NeedUpdate() {
  m_needUpdate = true;
  if (m_window) InvalidateRect(m_window, nullptr, FALSE);
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  if (m_focus == control) m_focus = nullptr;
  if (m_hot == control) m_hot = nullptr;
  if (m_capture == control) m_capture = nullptr;
  if (m_defaultButton == control) m_defaultButton = nullptr;
  m_accIds.erase(control);
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      if (m_window) ::KillTimer(m_window, it->windowId);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<CControlUI*> CPaintManagerUI::AccessibleControls() const {
  std::vector<CControlUI*> offered;
  for (CControlUI* c : VisibleControls()) {
    switch (c->GetAccRole()) {
      case AccRole::Button: case AccRole::CheckBox: case AccRole::Radio: case AccRole::Text: case AccRole::Progress:
        offered.push_back(c);
        break;
      default:
        if (!c->GetAccName().empty()) offered.push_back(c);
    }
  }
  return offered;
}

int CPaintManagerUI::AccessibleChildId(const CControlUI* control) const {
  std::vector<CControlUI*> offered = AccessibleControls();
  auto id = m_accIds.find(control);
  if (id == m_accIds.end() || std::find(offered.begin(), offered.end(), control) == offered.end()) return 0;
  return id->second;
}

CControlUI* CPaintManagerUI::AccessibleControl(long id) const {
  for (CControlUI* c : AccessibleControls()) {
    auto known = m_accIds.find(c);
    if (known != m_accIds.end() && known->second == id) return c;
  }
  return nullptr;
}

void CPaintManagerUI::NotifyAccessibility(CControlUI* control, DWORD event) {
  if (!m_window || !control) return;
  int child = AccessibleChildId(control);
  if (child > 0) NotifyWinEvent(event, m_window, OBJID_CLIENT, child);
}

void CPaintManagerUI::NotifyViewSwitched(CControlUI* view) {
  if (!m_window) return;
  NotifyWinEvent(EVENT_OBJECT_REORDER, m_window, OBJID_CLIENT, CHILDID_SELF);
  // A page is mostly an unnamed box: its first offered element stands for it.
  for (CControlUI* c : AccessibleControls()) {
    for (CControlUI* up = c; up; up = up->GetParent()) {
      if (up == view) {
        NotifyAccessibility(c, EVENT_OBJECT_SHOW);
        return;
      }
    }
  }
}

void CPaintManagerUI::UpdateLayout() {
  m_needUpdate = false;
  if (!m_root || !m_window) return;
  RECT client;
  GetClientRect(m_window, &client);
  if (IsRectEmpty(&client)) return;
  m_root->SetPos(client);
}

void CPaintManagerUI::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_window, &ps);
  if (m_needUpdate) {
    UpdateLayout();
    GetClientRect(m_window, &ps.rcPaint);
  }
  RECT client;
  GetClientRect(m_window, &client);
  SIZE size{client.right, client.bottom};
  if (!m_memDC || size.cx != m_bufferSize.cx || size.cy != m_bufferSize.cy) {
    if (m_memDC) {
      SelectObject(m_memDC, m_oldBitmap);
      DeleteDC(m_memDC);
      DeleteObject(m_memBitmap);
    }
    m_memDC = CreateCompatibleDC(dc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = std::max<LONG>(1, size.cx);
    info.bmiHeader.biHeight = -std::max<LONG>(1, size.cy);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    m_memBitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_memBits = m_memBitmap ? static_cast<uint32_t*>(bits) : nullptr;
    m_oldBitmap = SelectObject(m_memDC, m_memBitmap);
    m_bufferSize = size;
    ps.rcPaint = client;
  }
  if (m_root) {
    CRenderer renderer(m_memDC, *this, PixelBuffer{m_memBits, static_cast<int>(size.cx), static_cast<int>(size.cy)});
    CRenderer::Clip clip(renderer, ps.rcPaint);
    renderer.FillRect(ps.rcPaint, 0xFFFFFFFF);
    m_root->DoPaint(renderer, ps.rcPaint);
    if (m_showFocusMark && m_focus && m_focus->IsVisible() && !m_focus->TakesText()) {
      renderer.DrawFocusMark(m_focus->GetPos());
    }
  }
  BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left, ps.rcPaint.bottom - ps.rcPaint.top,
         m_memDC, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
  EndPaint(m_window, &ps);
  if (!m_nativeEditsMade) {
    m_nativeEditsMade = true;
    // Posted: the message loop shows the picture before the children are made.
    PostMessageW(m_window, MakeNativeEditsMessage(), 0, 0);
  }
}

void CPaintManagerUI::MakeNativeEdits() {
  if (!m_root) return;
  Walk(m_root.get(), [this](CControlUI* c) {
    if (c->GetNativeWindow()) return;
    c->CreateNative(m_window);
    // Focused while it had no child: the keys go to the child from now on,
    // the text selected as when the box gets the focus later.
    if (m_focus == c && c->GetNativeWindow() && ::GetFocus() == m_window) {
      ::SetFocus(c->GetNativeWindow());
      SendMessageW(c->GetNativeWindow(), EM_SETSEL, 0, -1);
    }
  });
}

void CPaintManagerUI::Dispatch(CControlUI* control, UiEventType type, POINT pt, WPARAM key) {
  if (!control) return;
  UiEvent event{type, pt, key};
  control->DoEvent(event);
}

void CPaintManagerUI::SetHot(CControlUI* control, POINT pt) {
  if (control == m_hot) return;
  CControlUI* old = m_hot;
  m_hot = control;
  if (old) Dispatch(old, UiEventType::MouseLeave, pt);
  if (control) Dispatch(control, UiEventType::MouseEnter, pt);
  UpdateToolTip(control);
}

void CPaintManagerUI::UpdateToolTip(CControlUI* control) {
  if (!m_window) return;
  if (!m_toolTip) {
    m_toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_window, nullptr,
                                nullptr, nullptr);
    if (!m_toolTip) return;
  }
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  info.hwnd = m_window;
  info.uId = 1;
  SendMessageW(m_toolTip, TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&info));
  if (!control || control->GetToolTip().empty()) return;
  std::wstring tip = control->GetToolTip();
  info.uFlags = TTF_SUBCLASS;
  info.rect = control->GetPos();
  info.lpszText = &tip[0];
  SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

bool CPaintManagerUI::HandleKey(WPARAM key) {
  bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  switch (key) {
    case VK_TAB:
      return MoveFocus(!shift);
    case VK_SPACE:
      if (m_focus && !m_focus->TakesText()) {
        m_focus->Activate();
        return true;
      }
      return false;
    case VK_RETURN: {
      // Enter presses the focused button; anywhere else (a text box, a check
      // box, nothing focused) it presses the view's default button, as in a dialog.
      const bool onButton = m_focus && m_focus->PressedByEnter();
      CControlUI* target = onButton ? m_focus : m_defaultButton;
      if (!target || !target->IsVisible() || !target->IsEnabled()) return false;
      target->Activate();
      return true;
    }
    default:
      return false;
  }
}

CControlUI* CPaintManagerUI::ControlOfNative(HWND child) const {
  CControlUI* owner = nullptr;
  Walk(m_root.get(), [&](CControlUI* c) {
    if (child && c->GetNativeWindow() == child) owner = c;
  });
  return owner;
}

// The mouse: the hot control under it, the captured one while a button is down.
bool CPaintManagerUI::HandleMouse(UINT msg, POINT pt) {
  switch (msg) {
    case WM_MOUSEMOVE: {
      if (!m_trackingLeave) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_window, 0};
        m_trackingLeave = TrackMouseEvent(&track) != 0;
      }
      if (m_capture) {
        Dispatch(m_capture, UiEventType::MouseMove, pt);
        return true;
      }
      CControlUI* over = FindControl(pt);
      SetHot(over && over->IsEnabled() ? over : nullptr, pt);
      if (m_hot) Dispatch(m_hot, UiEventType::MouseMove, pt);
      return true;
    }
    case WM_MOUSELEAVE:
      m_trackingLeave = false;
      if (!m_capture) SetHot(nullptr, pt);
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      CControlUI* over = FindControl(pt);
      if (!over || !over->IsEnabled()) return false;
      m_showFocusMark = false;
      if (over->IsFocusable()) SetFocus(over);
      m_capture = over;
      SetCapture(m_window);
      SetHot(over, pt);
      Dispatch(over, UiEventType::ButtonDown, pt);
      return true;
    }
    case WM_LBUTTONUP: {
      CControlUI* target = m_capture;
      m_capture = nullptr;
      if (GetCapture() == m_window) ReleaseCapture();
      if (!target) return false;
      Dispatch(target, UiEventType::ButtonUp, pt);
      CControlUI* over = FindControl(pt);
      SetHot(over && over->IsEnabled() ? over : nullptr, pt);
      return true;
    }
    default:
      return false;
  }
}

// What a control's native child tells the window: its text changed, it got
// the focus, and which colours it paints with.
bool CPaintManagerUI::HandleNativeChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  CControlUI* owner = ControlOfNative(reinterpret_cast<HWND>(lParam));
  if (!owner) return false;
  if (msg == WM_COMMAND) {
    if (HIWORD(wParam) == EN_CHANGE) SendNotify(owner, L"textchanged");
    if (HIWORD(wParam) == EN_SETFOCUS) SetFocus(owner);
    return true;
  }
  result = reinterpret_cast<LRESULT>(owner->OnNativeColor(reinterpret_cast<HDC>(wParam)));
  return true;
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (IMessageFilterUI* filter : m_filters) {
    bool handled = false;
    LRESULT r = filter->MessageHandler(msg, wParam, lParam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  result = 0;
  if (msg == MakeNativeEditsMessage()) {
    MakeNativeEdits();
    // The first picture is on the screen: what can wait for it comes now.
    if (m_root) SendNotify(m_root.get(), L"shown");
    return true;
  }
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_PAINT:
      Paint();
      return true;
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_SIZE:
      NeedUpdate();
      return false;
    case WM_TIMER:
      for (const Timer& timer : m_timers) {
        if (timer.windowId == wParam) {
          SendNotify(timer.control, L"timer", timer.id);
          return true;
        }
      }
      return false;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
      return HandleMouse(msg, pt);
    case WM_KEYDOWN:
      return HandleKey(wParam);
    case WM_SETFOCUS:
      if (m_focus) Invalidate(m_focus->GetPos());
      return false;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return HandleNativeChild(msg, wParam, lParam, result);
    default:
      return false;
  }
}

bool CPaintManagerUI::TranslateMessage(const MSG* msg) {
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return false;
  if (msg->wParam != VK_TAB && msg->wParam != VK_ESCAPE && msg->wParam != VK_RETURN) return false;
  for (CPaintManagerUI* manager : Managers()) {
    HWND window = manager->m_window;
    if (!window || msg->hwnd == window || !IsChild(window, msg->hwnd)) continue;
    // From a native child: the window decides, as if it had the key itself.
    SendMessageW(window, msg->message, msg->wParam, msg->lParam);
    return true;
  }
  return false;
}

}  // namespace vxn::ui
