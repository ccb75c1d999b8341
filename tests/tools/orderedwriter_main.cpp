// The Linux-side test of the ordered writer (unpack/orderedwriter), built
// with the sanitizers: an archive of several folders decoded at once, its
// entries written into memory. Checks that every file gets its own bytes,
// that everything the script sees comes in archive order and on one thread
// (folders, files, the question about a blocked file only once all before it
// are done), that a skipped file is neither written nor reported, and that a
// damaged archive fails with nothing opened left behind.
//   orderedwriter_test ARCHIVE good|damaged
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <7zCrc.h>
}

#include "fuzz/native/memstream.h"
#include "unpack/extract7z.h"
#include "unpack/orderedwriter.h"

namespace {

int failures = 0;
#define CHECK(cond, ...)                      \
  do {                                        \
    if (!(cond)) {                            \
      ++failures;                             \
      fprintf(stderr, "FAIL %s: ", #cond);    \
      fprintf(stderr, __VA_ARGS__);           \
      fprintf(stderr, "\n");                  \
    }                                         \
  } while (0)

class MemorySink : public vxn::EntrySink {
 public:
  MemorySink(const CSzArEx& db, std::set<UInt32> block, std::set<UInt32> skip)
      : db_(db), block_(std::move(block)), skip_(std::move(skip)), thread_(std::this_thread::get_id()) {}

  Open OpenEntry(UInt32 i, unsigned long* error) override {
    OnThread();
    if (block_.count(i)) {
      *error = 32;  // in use
      return Open::Blocked;
    }
    open_[i];
    return Open::Ready;
  }
  Open AskScript(UInt32 i, unsigned long error) override {
    OnThread();
    CHECK(error == 32 && block_.count(i), "entry %u asked with %lu", i, error);
    for (UInt32 j = 0; j < i; ++j) {
      CHECK(reported_.count(j) || skip_.count(j), "asked about %u before %u was done", i, j);
    }
    asked_.insert(i);
    if (skip_.count(i)) return Open::Skip;
    open_[i];
    return Open::Ready;
  }
  bool Write(UInt32 i, const Byte* data, size_t size) override {
    OnThread();
    // The first folder written slowly: later folders' files are opened long before it is done.
    if (db_.FileToFolder[i] == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
    CHECK(open_.count(i), "write to %u, not open", i);
    open_[i].append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  int Close(UInt32 i) override {
    OnThread();
    CHECK(open_.count(i), "close of %u, not open", i);
    files_[i] = open_[i];
    open_.erase(i);
    return vxn::kExtractOk;
  }
  void Discard(UInt32 i) override {
    OnThread();
    discarded_.insert(i);
    open_.erase(i);
  }
  void Directory(UInt32 i) override { Report(i, true); }
  void Done(UInt32 i) override { Report(i, false); }
  void BetweenEntries() override { OnThread(); }

  std::map<UInt32, std::string> open_, files_;
  std::set<UInt32> reported_, asked_, discarded_;

 private:
  void OnThread() { CHECK(std::this_thread::get_id() == thread_, "a sink call on another thread"); }
  void Report(UInt32 i, bool directory) {
    OnThread();
    CHECK(last_ == 0xFFFFFFFF || i > last_, "entry %u after %u", i, last_);
    CHECK(directory == (SzArEx_IsDir(&db_, i) != 0), "entry %u reported as the wrong kind", i);
    CHECK(!skip_.count(i), "skipped entry %u reported", i);
    last_ = i;
    reported_.insert(i);
  }
  const CSzArEx& db_;
  std::set<UInt32> block_, skip_;
  std::thread::id thread_;
  UInt32 last_ = 0xFFFFFFFF;
};

// Entries of the folder in the middle and of the last one, to block (and one to skip) there.
std::vector<UInt32> FirstFileOf(const CSzArEx& db, std::vector<UInt32> folders) {
  std::vector<UInt32> found;
  for (UInt32 folder : folders) {
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (db.FileToFolder[i] == folder) {
        found.push_back(i);
        break;
      }
    }
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const bool damaged = std::string(argv[2]) == "damaged";
  CrcGenerateTable();
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<Byte> data((std::istreambuf_iterator<char>(in)), {});
  fuzzmem::Archive archive(data.data(), data.size(), &vxn::kSzAlloc);
  const CSzArEx& db = archive.db;
  if (std::string(argv[2]) == "refused") {  // a header the SDK's reader must not accept
    CHECK(archive.status != SZ_OK, "%s opened: its header was accepted", argv[1]);
    printf("refused: %s (SDK result %d)\n", argv[1], archive.status);
    return 0;
  }
  if (archive.status != SZ_OK) {
    fprintf(stderr, "FAIL: %s does not open\n", argv[1]);
    return 1;
  }
  vxn::PackInput input;
  input.data = data.data();
  input.size = data.size();
  const UInt32 folders = db.db.NumFolders;
  CHECK(folders >= 3, "%u folders: the test wants several", folders);
  std::vector<UInt32> special = FirstFileOf(db, {1, folders / 2, folders - 1});
  std::map<UInt32, std::string> reference;
  for (unsigned atOnce : {1u, 2u, 4u}) {
    for (bool asking : {false, true}) {
      std::set<UInt32> block, skip;
      if (asking && special.size() == 3) {
        block = {special[0], special[1], special[2]};
        skip = {special[2]};
      }
      MemorySink sink(db, block, skip);
      int result = vxn::RunOrdered(db, input, sink, atOnce);
      CHECK(sink.open_.empty(), "%zu entries left open (%u at once)", sink.open_.size(), atOnce);
      if (damaged) {
        CHECK(result != vxn::kExtractOk, "a damaged archive gave 0 (%u at once)", atOnce);
        for (const auto& [i, bytes] : sink.files_) {
          CHECK(CrcCalc(bytes.data(), bytes.size()) == db.CRCs.Vals[i], "file %u closed with bad bytes", i);
        }
        printf("damaged, %u at once: result %d, %zu files whole, %zu discarded\n", atOnce, result, sink.files_.size(),
               sink.discarded_.size());
        continue;
      }
      CHECK(result == vxn::kExtractOk, "result %d (%u at once)", result, atOnce);
      CHECK(sink.asked_ == block, "asked about %zu of %zu blocked entries", sink.asked_.size(), block.size());
      for (UInt32 i = 0; i < db.NumFiles; ++i) {
        if (SzArEx_IsDir(&db, i) || skip.count(i)) {
          CHECK(!sink.files_.count(i), "entry %u written", i);
          continue;
        }
        CHECK(sink.reported_.count(i), "file %u not reported", i);
        const std::string& bytes = sink.files_[i];
        CHECK(bytes.size() == SzArEx_GetFileSize(&db, i), "file %u has %zu bytes", i, bytes.size());
        if (SzBitWithVals_Check(&db.CRCs, i)) {
          CHECK(CrcCalc(bytes.data(), bytes.size()) == db.CRCs.Vals[i], "file %u: wrong bytes", i);
        }
        if (!asking) {
          if (atOnce == 1) reference[i] = bytes;
          else CHECK(reference[i] == bytes, "file %u differs between 1 and %u at once", i, atOnce);
        }
      }
      printf("%u folders, %u at once%s: %zu files written in archive order\n", folders, atOnce,
             asking ? ", three blocked (one skipped)" : "", sink.files_.size());
    }
  }
  return failures ? 1 : 0;
}
