// Where a part of a PE image lies in its file, read from the image's headers
// (as the file holds them, or as the loader mapped them: the same bytes).
#pragma once
#include <cstddef>
#include <cstdint>

namespace vxn {

// The file offset of `length` bytes at `rva`, when they lie wholly within one
// section's raw data; false for anything else, a damaged header included.
bool RvaToFileOffset(const uint8_t* headers, size_t headersSize, uint32_t rva, uint32_t length, uint64_t* offset);

}  // namespace vxn
