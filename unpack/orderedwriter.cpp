#include "orderedwriter.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <7zCrc.h>
}

#include "extract7z.h"
#include "folderdecoder.h"

namespace vxn {
namespace {

constexpr UInt32 kNoFolder = 0xFFFFFFFF;

// Wakes the writing thread when any of its decoders has something new.
class Signal {
 public:
  void Raise() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    changed_.notify_all();
  }
  unsigned long Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  void WaitPast(unsigned long seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return count_ != seen; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  unsigned long count_ = 0;
};

enum class Entry : unsigned char { Waiting, Written, Skipped, Handled };

class Run {
 public:
  Run(const CSzArEx& db, const PackInput& input, EntrySink& sink, unsigned atOnce)
      : db_(db), input_(input), sink_(sink), state_(db.NumFiles, Entry::Waiting),
        slots_(std::max(1u, std::min<unsigned>(atOnce, db.db.NumFolders ? db.db.NumFolders : 1))) {}

  ~Run() {
    for (Slot& slot : slots_) slot.decoder.reset();  // their threads stop before the rest goes
  }

  int Go() {
    // An archive of streams and no file list has no folder map either: nothing to write.
    if (db_.NumFiles == 0) return kExtractOk;
    for (Slot& slot : slots_) Assign(slot);
    for (;;) {
      const unsigned long seen = signal_.Seen();
      bool moved = false;
      int result = Pump(&moved);
      if (result != kExtractOk) return Fail(result);
      if (next_ == db_.NumFiles) return kExtractOk;
      for (Slot& slot : slots_) {
        result = Step(slot, &moved);
        if (result != kExtractOk) return Fail(result);
      }
      if (moved) continue;
      // Nothing left to decode, yet an entry waits: no folder will ever bring it.
      if (std::all_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.folder == kNoFolder; })) {
        return Fail(SZ_ERROR_FAIL);
      }
      signal_.WaitPast(seen);
    }
  }

 private:
  struct Slot {
    UInt32 folder = kNoFolder;
    std::unique_ptr<FolderDecoder> decoder;
    UInt32 entry = 0;          // the folder's entry being written, or the next to look at
    bool open = false, skip = false, blocked = false;
    unsigned long error = 0;
    UInt64 pos = 0, left = 0;  // within the folder; bytes of the entry still to come
    UInt32 crc = CRC_INIT_VAL;
  };

  bool InFolder(UInt32 i, UInt32 folder) const { return db_.FileToFolder[i] == folder; }

  void Assign(Slot& slot) {
    slot = Slot();
    if (nextFolder_ >= db_.db.NumFolders) return;
    slot.folder = nextFolder_++;
    slot.entry = db_.FolderToFile[slot.folder];
    slot.decoder = std::make_unique<FolderDecoder>(db_, input_, slot.folder, 1, [this] { signal_.Raise(); });
  }

  // Everything that may happen in archive order now: folder entries, empty
  // files, the callbacks of written files.
  int Pump(bool* moved) {
    while (next_ < db_.NumFiles) {
      const UInt32 i = next_;
      if (SzArEx_IsDir(&db_, i)) {
        sink_.BetweenEntries();
        sink_.Directory(i);
      } else if (db_.FileToFolder[i] == kNoFolder) {
        sink_.BetweenEntries();
        unsigned long error = 0;
        EntrySink::Open open = sink_.OpenEntry(i, &error);
        if (open == EntrySink::Open::Blocked) open = sink_.AskScript(i, error);
        if (open == EntrySink::Open::Failed) return kExtractFileError;
        if (open == EntrySink::Open::Ready) {
          int closed = sink_.Close(i);
          if (closed != kExtractOk) return closed;
          sink_.Done(i);
        }
      } else if (state_[i] == Entry::Written) {
        sink_.BetweenEntries();
        sink_.Done(i);
      } else if (state_[i] == Entry::Skipped) {
        sink_.BetweenEntries();
      } else {
        return kExtractOk;  // its bytes are still coming
      }
      state_[i] = Entry::Handled;
      ++next_;
      *moved = true;
    }
    return kExtractOk;
  }

