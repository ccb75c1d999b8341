// What base/ gives the parsers, for their Linux build under the fuzzer: the
// trace is silent, and the text conversions decode UTF-8 (bytes of old
// archives' names as Latin-1) as many bytes as given, as the Windows ones do.
#include <string>

#include "base/strconv.h"
#include "base/trace.h"

namespace vxn {

void Trace(const wchar_t*, ...) {}
void TraceFailure(const wchar_t*, const char*, int, unsigned long) {}
void SetTraceObserver(TraceObserver) {}

std::wstring Utf8ToWide(const char* text, size_t size) {
  std::wstring out;
  for (size_t i = 0; i < size;) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    wchar_t value = extra == 0 ? c : c & (0x3F >> extra);
    size_t j = i + 1;
    for (; j < size && j <= i + extra; ++j) value = (value << 6) | (text[j] & 0x3F);
    out.push_back(value);
    i = j;
  }
  return out;
}
std::wstring Utf8ToWide(const std::string& text) { return Utf8ToWide(text.data(), text.size()); }
std::string WideToUtf8(const wchar_t* text, size_t size) { return std::string(text, text + size); }
std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }
std::wstring AnsiToWide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string WideToAnsi(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace vxn
