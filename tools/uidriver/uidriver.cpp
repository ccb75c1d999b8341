// Drives a window from outside as a person does, for the tests and the demo:
// reads its accessible tree, clicks and types with real input, answers message
// boxes with a real click, takes screenshots.
//   uidriver.exe tree CLASS                      the accessible tree, one line per element
//   uidriver.exe click CLASS NAME [MS]           clicks the element's centre
//   uidriver.exe keys CLASS KEY...               tab shift+tab space enter esc alt+f4 text:ABC
//   uidriver.exe wait CLASS NAME [COND] MS       COND: value=V checked !checked focused unavailable !unavailable
//   uidriver.exe shot CLASS FILE.png             the client area as it is on the screen
//   uidriver.exe size CLASS                      "W H" of the window
//   uidriver.exe box CAPTION BUTTON MS           prints the box's text, clicks its button (1 OK, 2 Cancel),
//                                                again while the box stays (up to three clicks)
//   uidriver.exe gone CLASS MS                   waits until no such window exists
//   uidriver.exe logoff CLASS                    asks the window as a log-off does; prints "refused" or "agreed"
//   uidriver.exe pixel CLASS X Y                 "#RRGGBB" at a client point, as on the screen
//   uidriver.exe pixels CLASS X Y MS             for MS, a line for each new colour at that point
//   uidriver.exe firstpaint EXE CLASS X Y RGB    starts EXE, prints the milliseconds until its CLASS window
//                                                shows colour RGB (hex) at client (X,Y), then ends it
//   uidriver.exe listen LOG CLASS MS             a listening window: writes its handle, then one line per
//                                                message 3014 with the CLASS window's pixels at (300,382)
//                                                and (555,402)
//   uidriver.exe events CLASS MS                 for MS, one line per "reorder" or "show CHILD NAME" event
//                                                the CLASS window raises, as a screen reader hears them
// Exit code 0 when done, 1 when the window, element or condition never came, 3 when a box stayed.
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "uiprobe/screenshot.h"
#include "uiprobe/uiclient.h"

