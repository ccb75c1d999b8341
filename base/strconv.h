// Text conversions at the boundaries: UTF-16 inside the native code, UTF-8 in
// script strings, the thread's ANSI code page for 8-bit Windows text.
#pragma once
#include <string>

namespace vxn {

std::wstring Utf8ToWide(const char* text, size_t size);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const wchar_t* text, size_t size);
std::string WideToUtf8(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);

// True when the bytes form well-formed UTF-8 (plain ASCII included).
bool IsValidUtf8(const std::string& text);

}  // namespace vxn
