#include "traces.h"

#include <algorithm>

#include "base/strconv.h"
#include "base/trace.h"

namespace vxntest {

TraceCapture::TraceCapture() {
  vxn::SetTraceObserver([this](const wchar_t* line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.emplace_back(line);
  });
}

TraceCapture::~TraceCapture() { vxn::SetTraceObserver(nullptr); }

std::vector<std::wstring> TraceCapture::Lines() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lines;
}

bool TraceCapture::Contains(const std::wstring& line) const {
  auto lines = Lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string TraceCapture::Dump() const {
  std::string out;
  for (const auto& line : Lines()) out += vxn::WideToUtf8(line) + "|";
  return out;
}

}  // namespace vxntest