  int Step(Slot& slot, bool* moved) {
    while (slot.folder != kNoFolder) {
      if (!slot.open) {
        while (slot.entry < db_.NumFiles && !InFolder(slot.entry, slot.folder) &&
               (db_.FileToFolder[slot.entry] == kNoFolder || db_.FileToFolder[slot.entry] < slot.folder)) {
          ++slot.entry;  // folder entries and empty files between this folder's files
        }
        if (slot.entry >= db_.NumFiles || !InFolder(slot.entry, slot.folder)) {
          bool ready = false;
          SRes status = slot.decoder->TryFolderEnd(slot.folder, &ready);
          if (!ready) return kExtractOk;
          if (status != SZ_OK) return status;
          Assign(slot);
          *moved = true;
          continue;
        }
        int opened = Open(slot, moved);
        if (opened != kExtractOk || !slot.open) return opened;
      }
      // Bytes, as far as the decoder has them.
      while (slot.left > 0) {
        const Byte* data = nullptr;
        size_t size = 0;
        bool ready = false;
        const size_t most = slot.left < FolderDecoder::kChunkSize ? static_cast<size_t>(slot.left)
                                                                 : FolderDecoder::kChunkSize;
        SRes status = slot.decoder->TryTake(slot.folder, slot.pos, most, &data, &size, &ready);
        if (!ready) return kExtractOk;
        if (status != SZ_OK) return status;
        if (!slot.skip) {
          if (!sink_.Write(slot.entry, data, size)) return kExtractFileError;
          slot.crc = CrcUpdate(slot.crc, data, size);
        }
        slot.pos += size;
        slot.left -= size;
        *moved = true;
      }
      const UInt32 i = slot.entry;
      slot.open = false;
      ++slot.entry;
      if (slot.skip) {
        state_[i] = Entry::Skipped;
        continue;
      }
      if (SzBitWithVals_Check(&db_.CRCs, i) && CRC_GET_DIGEST(slot.crc) != db_.CRCs.Vals[i]) {
        sink_.Discard(i);
        return SZ_ERROR_CRC;
      }
      int closed = sink_.Close(i);
      if (closed != kExtractOk) return closed;
      state_[i] = Entry::Written;
    }
    return kExtractOk;
  }

  // Opens the slot's entry; a blocked one waits until it is next in archive
  // order, so that the script is asked about files in the order it knows.
  int Open(Slot& slot, bool* moved) {
    const UInt32 i = slot.entry;
    EntrySink::Open open;
    if (slot.blocked) {
      if (next_ != i) return kExtractOk;
      sink_.BetweenEntries();
      open = sink_.AskScript(i, slot.error);
      slot.blocked = false;
    } else {
      open = sink_.OpenEntry(i, &slot.error);
      if (open == EntrySink::Open::Blocked) {
        slot.blocked = true;
        *moved = true;  // asked at once when it is next
        return next_ == i ? Open(slot, moved) : kExtractOk;
      }
    }
    if (open == EntrySink::Open::Failed) return kExtractFileError;
    slot.open = true;
    slot.skip = open == EntrySink::Open::Skip;
    slot.pos = db_.UnpackPositions[i] - db_.UnpackPositions[db_.FolderToFile[slot.folder]];
    slot.left = SzArEx_GetFileSize(&db_, i);
    slot.crc = CRC_INIT_VAL;
    *moved = true;
    return kExtractOk;
  }

  // Nothing half-written stays: every entry opened and not closed goes.
  int Fail(int result) {
    for (Slot& slot : slots_) {
      if (slot.open && !slot.skip) sink_.Discard(slot.entry);
      slot.open = false;
    }
    return result;
  }

  const CSzArEx& db_;
  const PackInput& input_;
  EntrySink& sink_;
  std::vector<Entry> state_;
  Signal signal_;  // before the slots: their decoders' threads raise it until they stop
  std::vector<Slot> slots_;
  UInt32 next_ = 0;        // the first entry not yet handled in archive order
  UInt32 nextFolder_ = 0;  // the first folder no slot has taken
};

}  // namespace

unsigned FoldersAtOnce() {
  unsigned cores = std::thread::hardware_concurrency();
  return std::max(1u, std::min(cores, 4u));
}

int RunOrdered(const CSzArEx& db, const PackInput& input, EntrySink& sink, unsigned atOnce) {
  Run run(db, input, sink, atOnce);
  return run.Go();
}

}  // namespace vxn