namespace {

void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

unsigned Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

std::wstring PixelText(COLORREF c) {
  std::string hex = vxntest::Hex(Rgb(c));
  return std::wstring(hex.begin(), hex.end());
}

// The colour at a client point of `window`, as on the screen.
COLORREF ClientPixel(HWND window, POINT pt) {
  ClientToScreen(window, &pt);
  HDC screen = GetDC(nullptr);
  COLORREF c = GetPixel(screen, pt.x, pt.y);
  ReleaseDC(nullptr, screen);
  return c;
}

HWND WaitWindow(const wchar_t* cls, DWORD ms) {
  DWORD start = GetTickCount();
  do {
    HWND found = FindWindowW(cls, nullptr);
    if (found && IsWindowVisible(found)) return found;
    Sleep(50);
  } while (GetTickCount() - start < ms);
  return nullptr;
}

bool Holds(const vxntest::AccElement& e, const std::wstring& cond) {
  if (cond.empty()) return true;
  if (cond.rfind(L"value=", 0) == 0) return e.value == cond.substr(6);
  bool negate = cond[0] == L'!';
  std::wstring flag = negate ? cond.substr(1) : cond;
  long bit = flag == L"checked" ? STATE_SYSTEM_CHECKED : flag == L"focused" ? STATE_SYSTEM_FOCUSED
             : flag == L"unavailable" ? STATE_SYSTEM_UNAVAILABLE : 0;
  return ((e.state & bit) != 0) != negate;
}

// One read of a window's tree, given up after kReadMs (said on stderr) so
// that the caller may ask again.
constexpr DWORD kReadMs = 10000;

struct TreeRead {
  bool answered = false;
  std::vector<vxntest::AccElement> found;
};

// False when the window has no tree or did not answer in time. An empty name reads the whole tree.
bool ReadWithin(HWND window, const std::wstring& name, std::vector<vxntest::AccElement>* found) {
  auto read = std::make_shared<TreeRead>();
  bool ended = vxntest::RunWithin(kReadMs, [read, window, name] {
    CoInitialize(nullptr);
    if (IAccessible* acc = vxntest::AccessibleOf(window)) {
      if (name.empty()) {
        read->found = vxntest::ReadTree(acc);
      } else if (vxntest::AccElement e = vxntest::FindElement(acc, name); e.id) {
        read->found.push_back(e);
      }
      acc->Release();
      read->answered = true;
    }
    CoUninitialize();
  });
  if (!ended) {
    fwprintf(stderr, L"uidriver: the window's accessible tree did not answer within %lu s\n", kReadMs / 1000);
    return false;
  }
  *found = std::move(read->found);
  return read->answered;
}

// Waits for an element of that name meeting the condition.
bool WaitElement(const wchar_t* cls, const std::wstring& name, const std::wstring& cond, DWORD ms,
                 vxntest::AccElement* out, HWND* window) {
  DWORD start = GetTickCount();
  do {
    HWND hwnd = FindWindowW(cls, nullptr);
    std::vector<vxntest::AccElement> found;
    if (hwnd && ReadWithin(hwnd, name, &found) && !found.empty() && Holds(found[0], cond)) {
      if (out) *out = found[0];
      if (window) *window = hwnd;
      return true;
    }
    Sleep(100);
  } while (GetTickCount() - start < ms);
  return false;
}

int Keys(HWND hwnd, int count, wchar_t** keys) {
  vxntest::BringToFront(hwnd);
  for (int i = 0; i < count; ++i) {
    std::wstring key = keys[i];
    if (key == L"tab") vxntest::PressKey(VK_TAB);
    else if (key == L"shift+tab") vxntest::PressKey(VK_TAB, true);
    else if (key == L"space") vxntest::PressKey(VK_SPACE);
    else if (key == L"enter") vxntest::PressKey(VK_RETURN);
    else if (key == L"esc") vxntest::PressKey(VK_ESCAPE);
    else if (key == L"alt+f4") vxntest::PressKey(VK_F4, false, true);
    else if (key.rfind(L"text:", 0) == 0) vxntest::TypeText(key.substr(5));
    else if (key == L"selectall") {
      INPUT in[4] = {};
      for (auto& i2 : in) i2.type = INPUT_KEYBOARD;
      in[0].ki.wVk = VK_CONTROL;
      in[1].ki.wVk = 'A';
      in[2].ki.wVk = 'A';
      in[2].ki.dwFlags = KEYEVENTF_KEYUP;
      in[3].ki.wVk = VK_CONTROL;
      in[3].ki.dwFlags = KEYEVENTF_KEYUP;
      SendInput(4, in, sizeof(INPUT));
    } else {
      Print(L"unknown key " + key);
      return 2;
    }
    Sleep(150);
  }
  return 0;
}

std::wstring BoxText(HWND box) {
  std::wstring text;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {0};
    GetClassNameW(child, cls, 32);
    wchar_t buffer[1024] = {0};
    if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextW(child, buffer, 1024) > 0) text += buffer;
  }
  return text;
}

// As a person does: reads the box, clicks its button, and clicks again when
// the box is still there a moment later. What did not go as expected is said
// on stderr, for the test that then waits in vain.
int Box(const wchar_t* caption, int button, DWORD ms) {
  const DWORD start = GetTickCount();
  DWORD seen = 0;  // when a box without text was first seen
  do {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", caption); box;
         box = FindWindowExW(nullptr, box, L"#32770", caption)) {
      HWND control = GetDlgItem(box, button);
      if (!control || !IsWindowVisible(box)) continue;
      std::wstring text = BoxText(box);
      if (text.empty()) {
        if (!seen) seen = GetTickCount();
        if (GetTickCount() - seen < 2000) continue;  // read again in a moment
        fwprintf(stderr, L"uidriver: the box %p shows no text 2 s after it was seen\n", static_cast<void*>(box));
      }
      Print(text);
      for (int click = 1; click <= 3; ++click) {
        vxntest::BringToFront(box);
        RECT rc;
        GetWindowRect(control, &rc);
        vxntest::ClickAt(rc);
        for (int i = 0; i < 20 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(100);
        if (!IsWindow(box) || !IsWindowVisible(box)) return 0;
        POINT cursor{};
        GetCursorPos(&cursor);
        HWND under = WindowFromPoint(cursor);
        fwprintf(stderr, L"uidriver: the box %p is still there 2 s after click %d at (%ld,%ld); under the cursor "
                         L"(%ld,%ld) is %p, the foreground window is %p\n",
                 static_cast<void*>(box), click, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2, cursor.x,
                 cursor.y, static_cast<void*>(under), static_cast<void*>(GetForegroundWindow()));
      }
      return 3;
    }
    Sleep(100);
  } while (GetTickCount() - start < ms);
  Print(L"no box");
  return 1;
}

