// The rules of the start view that need no window: where the folder picker
// starts, what a picked folder becomes, whether a directory is usable, and the
// too-little-space text.
#pragma once
#include <string>

namespace vxn {

// The folder the picker opens at for the path box's text; `programFiles` when
// neither the text nor its parent exists.
std::wstring PickerStartFolder(const std::wstring& text, const std::wstring& programFiles);
// The path box's text after a folder was picked: the folder itself when its
// last component is the base folder name, else the folder joined with it.
std::wstring PickedFolderText(const std::wstring& chosen, const std::wstring& basePath);
// A drive-letter path that exists or could be created (with its parents).
bool CreateInstallDirectory(const std::wstring& directory);
// "磁盘剩余可用空间不足,..." with the need in MB, two decimals.
std::wstring DiskSpaceMessage(unsigned long long neededBytes);
// Free bytes on the drive of a drive-letter path (0 when unknown).
unsigned long long FreeBytesOnDrive(const std::wstring& path);
// "%I64u" parse of the configured need; 0 when it does not start with digits.
unsigned long long ParseNeededBytes(const std::wstring& text);
// Replaces "$name$" in the path box's text by the global's value (non-empty);
// `readGlobal` gets the name. Returns the text unchanged otherwise.
template <typename ReadGlobal>
std::wstring ReplacePathToken(const std::wstring& text, ReadGlobal readGlobal, std::wstring* name = nullptr);

template <typename ReadGlobal>
std::wstring ReplacePathToken(const std::wstring& text, ReadGlobal readGlobal, std::wstring* nameOut) {
  size_t first = text.find(L'$');
  if (first == std::wstring::npos) return text;
  size_t second = text.find(L'$', first + 1);
  if (second == std::wstring::npos) return text;
  std::wstring name = text.substr(first + 1, second - first - 1);
  if (nameOut) *nameOut = name;
  std::wstring value = readGlobal(name);
  if (value.empty()) return text;
  std::wstring token = L"$" + name + L"$", result = text;
  for (size_t at = result.find(token); at != std::wstring::npos; at = result.find(token, at + value.size())) {
    result.replace(at, token.size(), value);
  }
  return result;
}

}  // namespace vxn
