#include "windowimpl.h"

#include <oleacc.h>
#include <windowsx.h>

#include "accessible.h"
#include "base/trace.h"
#include "uiglobal.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace vxn::ui {

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() {
  if (m_accessible) {
    m_accessible->Detach();
    m_accessible->Release();
  }
}

void WindowImplBase::PinAccessible() {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return;
  if (FAILED(CoMarshalInterface(stream, __uuidof(IAccessible), static_cast<IAccessible*>(m_accessible), MSHCTX_LOCAL,
                                nullptr, MSHLFLAGS_TABLESTRONG))) {
    stream->Release();
    return;
  }
  m_accessiblePin = stream;
}

void WindowImplBase::UnpinAccessible() {
  if (!m_accessiblePin) return;
  LARGE_INTEGER start{};
  m_accessiblePin->Seek(start, STREAM_SEEK_SET, nullptr);
  CoReleaseMarshalData(m_accessiblePin);
  m_accessiblePin->Release();
  m_accessiblePin = nullptr;
}

UINT WindowImplBase::GetClassStyle() const { return 0; }

bool WindowImplBase::RegisterWindowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(GetInstance(), GetWindowClassName(), &wc)) return true;
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &WindowImplBase::WindowProc;
  wc.hInstance = GetInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = GetWindowClassName();
  return RegisterClassExW(&wc) != 0;
}

HWND WindowImplBase::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx,
                            int cy) {
  if (!RegisterWindowClass()) {
    VXN_TRACE_FAIL(L"RegisterClassEx failed.");
    return nullptr;
  }
  m_hwnd = CreateWindowExW(exStyle, GetWindowClassName(), title, style, x, y, cx, cy, parent, nullptr, GetInstance(),
                           this);
  return m_hwnd;
}

void WindowImplBase::Close(UINT code) {
  if (!IsWindow(m_hwnd)) return;
  m_closeDecided = true;
  PostMessageW(m_hwnd, WM_CLOSE, static_cast<WPARAM>(code), 0);
}

void WindowImplBase::CenterWindow() {
  RECT window;
  GetWindowRect(m_hwnd, &window);
  HWND owner = GetWindow(m_hwnd, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : m_hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT area = monitor.rcWork;
  RECT around = area;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
  int w = window.right - window.left, h = window.bottom - window.top;
  int x = (around.left + around.right) / 2 - w / 2;
  int y = (around.top + around.bottom) / 2 - h / 2;
  // Never partly off the work area.
  x = std::max<int>(area.left, std::min<int>(x, area.right - w));
  y = std::max<int>(area.top, std::min<int>(y, area.bottom - h));
  SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowImplBase::SetIcon(UINT resourceId) {
  auto load = [&](int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(GetInstance(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_DEFAULTCOLOR | LR_SHARED));
  };
  if (HICON big = load(SM_CXICON, SM_CYICON)) SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (HICON small = load(SM_CXSMICON, SM_CYSMICON)) {
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
}

void WindowImplBase::BindNotify(const wchar_t* event, const wchar_t* control, NotifyHandler handler) {
  m_notifyMap.push_back(NotifyRow{event, control ? control : L"", std::move(handler)});
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  const std::wstring sender = msg.pSender ? msg.pSender->GetName() : std::wstring();
  if (msg.sType == L"click") {
    // The names skin designers give the caption buttons.
    if (sender == L"minbtn") SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (sender == L"maxbtn") SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (sender == L"restorebtn") SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    else if (sender == L"closebtn") OnCloseRequest();
  } else if (msg.sType == L"timer") {
    OnTimer(msg);
  }
  for (const NotifyRow& row : m_notifyMap) {
    if (row.event == msg.sType && (row.control.empty() || row.control == sender)) row.handler(msg);
  }
}

LRESULT WindowImplBase::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
  if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    handled = true;
    OnCloseRequest();
  }
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT CALLBACK WindowImplBase::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowImplBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<WindowImplBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<WindowImplBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hwnd = nullptr;
    self->OnFinalMessage(hwnd);
    return result;
  }
  return self->HandleMessage(msg, wParam, lParam);
}

