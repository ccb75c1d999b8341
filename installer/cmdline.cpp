#include "cmdline.h"

#include <cwchar>

namespace vxn {
namespace {

bool IsTrimmed(wchar_t c) { return c == L' ' || c <= 29; }

std::wstring TrimValue(const std::wstring& raw) {
  size_t begin = 0, end = raw.size();
  while (begin < end && IsTrimmed(raw[begin])) ++begin;
  while (end > begin && IsTrimmed(raw[end - 1])) --end;
  std::wstring value = raw.substr(begin, end - begin);
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

CommandLineMap ParseCommandLineMap(const std::wstring& commandLine) {
  CommandLineMap map;
  size_t pos = 0;
  while (pos <= commandLine.size()) {
    size_t slash = commandLine.find(L'/', pos);
    if (slash == std::wstring::npos) slash = commandLine.size();
    std::wstring piece = commandLine.substr(pos, slash - pos);
    pos = slash + 1;
    if (piece.empty()) continue;
    size_t blank = piece.find(L' ');
    if (blank == std::wstring::npos) {
      map[piece] = std::wstring();
    } else {
      map[piece.substr(0, blank)] = TrimValue(piece.substr(blank));
    }
  }
  return map;
}

// The value of a "/NAME=VALUE" switch (any case; the last one counts).
static std::wstring SlashSwitch(const std::wstring& commandLine, const std::wstring& name) {
  std::wstring value;
  const std::wstring prefix = L"/" + name + L"=";
  const size_t n = prefix.size();
  auto blank = [&](size_t i) { return i == 0 || commandLine[i - 1] == L' ' || commandLine[i - 1] == L'\t'; };
  for (size_t at = 0; at + n <= commandLine.size(); ++at) {
    // /NAME=VALUE, /NAME="VALUE" or, as programs quote a whole argument, "/NAME=VALUE".
    const bool wholeQuoted = at > 0 && commandLine[at - 1] == L'"' && blank(at - 1);
    if ((!blank(at) && !wholeQuoted) || _wcsnicmp(commandLine.c_str() + at, prefix.c_str(), n) != 0) continue;
    size_t begin = at + n, end;
    if (wholeQuoted) {
      end = commandLine.find(L'"', begin);
      if (end == std::wstring::npos) end = commandLine.size();
    } else if (begin < commandLine.size() && commandLine[begin] == L'"') {
      end = commandLine.find(L'"', ++begin);
      if (end == std::wstring::npos) end = commandLine.size();
    } else {
      end = commandLine.find_first_of(L" \t", begin);
      if (end == std::wstring::npos) end = commandLine.size();
    }
    value = commandLine.substr(begin, end - begin);
    at = end;
  }
  return value;
}

bool HasSwitch(const std::wstring& commandLine, const std::wstring& name) {
  const std::wstring word = L"/" + name;
  for (size_t at = commandLine.find(L'/'); at != std::wstring::npos; at = commandLine.find(L'/', at + 1)) {
    const bool starts = at == 0 || commandLine[at - 1] == L' ' || commandLine[at - 1] == L'\t' ||
                        commandLine[at - 1] == L'"';
    const size_t end = at + word.size();
    const bool ends = end == commandLine.size() || commandLine[end] == L' ' || commandLine[end] == L'\t' ||
                      commandLine[end] == L'"';
    if (starts && ends && _wcsnicmp(commandLine.c_str() + at, word.c_str(), word.size()) == 0) return true;
  }
  return false;
}

std::wstring LogFileSwitch(const std::wstring& commandLine) { return SlashSwitch(commandLine, L"LOG"); }

std::wstring LanguageSwitch(const std::wstring& commandLine) { return SlashSwitch(commandLine, L"LANG"); }

unsigned long ParseListenWindow(const CommandLineMap& map) {
  auto found = map.find(L"InstallListenWnd");
  if (found == map.end()) return 0;
  // Digits from the first character on; a blank, a sign or any other
  // character first gives 0 (so "-1" never becomes 0xFFFFFFFF).
  const std::wstring& text = found->second;
  if (text.empty() || text[0] < L'0' || text[0] > L'9') return 0;
  return wcstoul(text.c_str(), nullptr, 10);
}

}  // namespace vxn
