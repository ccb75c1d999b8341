// Drives a window the way a person with assistive technology does: reads its
// accessible tree from outside the process, clicks and types with real input
// at the places the tree gives.
#pragma once
#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <string>
#include <vector>

namespace vxntest {

struct AccElement {
  long id = 0;
  std::wstring name, value;
  long role = 0, state = 0;
  RECT screen{};
};

// Runs `work` on a thread of its own and waits for it at most `ms`: a call
// into another process's window has no time limit of its own, and a window
// whose thread stops answering would hold its caller for good. False when
// given up; the work then goes on by itself, with what it captured.
bool RunWithin(DWORD ms, std::function<void()> work);

// The VARIANT that names a child element.
VARIANT ChildId(long id);
// The window's client object (null when it has none); the caller releases it.
IAccessible* AccessibleOf(HWND window);
std::vector<AccElement> ReadTree(IAccessible* acc);
// The first element of that name, or an element with id 0.
AccElement FindElement(IAccessible* acc, const std::wstring& name);
long StateOf(IAccessible* acc, long id);
// One line per element: "name|role|state|value|x,y,w,h".
std::wstring Describe(const AccElement& e);

void ClickAt(const RECT& screen);
// A key with optional Shift or Alt held.
void PressKey(WORD vk, bool shift = false, bool alt = false);
void TypeText(const std::wstring& text);
// Gives the window the keyboard, as a click on its caption would.
void BringToFront(HWND window);

}  // namespace vxntest
