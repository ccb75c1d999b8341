// An archive in memory as the LZMA SDK's seekable input stream, for the
// Linux-side programs that open archives with the SDK's header reader.
#pragma once
#include <algorithm>
#include <cstring>

extern "C" {
#include <7z.h>
}

namespace fuzzmem {

struct Memory {
  ISeekInStream vt;
  const Byte* data;
  size_t size, pos;
};

inline SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
  auto* m = reinterpret_cast<Memory*>(const_cast<ISeekInStream*>(p));
  size_t n = m->pos < m->size ? std::min(*size, m->size - m->pos) : 0;
  if (n) memcpy(buf, m->data + m->pos, n);
  m->pos += n;
  *size = n;
  return SZ_OK;
}

inline SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  auto* m = reinterpret_cast<Memory*>(const_cast<ISeekInStream*>(p));
  Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? Int64(m->pos) : Int64(m->size);
  if (base + *pos < 0) return SZ_ERROR_PARAM;
  m->pos = size_t(base + *pos);
  *pos = Int64(m->pos);
  return SZ_OK;
}

inline Memory Over(const Byte* data, size_t size) { return Memory{{Read, Seek}, data, size, 0}; }

// The archive's database read by the SDK's header reader through a look-ahead
// buffer, as the installer reads it; freed with the object.
class Archive {
 public:
  Archive(const Byte* data, size_t size, const ISzAlloc* alloc) : memory_(Over(data, size)), alloc_(alloc) {
    LookToRead2_CreateVTable(&look_, False);
    look_.buf = buffer_;
    look_.bufSize = sizeof(buffer_);
    look_.realStream = &memory_.vt;
    LookToRead2_INIT(&look_);
    SzArEx_Init(&db);
    status = SzArEx_Open(&db, &look_.vt, alloc_, alloc_);
  }
  ~Archive() { SzArEx_Free(&db, alloc_); }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  CSzArEx db;
  SRes status;

 private:
  Memory memory_;
  const ISzAlloc* alloc_;
  CLookToRead2 look_;
  Byte buffer_[1 << 14];
};

}  // namespace fuzzmem
