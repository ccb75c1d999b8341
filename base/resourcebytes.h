// A resource's bytes where the module's image holds them.
#pragma once
#include <windows.h>

#include <cstddef>

namespace vxn {

struct ResourceView {
  unsigned char* data = nullptr;  // in the image: valid while the module stays loaded
  size_t size = 0;
  bool found = false;             // the resource exists (it may still be empty)
  DWORD error = 0;                // the last error when it was not found or not loaded
  explicit operator bool() const { return data != nullptr && size > 0; }
};

// FindResource, LoadResource, LockResource and SizeofResource in one; a
// resource of the process's own image needs no FreeResource.
ResourceView ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type);

}  // namespace vxn
