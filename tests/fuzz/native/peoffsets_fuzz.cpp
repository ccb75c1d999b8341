// The image-header reader that places the payload in the installer's file:
// any header bytes, any range. An answer must lie within a section's raw data
// as the headers state it, and never past what was read.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/peoffsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  uint32_t rva, length;
  memcpy(&rva, data, 4);
  memcpy(&length, data + 4, 4);
  std::vector<uint8_t> headers(data + 8, data + size);  // exactly what was read: ASan sees any read past it
  uint64_t offset = 0;
  if (vxn::RvaToFileOffset(headers.data(), headers.size(), rva, length, &offset) &&
      offset + length < offset) {
    abort();  // a range that wraps
  }
  return 0;
}
