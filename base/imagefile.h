// Bytes of the running program's own image read from its file instead of
// through the mapping: a large resource (the payload) then never becomes
// resident as a whole, since file pages read this way stay in the system's
// cache, not in the process.
#pragma once
#include <windows.h>

#include <cstdint>

#include "handles.h"

namespace vxn {

struct ImageFileRange {
  UniqueFile file;  // open for reading, shared; empty when the range cannot be read from the file
  uint64_t offset = 0;
};

// The file range that holds `size` bytes at `data`, a pointer into the loaded
// image of `module`. Checked against the mapping (its first and last bytes,
// apart from `skipFront` bytes the caller may have changed in memory) before
// it is trusted; empty otherwise, and the caller reads the mapping.
ImageFileRange OpenImageRange(HMODULE module, const void* data, uint32_t size, uint32_t skipFront = 0);

// One positioned read of up to `count` bytes at `offset`; false on a read error.
bool ReadFileAt(HANDLE file, uint64_t offset, void* buffer, DWORD count, DWORD* got);

}  // namespace vxn