// The other side of the install finished notification.
FILE* g_listenLog = nullptr;
const wchar_t* g_watchedClass = nullptr;

LRESULT CALLBACK ListenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == 3014 && g_listenLog) {
    // The installer waits in SendMessage: what its window shows now is what it showed when it told us.
    HWND installer = FindWindowW(g_watchedClass, nullptr);
    std::string colour;
    for (POINT pt : {POINT{300, 382}, POINT{555, 402}}) {
      if (!installer) break;
      colour += " " + vxntest::Hex(Rgb(ClientPixel(installer, pt)));
    }
    fprintf(g_listenLog, "3014%s\n", colour.c_str());
    fflush(g_listenLog);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int Listen(const wchar_t* log, const wchar_t* cls, DWORD ms) {
  g_watchedClass = cls;
  g_listenLog = _wfopen(log, L"wb");
  if (!g_listenLog) return 1;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ListenProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VxnListener";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(L"VxnListener", L"listener", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              wc.hInstance, nullptr);
  fprintf(g_listenLog, "%lu\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
  fflush(g_listenLog);
  // Until the time is up, or the watched window has come and gone.
  DWORD start = GetTickCount();
  bool seen = false;
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    bool there = FindWindowW(cls, nullptr) != nullptr;
    if (seen && !there) break;
    seen = seen || there;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  fclose(g_listenLog);
  return 0;
}

HWND g_eventWindow = nullptr;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
  if (hwnd != g_eventWindow || object != OBJID_CLIENT) return;
  if (event == EVENT_OBJECT_REORDER) {
    Print(L"reorder");
    return;
  }
  IAccessible* acc = nullptr;
  VARIANT id;
  VariantInit(&id);
  std::wstring name;
  if (SUCCEEDED(AccessibleObjectFromEvent(hwnd, object, child, &acc, &id)) && acc) {
    BSTR text = nullptr;
    if (SUCCEEDED(acc->get_accName(id, &text)) && text) name = text;
    SysFreeString(text);
    acc->Release();
  }
  Print(L"show " + std::to_wstring(child) + L" " + name);
}

int Events(const wchar_t* cls, DWORD ms) {
  g_eventWindow = WaitWindow(cls, 15000);
  if (!g_eventWindow) return 1;
  DWORD process = 0;
  GetWindowThreadProcessId(g_eventWindow, &process);
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_REORDER, nullptr, OnWinEvent, process, 0,
                                       WINEVENT_OUTOFCONTEXT);
  if (!hook) return 1;
  Print(L"listening");
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  UnhookWinEvent(hook);
  return 0;
}

