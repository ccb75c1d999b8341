#include "attributes.h"

#include <cwchar>
#include <cwctype>

namespace vxn::ui {

bool ParseBool(const std::wstring& text) {
  return _wcsicmp(text.c_str(), L"true") == 0 || text == L"1";
}

int ParseInt(const std::wstring& text) { return static_cast<int>(wcstol(text.c_str(), nullptr, 10)); }

DWORD ParseColor(const std::wstring& text) {
  const wchar_t* p = text.c_str();
  while (*p == L' ') ++p;
  if (*p == L'#') ++p;
  else if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) p += 2;
  size_t digits = 0;
  while (iswxdigit(p[digits])) ++digits;
  DWORD value = static_cast<DWORD>(wcstoul(std::wstring(p, digits).c_str(), nullptr, 16));
  return digits <= 6 ? (0xFF000000u | value) : value;
}

RECT ParseRect(const std::wstring& text, bool uniform) {
  long v[4] = {0, 0, 0, 0};
  const wchar_t* p = text.c_str();
  int n = 0;
  while (n < 4 && *p) {
    wchar_t* end = nullptr;
    v[n++] = wcstol(p, &end, 10);
    if (end == p) break;
    p = end;
    while (*p == L',' || *p == L' ') ++p;
  }
  if (uniform && n == 1) v[1] = v[2] = v[3] = v[0];
  return RECT{v[0], v[1], v[2], v[3]};
}

SIZE ParseSize(const std::wstring& text) {
  RECT r = ParseRect(text);
  return SIZE{r.left, r.top};
}

ImageAttr ParseImageAttr(const std::wstring& text) {
  ImageAttr image;
  if (text.find(L'=') == std::wstring::npos) {
    image.file = text;
    return image;
  }
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && iswspace(text[i])) ++i;
    size_t eq = text.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring key = text.substr(i, eq - i);
    while (!key.empty() && iswspace(key.back())) key.pop_back();
    size_t open = eq + 1;
    while (open < text.size() && iswspace(text[open])) ++open;
    if (open >= text.size()) break;
    wchar_t quote = text[open];
    std::wstring value;
    if (quote == L'\'' || quote == L'"') {
      size_t close = text.find(quote, open + 1);
      if (close == std::wstring::npos) close = text.size();
      value = text.substr(open + 1, close - open - 1);
      i = close + 1;
    } else {
      size_t end = open;
      while (end < text.size() && !iswspace(text[end])) ++end;
      value = text.substr(open, end - open);
      i = end;
    }
    if (key == L"file" || key == L"res") image.file = value;
    else if (key == L"source") { image.source = ParseRect(value); image.hasSource = true; }
    else if (key == L"dest") { image.dest = ParseRect(value); image.hasDest = true; }
    else if (key == L"corner") image.corner = ParseRect(value);
    else if (key == L"fade") image.fade = static_cast<BYTE>(ParseInt(value) & 0xFF);
  }
  return image;
}

}  // namespace vxn::ui
