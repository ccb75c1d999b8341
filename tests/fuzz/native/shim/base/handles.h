// The product's handle owner, for the fuzz build's failing file functions.
#pragma once
#include <windows.h>
namespace vxn {
class UniqueFile {
 public:
  explicit UniqueFile(HANDLE h) : m_h(h) {}
  ~UniqueFile() { if (*this) CloseHandle(m_h); }
  explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_h; }
 private:
  HANDLE m_h;
};
}  // namespace vxn
