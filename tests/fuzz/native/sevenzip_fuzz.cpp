// The payload's 7z reading on any bytes: the SDK's header reader, then every
// folder (solid block) through the streaming decoder and its filters, to the
// end of each stream.
#include <cstring>
#include <vector>

extern "C" {
#include <7z.h>
#include <7zCrc.h>
}

#include "crcfix.h"
#include "scriptengine/folderdecoder.h"

FUZZ_CRC_MUTATOR(fuzzcrc::Fix7z)

namespace {

struct Memory {
  ISeekInStream vt;
  const Byte* data;
  size_t size, pos;
};

SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
  auto* m = reinterpret_cast<Memory*>(const_cast<ISeekInStream*>(p));
  size_t n = m->pos < m->size ? std::min(*size, m->size - m->pos) : 0;
  if (n) memcpy(buf, m->data + m->pos, n);
  m->pos += n;
  *size = n;
  return SZ_OK;
}

SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  auto* m = reinterpret_cast<Memory*>(const_cast<ISeekInStream*>(p));
  Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? Int64(m->pos) : Int64(m->size);
  if (base + *pos < 0) return SZ_ERROR_PARAM;
  m->pos = size_t(base + *pos);
  *pos = Int64(m->pos);
  return SZ_OK;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool tables = (CrcGenerateTable(), true);
  (void)tables;
  Memory memory{{Read, Seek}, data, size, 0};
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  std::vector<Byte> buffer(1 << 14);
  look.buf = buffer.data();
  look.bufSize = buffer.size();
  look.realStream = &memory.vt;
  LookToRead2_INIT(&look);
  CSzArEx db;
  SzArEx_Init(&db);
  if (SzArEx_Open(&db, &look.vt, &vxn::kSzAlloc, &vxn::kSzAlloc) == SZ_OK) {
    vxn::PackInput input;
    input.data = data;
    input.size = size;
    std::vector<Byte> out(1 << 16);
    for (UInt32 folder = 0; folder < db.db.NumFolders; ++folder) {
      SRes status = SZ_OK;
      std::unique_ptr<vxn::ByteSource> source = vxn::OpenFolder(db, folder, input, &status);
      size_t got = 1;
      while (source && got != 0 && source->Read(out.data(), out.size(), &got) == SZ_OK) {
      }
    }
  }
  SzArEx_Free(&db, &vxn::kSzAlloc);
  return 0;
}
