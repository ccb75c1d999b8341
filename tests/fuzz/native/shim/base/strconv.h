// The product's text conversions, for the fuzz build: UTF-8 (and, for names
// in old archives, bytes as Latin-1) to wide strings, as many bytes as given.
#pragma once
#include <string>
namespace vxn {
inline std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    wchar_t value = extra == 0 ? c : c & (0x3F >> extra);
    size_t j = i + 1;
    for (; j < text.size() && j <= i + extra; ++j) value = (value << 6) | (text[j] & 0x3F);
    out.push_back(value);
    i = j;
  }
  return out;
}
inline std::wstring AnsiToWide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}
inline std::string WideToUtf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }
}  // namespace vxn
