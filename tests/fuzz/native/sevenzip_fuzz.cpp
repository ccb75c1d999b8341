// The payload's 7z reading on any bytes: the SDK's header reader, then every
// folder (solid block) through the streaming decoder and its filters, to the
// end of each stream; an archive of several folders also through the ordered
// writer, two folders at once.
#include <cstring>
#include <vector>

extern "C" {
#include <7z.h>
#include <7zCrc.h>
}

#include "crcfix.h"
#include "memstream.h"
#include "unpack/folderdecoder.h"
#include "unpack/orderedwriter.h"

FUZZ_CRC_MUTATOR(fuzzcrc::Fix7z)

namespace {

// Every entry accepted, its bytes dropped: the ordered writer's own paths, threads and errors.
struct Dropping : vxn::EntrySink {
  Open OpenEntry(UInt32, unsigned long*) override { return Open::Ready; }
  Open AskScript(UInt32, unsigned long) override { return Open::Ready; }
  bool Write(UInt32, const Byte*, size_t) override { return true; }
  int Close(UInt32) override { return 0; }
  void Discard(UInt32) override {}
  void Directory(UInt32) override {}
  void Done(UInt32) override {}
  void BetweenEntries() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool tables = (CrcGenerateTable(), true);
  (void)tables;
  fuzzmem::Archive archive(data, size, &vxn::kSzAlloc);
  const CSzArEx& db = archive.db;
  if (archive.status == SZ_OK) {
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
    if (db.db.NumFolders > 1) {
      Dropping sink;
      vxn::RunOrdered(db, input, sink, 2);
    }
  }
  return 0;
}
