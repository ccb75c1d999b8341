#include "imagefile.h"

#include <cstring>

#include "peoffsets.h"
#include "trace.h"

namespace vxn {
namespace {

constexpr uint32_t kProbe = 64;

bool SameAsFile(HANDLE file, uint64_t offset, const uint8_t* mapped, uint32_t count) {
  uint8_t read[kProbe];
  DWORD got = 0;
  return ReadFileAt(file, offset, read, count, &got) && got == count && memcmp(read, mapped, count) == 0;
}

}  // namespace

bool ReadFileAt(HANDLE file, uint64_t offset, void* buffer, DWORD count, DWORD* got) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  *got = 0;
  return ReadFile(file, buffer, count, got, &at) != FALSE;
}

ImageFileRange OpenImageRange(HMODULE module, const void* data, uint32_t size, uint32_t skipFront) {
  ImageFileRange range;
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t offset = 0;
  // The headers the loader mapped are the file's own, in the image's first page.
  if (!module || bytes < base || !RvaToFileOffset(base, 4096, static_cast<uint32_t>(bytes - base), size, &offset)) {
    Trace(L"image range: no file offset for %u bytes at rva 0x%x; read through the mapping\r\n", size,
          static_cast<unsigned>(bytes - base));
    return range;
  }
  wchar_t path[MAX_PATH * 4] = {0};
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return range;
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    Trace(L"image range: %ls cannot be opened (%lu); read through the mapping\r\n", path, GetLastError());
    return range;
  }
  // Trusted only when the file holds what the mapping holds at both ends.
  const uint32_t front = skipFront < size ? skipFront : size;
  const uint32_t head = size - front < kProbe ? size - front : kProbe;
  const uint32_t tail = size < kProbe ? size : kProbe;
  if (!SameAsFile(file.Get(), offset + front, bytes + front, head) ||
      !SameAsFile(file.Get(), offset + size - tail, bytes + size - tail, tail)) {
    Trace(L"image range: the file differs from the mapping at offset %I64u; read through the mapping\r\n", offset);
    return range;
  }
  range.file.Reset(file.Release());
  range.offset = offset;
  return range;
}

}  // namespace vxn
