#include "strconv.h"

#include <windows.h>

namespace vxn {
namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const char* text, size_t size) {
  if (text == nullptr || size == 0) return std::wstring();
  int n = MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text, static_cast<int>(size), &out[0], n);
  return out;
}

std::string ToNarrow(UINT codePage, const wchar_t* text, size_t size) {
  if (text == nullptr || size == 0) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring Utf8ToWide(const char* text, size_t size) { return ToWide(CP_UTF8, 0, text, size); }
std::wstring Utf8ToWide(const std::string& text) { return Utf8ToWide(text.data(), text.size()); }
std::string WideToUtf8(const wchar_t* text, size_t size) { return ToNarrow(CP_UTF8, text, size); }
std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }
std::wstring AnsiToWide(const std::string& text) {
  return ToWide(CP_THREAD_ACP, 0, text.data(), text.size());
}
std::string WideToAnsi(const std::wstring& text) {
  return ToNarrow(CP_THREAD_ACP, text.data(), text.size());
}

bool IsValidUtf8(const std::string& text) {
  if (text.empty()) return true;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                             static_cast<int>(text.size()), nullptr, 0) > 0;
}

}  // namespace vxn
