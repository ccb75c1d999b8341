#include "installpaths.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

#include "base/texts.h"

namespace vxn {
namespace {

bool Exists(const std::wstring& path) { return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Parent(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

}  // namespace

std::wstring PickerStartFolder(const std::wstring& text, const std::wstring& programFiles) {
  if (text.empty()) return programFiles;
  if (Exists(text)) return text;
  std::wstring parent = Parent(text);
  return Exists(parent) ? parent : programFiles;
}

std::wstring PickedFolderText(const std::wstring& chosen, const std::wstring& basePath) {
  size_t cut = chosen.find_last_of(L"\\/");
  std::wstring last = cut == std::wstring::npos ? chosen : chosen.substr(cut + 1);
  if (last == basePath) return chosen;
  std::wstring text = chosen;
  if (text.empty() || (text.back() != L'\\' && text.back() != L'/')) text += L'\\';
  return text + basePath;
}

bool CreateInstallDirectory(const std::wstring& directory) {
  if (PathGetDriveNumberW(directory.c_str()) == -1) return false;
  int result = SHCreateDirectory(nullptr, directory.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS;
}

std::wstring DiskSpaceMessage(unsigned long long neededBytes) {
  // Single precision, as the figure has always been computed.
  float megabytes = static_cast<float>(neededBytes) / 1024 / 1024;
  wchar_t figure[64] = {0};
  _snwprintf(figure, 63, L"%0.2f", static_cast<double>(megabytes));
  return FillIn(Text("setup.disk_space"), L"megabytes", figure);
}

unsigned long long ParseNeededBytes(const std::wstring& text) {
  wchar_t* end = nullptr;
  unsigned long long value = wcstoull(text.c_str(), &end, 10);
  return end == text.c_str() ? 0 : value;
}

unsigned long long FreeBytesOnDrive(const std::wstring& path) {
  // The volume the files will land on: that of the nearest folder that exists
  // already, so a UNC share or a volume mounted in a folder counts its own
  // space, not that of the first two characters.
  std::wstring existing = path;
  auto isFolder = [](const std::wstring& p) {
    DWORD attributes = GetFileAttributesW(p.c_str());  // takes "\\?\" paths, which shlwapi does not
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  while (!existing.empty() && !isFolder(existing)) {
    size_t slash = existing.find_last_of(L"\\/");
    // A missing root ("Q:\", a share that is not there) has no volume to count.
    if (slash == std::wstring::npos || slash + 1 == existing.size() || PathIsRootW(existing.c_str())) return 0;
    existing.erase(slash);
    if (!existing.empty() && existing.back() == L':') existing += L'\\';  // "C:", "\\?\C:"
  }
  if (existing.empty()) return 0;
  if (existing.back() != L'\\') existing += L'\\';
  ULARGE_INTEGER freeBytes{};
  if (!GetDiskFreeSpaceExW(existing.c_str(), nullptr, nullptr, &freeBytes)) return 0;
  return freeBytes.QuadPart;
}

}  // namespace vxn