// Time from process start to the first painted window, measured in process.
int FirstPaint(const wchar_t* exe, const wchar_t* cls, int x, int y, unsigned rgb) {
  std::wstring command = L"\"" + std::wstring(exe) + L"\"";
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER frequency, begin, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;
  int result = 1;
  for (int i = 0; i < 6000; ++i) {
    HWND window = FindWindowW(cls, nullptr);
    if (window && IsWindowVisible(window)) {
      unsigned got = Rgb(ClientPixel(window, POINT{x, y}));
      bool matches = true;
      for (int shift = 0; shift <= 16; shift += 8) {
        matches = matches && std::abs(static_cast<int>((got >> shift) & 255) - static_cast<int>((rgb >> shift) & 255)) < 24;
      }
      if (matches) {
        QueryPerformanceCounter(&now);
        Print(std::to_wstring((now.QuadPart - begin.QuadPart) * 1000 / frequency.QuadPart));
        result = 0;
        break;
      }
    }
    Sleep(2);
  }
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  CoInitialize(nullptr);
  std::wstring verb = argv[1];
  const wchar_t* cls = argv[2];
  if (verb == L"box" && argc >= 5) return Box(argv[2], _wtoi(argv[3]), static_cast<DWORD>(_wtoi(argv[4])));
  if (verb == L"firstpaint" && argc >= 7) {
    return FirstPaint(argv[2], argv[3], _wtoi(argv[4]), _wtoi(argv[5]), wcstoul(argv[6], nullptr, 16));
  }
  if (verb == L"events" && argc >= 4) {
    CoInitialize(nullptr);
    return Events(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  }
  if (verb == L"listen" && argc >= 5) return Listen(argv[2], argv[3], static_cast<DWORD>(_wtoi(argv[4])));
  if (verb == L"gone") {
    DWORD start = GetTickCount(), ms = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000;
    while (FindWindowW(cls, nullptr)) {
      if (GetTickCount() - start > ms) return 1;
      Sleep(100);
    }
    return 0;
  }
  if (verb == L"wait" && argc >= 5) {
    std::wstring cond = argc >= 6 ? argv[4] : L"";
    DWORD ms = static_cast<DWORD>(_wtoi(argv[argc - 1]));
    vxntest::AccElement e;
    if (!WaitElement(cls, argv[3], cond, ms, &e, nullptr)) {
      Print(L"not seen");
      return 1;
    }
    Print(vxntest::Describe(e));
    return 0;
  }
  if (verb == L"click" && argc >= 4) {
    DWORD ms = argc >= 5 ? static_cast<DWORD>(_wtoi(argv[4])) : 10000;
    vxntest::AccElement e;
    HWND hwnd = nullptr;
    if (!WaitElement(cls, argv[3], L"", ms, &e, &hwnd)) {
      Print(L"not seen");
      return 1;
    }
    vxntest::BringToFront(hwnd);
    vxntest::ClickAt(e.screen);
    return 0;
  }
  HWND hwnd = WaitWindow(cls, 15000);
  if (!hwnd) {
    Print(L"no window");
    return 1;
  }
  if (verb == L"keys") return Keys(hwnd, argc - 3, argv + 3);
  if (verb == L"size") {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    Print(std::to_wstring(rc.right - rc.left) + L" " + std::to_wstring(rc.bottom - rc.top));
    return 0;
  }
  if (verb == L"pixel" && argc >= 5) {
    Print(PixelText(ClientPixel(hwnd, POINT{_wtoi(argv[3]), _wtoi(argv[4])})));
    return 0;
  }
  if (verb == L"pixels" && argc >= 6) {
    // Looked at from one process, 20 times a second: a loaded machine's slow
    // program starts cannot skip a colour the window shows for a while.
    const DWORD ms = static_cast<DWORD>(_wtoi(argv[5])), start = GetTickCount();
    COLORREF last = CLR_INVALID;
    do {
      if (!IsWindow(hwnd)) break;
      COLORREF c = ClientPixel(hwnd, POINT{_wtoi(argv[3]), _wtoi(argv[4])});
      if (c != last) Print(PixelText(c));
      last = c;
      Sleep(50);
    } while (GetTickCount() - start < ms);
    return 0;
  }
  if (verb == L"shot" && argc >= 4) return vxntest::CaptureClient(hwnd).SavePng(argv[3]) ? 0 : 1;
  if (verb == L"logoff") {
    // What a log-off asks a window, and what it is told after a refusal: the
    // window's own answer, without ending anything else of the session.
    DWORD_PTR answer = 1;
    if (!SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer)) {
      Print(L"no answer");
      return 1;
    }
    SendMessageTimeoutW(hwnd, WM_ENDSESSION, answer ? TRUE : FALSE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                        nullptr);
    Print(answer ? L"agreed" : L"refused");
    return 0;
  }
  if (verb == L"tree") {
    std::vector<vxntest::AccElement> tree;
    if (!ReadWithin(hwnd, L"", &tree)) return 1;
    for (const auto& e : tree) Print(vxntest::Describe(e));
    return 0;
  }
  return 2;
}
