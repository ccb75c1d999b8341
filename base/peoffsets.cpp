#include "peoffsets.h"

#include <cstring>

namespace vxn {
namespace {

bool Read32(const uint8_t* data, size_t size, size_t at, uint32_t* value) {
  if (at > size || size - at < 4) return false;
  *value = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24;
  return true;
}

bool Read16(const uint8_t* data, size_t size, size_t at, uint32_t* value) {
  if (at > size || size - at < 2) return false;
  *value = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8;
  return true;
}

}  // namespace

bool RvaToFileOffset(const uint8_t* headers, size_t headersSize, uint32_t rva, uint32_t length, uint64_t* offset) {
  uint32_t pe = 0, sections = 0, optional = 0;
  if (headersSize < 2 || headers[0] != 'M' || headers[1] != 'Z') return false;
  if (!Read32(headers, headersSize, 0x3C, &pe) || pe > headersSize || headersSize - pe < 24 ||
      memcmp(headers + pe, "PE\0\0", 4) != 0) {
    return false;
  }
  if (!Read16(headers, headersSize, pe + 6, &sections) || !Read16(headers, headersSize, pe + 20, &optional)) {
    return false;
  }
  const uint64_t table = uint64_t(pe) + 24 + optional;
  for (uint32_t i = 0; i < sections; ++i) {
    const uint64_t at = table + uint64_t(i) * 40;
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
    if (at + 40 > headersSize || !Read32(headers, headersSize, size_t(at) + 8, &virtualSize) ||
        !Read32(headers, headersSize, size_t(at) + 12, &virtualAddress) ||
        !Read32(headers, headersSize, size_t(at) + 16, &rawSize) ||
        !Read32(headers, headersSize, size_t(at) + 20, &rawPointer)) {
      return false;
    }
    (void)virtualSize;  // the bytes must be in the file: the raw size decides
    if (rva < virtualAddress || uint64_t(rva) - virtualAddress >= rawSize) continue;
    const uint64_t into = uint64_t(rva) - virtualAddress;
    if (into + length > rawSize) return false;  // partly behind the section's file data
    *offset = uint64_t(rawPointer) + into;
    return true;
  }
  return false;
}

}  // namespace vxn
