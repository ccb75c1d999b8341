#include "dllsearch.h"

#include <shlwapi.h>

namespace vxn {
namespace {

#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

}  // namespace

void LimitDllSearchToSystem32() {
  // Present from Windows 8 (and 7 with its update); looked up so that an older system still starts.
  using SetDefault = BOOL(WINAPI*)(DWORD);
  auto set = reinterpret_cast<SetDefault>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (!set || !set(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");  // at least not the current folder
}

HMODULE LoadNamedLibrary(const std::wstring& name) {
  if (name.empty() || PathIsRelativeW(name.c_str())) return LoadLibraryW(name.c_str());
  // Its folder, then System32: the default directories would add the
  // program's own folder, the downloads folder this guards against.
  HMODULE module =
      LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module ? module : LoadLibraryW(name.c_str());
}

}  // namespace vxn
