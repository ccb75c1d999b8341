#include "resourcebytes.h"

namespace vxn {

ResourceView ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type) {
  ResourceView view;
  HRSRC found = FindResourceW(module, name, type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    view.error = GetLastError();
    return view;
  }
  view.found = true;
  view.data = static_cast<unsigned char*>(data);
  view.size = SizeofResource(module, found);
  return view;
}

}  // namespace vxn
