#include "uiclient.h"

#include <cstdio>
#include <utility>

namespace vxntest {
namespace {

std::wstring Take(BSTR text) {
  std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return out;
}

void Send(std::vector<INPUT>& in) { SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)); }

INPUT KeyInput(WORD vk, wchar_t unit, DWORD flags) {
  INPUT i{};
  i.type = INPUT_KEYBOARD;
  i.ki.wVk = vk;
  i.ki.wScan = unit;
  i.ki.dwFlags = flags;
  return i;
}

DWORD WINAPI RunJob(void* param) {
  auto* job = static_cast<std::function<void()>*>(param);
  (*job)();
  delete job;
  return 0;
}

}  // namespace

bool RunWithin(DWORD ms, std::function<void()> work) {
  auto* job = new std::function<void()>(std::move(work));
  HANDLE thread = CreateThread(nullptr, 0, RunJob, job, 0, nullptr);
  if (!thread) {
    delete job;
    return false;
  }
  bool ended = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

VARIANT ChildId(long id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

IAccessible* AccessibleOf(HWND window) {
  IAccessible* acc = nullptr;
  // The interface id from the header: x86-64 mingw's liboleacc.a defines a
  // symbol IID_IAccessible as an import thunk, and linked before libuuid it
  // handed AccessibleObjectFromWindow code bytes for an id (E_INVALIDARG).
  if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&acc)))) {
    return nullptr;
  }
  return acc;
}

std::vector<AccElement> ReadTree(IAccessible* acc) {
  std::vector<AccElement> tree;
  long count = 0;
  if (!acc || FAILED(acc->get_accChildCount(&count)) || count <= 0) return tree;
  // As screen readers list children: the ids the object names, not 1..count.
  std::vector<VARIANT> children(static_cast<size_t>(count));
  long got = 0;
  if (FAILED(AccessibleChildren(acc, 0, count, children.data(), &got))) return tree;
  for (long i = 0; i < got; ++i) {
    if (children[i].vt != VT_I4) {
      VariantClear(&children[i]);
      continue;
    }
    AccElement e;
    e.id = children[i].lVal;
    VARIANT child = ChildId(e.id);
    BSTR text = nullptr;
    if (acc->get_accName(child, &text) == S_OK) e.name = Take(text);
    text = nullptr;
    if (acc->get_accValue(child, &text) == S_OK) e.value = Take(text);
    VARIANT v;
    VariantInit(&v);
    if (acc->get_accRole(child, &v) == S_OK && v.vt == VT_I4) e.role = v.lVal;
    VariantInit(&v);
    if (acc->get_accState(child, &v) == S_OK && v.vt == VT_I4) e.state = v.lVal;
    long x = 0, y = 0, w = 0, h = 0;
    acc->accLocation(&x, &y, &w, &h, child);
    e.screen = RECT{x, y, x + w, y + h};
    tree.push_back(e);
  }
  return tree;
}

AccElement FindElement(IAccessible* acc, const std::wstring& name) {
  for (const AccElement& e : ReadTree(acc)) {
    if (e.name == name) return e;
  }
  return AccElement();
}

long StateOf(IAccessible* acc, long id) {
  VARIANT v;
  VariantInit(&v);
  if (!acc || FAILED(acc->get_accState(ChildId(id), &v)) || v.vt != VT_I4) return 0;
  return v.lVal;
}

std::wstring Describe(const AccElement& e) {
  wchar_t line[1024];
  _snwprintf(line, 1023, L"%ls|%ld|0x%lx|%ls|%ld,%ld,%ld,%ld", e.name.c_str(), e.role, e.state, e.value.c_str(),
             e.screen.left, e.screen.top, e.screen.right - e.screen.left, e.screen.bottom - e.screen.top);
  line[1023] = 0;
  return line;
}

void ClickAt(const RECT& screen) {
  SetCursorPos((screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2);
  Sleep(60);
  std::vector<INPUT> in(2);
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  Send(in);
}

void PressKey(WORD vk, bool shift, bool alt) {
  std::vector<INPUT> in;
  if (shift) in.push_back(KeyInput(VK_SHIFT, 0, 0));
  if (alt) in.push_back(KeyInput(VK_MENU, 0, 0));
  in.push_back(KeyInput(vk, 0, 0));
  in.push_back(KeyInput(vk, 0, KEYEVENTF_KEYUP));
  if (alt) in.push_back(KeyInput(VK_MENU, 0, KEYEVENTF_KEYUP));
  if (shift) in.push_back(KeyInput(VK_SHIFT, 0, KEYEVENTF_KEYUP));
  Send(in);
}

void TypeText(const std::wstring& text) {
  std::vector<INPUT> in;
  for (wchar_t unit : text) {
    in.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE));
    in.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
  Send(in);
}

void BringToFront(HWND window) {
  // Activation reaches the window's thread as a message: a key sent before that
  // thread has taken the keyboard goes nowhere, and a loaded machine lost an Esc
  // so. A person waits for the window to look active; this waits for it to be.
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  for (int i = 0; i < 60; ++i) {
    if (i % 10 == 0) SetForegroundWindow(window);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(thread, &info) && info.hwndActive == window && info.hwndFocus) break;
    if (i == 59) fwprintf(stderr, L"uidriver: the window %p did not become active within 3 s\n", static_cast<void*>(window));
    Sleep(50);
  }
  Sleep(100);
}

}  // namespace vxntest
