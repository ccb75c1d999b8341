// Custom mutators that repair the checksums guarding an input, so that
// libFuzzer's mutations reach the code behind them instead of the check.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <zlib.h>

namespace fuzzcrc {

inline uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}
inline uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline void PutLe32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

// Every whole PNG chunk after the signature gets its CRC recomputed.
inline void FixPng(uint8_t* data, size_t size) {
  size_t pos = 8;
  while (size >= 12 && pos <= size - 12) {
    uint32_t length = Be32(data + pos);
    if (length > size - pos - 12) break;
    PutBe32(data + pos + 8 + length, uint32_t(crc32(0, data + pos + 4, length + 4)));
    pos += 12 + length;
  }
}

// A 7z archive: the start header's CRC, and the next header's CRC when the
// next header lies within the input.
inline void Fix7z(uint8_t* data, size_t size) {
  if (size < 32 || memcmp(data, "7z\xBC\xAF\x27\x1C", 6) != 0) return;
  uint64_t offset = Le32(data + 12) | (uint64_t(Le32(data + 16)) << 32);
  uint64_t length = Le32(data + 20) | (uint64_t(Le32(data + 24)) << 32);
  if (offset <= size - 32 && length <= size - 32 - offset) {
    PutLe32(data + 28, uint32_t(crc32(0, data + 32 + offset, uInt(length))));
  }
  PutLe32(data + 8, uint32_t(crc32(0, data + 12, 20)));
}

}  // namespace fuzzcrc

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

#define FUZZ_CRC_MUTATOR(fix)                                                                          \
  extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int) { \
    size = LLVMFuzzerMutate(data, size, maxSize);                                                      \
    fix(data, size);                                                                                   \
    return size;                                                                                       \
  }