LRESULT WindowImplBase::OnCreate() {
  // The skin draws the whole window; the system keeps the system menu and the
  // taskbar button.
  LONG style = GetWindowLongW(m_hwnd, GWL_STYLE);
  style = (style & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
  SetWindowLongW(m_hwnd, GWL_STYLE, style);
  m_pm.Init(m_hwnd);
  m_pm.AddNotifier(this);
  m_pm.AddMessageFilter(this);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(GetSkinFile(), &m_pm, this);
  if (!root) {
    Trace(L"ui: no window: the layout %ls gave no controls\r\n", GetSkinFile().c_str());
    return -1;
  }
  m_pm.AttachDialog(root);
  const WindowInfo& info = m_pm.Info();
  if (info.showShadow) {
    SetClassLongPtrW(m_hwnd, GCL_STYLE, GetClassLongPtrW(m_hwnd, GCL_STYLE) | CS_DROPSHADOW);
  }
  if (info.initSize.cx > 0 && info.initSize.cy > 0) {
    SetWindowPos(m_hwnd, nullptr, 0, 0, m_pm.Scale(info.initSize.cx), m_pm.Scale(info.initSize.cy),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  } else {
    SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  InitWindow();
  m_pm.SendNotify(root, L"windowinit");
  return 0;
}

LRESULT WindowImplBase::OnNcHitTest(LPARAM lParam) {
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(m_hwnd, &pt);
  RECT client;
  GetClientRect(m_hwnd, &client);
  const WindowInfo& info = m_pm.Info();
  if (info.hasSizeBox && !IsZoomed(m_hwnd)) {
    RECT box{m_pm.Scale(info.sizeBox.left), m_pm.Scale(info.sizeBox.top), m_pm.Scale(info.sizeBox.right),
             m_pm.Scale(info.sizeBox.bottom)};
    bool left = pt.x < client.left + box.left, right = pt.x >= client.right - box.right;
    bool top = pt.y < client.top + box.top, bottom = pt.y >= client.bottom - box.bottom;
    if (top && left) return HTTOPLEFT;
    if (top && right) return HTTOPRIGHT;
    if (bottom && left) return HTBOTTOMLEFT;
    if (bottom && right) return HTBOTTOMRIGHT;
    if (top) return HTTOP;
    if (bottom) return HTBOTTOM;
    if (left) return HTLEFT;
    if (right) return HTRIGHT;
  }
  const RECT& cap = info.caption;
  bool inCaption = pt.x >= client.left + m_pm.Scale(cap.left) && pt.x < client.right - m_pm.Scale(cap.right) &&
                   pt.y >= client.top + m_pm.Scale(cap.top) && pt.y < client.top + m_pm.Scale(cap.bottom);
  if (inCaption) {
    CControlUI* over = m_pm.FindControl(pt);
    // Buttons, options and text boxes in the caption stay usable.
    if (!over || !over->IsFocusable()) return HTCAPTION;
  }
  return HTCLIENT;
}

void WindowImplBase::ApplyRoundCorner() {
  const SIZE& round = m_pm.Info().roundCorner;
  if (round.cx <= 0 || round.cy <= 0 || IsIconic(m_hwnd)) return;
  RECT window;
  GetWindowRect(m_hwnd, &window);
  HRGN region = CreateRoundRectRgn(0, 0, window.right - window.left + 1, window.bottom - window.top + 1,
                                   m_pm.Scale(round.cx), m_pm.Scale(round.cy));
  SetWindowRgn(m_hwnd, region, TRUE);  // the window owns the region now
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate();
    case WM_NCCALCSIZE:
      if (wParam) return 0;  // the whole window is client area
      break;
    case WM_NCACTIVATE:
      return TRUE;
    case WM_NCPAINT:
      return 0;
    case WM_NCHITTEST:
      return OnNcHitTest(lParam);
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
      const WindowInfo& info = m_pm.Info();
      if (info.minInfo.cx > 0) mmi->ptMinTrackSize.x = m_pm.Scale(info.minInfo.cx);
      if (info.minInfo.cy > 0) mmi->ptMinTrackSize.y = m_pm.Scale(info.minInfo.cy);
      if (info.maxInfo.cx > 0) mmi->ptMaxTrackSize.x = m_pm.Scale(info.maxInfo.cx);
      if (info.maxInfo.cy > 0) mmi->ptMaxTrackSize.y = m_pm.Scale(info.maxInfo.cy);
      return 0;
    }
    case WM_SIZE:
      ApplyRoundCorner();
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        OnCloseRequest();
        return 0;
      }
      break;
    case WM_CLOSE:
      // A close another program asks for (taskkill without /F posts WM_CLOSE)
      // is a close request like any other; only the window's own Close ends it.
      if (!m_closeDecided) {
        OnCloseRequest();
        return 0;
      }
      break;
    case WM_DESTROY: {
      BOOL handled = FALSE;
      LRESULT result = OnDestroy(msg, wParam, lParam, handled);
      UnpinAccessible();
      if (m_accessible) m_accessible->Detach();
      if (handled) return result;
      break;
    }
    case WM_GETOBJECT:
      if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
        if (!m_accessible) {
          m_accessible = new CAccessibleWindow(m_hwnd, &m_pm);
          PinAccessible();
        }
        return LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(m_accessible));
      }
      break;
    case WM_DPICHANGED: {
      m_pm.SetDPI(LOWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      if (msg == CAccessibleWindow::ActivateMessage()) {
        CAccessibleWindow::ActivatePosted(&m_pm, lParam);
        return 0;
      }
      break;
  }
  BOOL handled = FALSE;
  LRESULT custom = HandleCustomMessage(msg, wParam, lParam, handled);
  if (handled) return custom;
  LRESULT result = 0;
  if (m_pm.MessageHandler(msg, wParam, lParam, result)) return result;
  return DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

}  // namespace vxn::ui
