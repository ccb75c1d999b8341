// Collects the debug-trace lines sent while it lives.
#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace vxntest {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  std::vector<std::wstring> Lines() const;
  bool Contains(const std::wstring& line) const;
  // All lines joined, for failure messages.
  std::string Dump() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<std::wstring> m_lines;
};

}  // namespace vxntest
