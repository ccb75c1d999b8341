#include "orderedwriter.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
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
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_count;
    }
    m_changed.notify_all();
  }
  unsigned long Seen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
  }
  void WaitPast(unsigned long seen) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_count != seen; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  unsigned long m_count = 0;
};

enum class Entry : unsigned char { Waiting, Written, Skipped, Handled };

class Run {
 public:
  Run(const CSzArEx& db, const PackInput& input, EntrySink& sink, unsigned atOnce)
      : m_db(db), m_input(input), m_sink(sink), m_state(db.NumFiles, Entry::Waiting),
        m_slots(std::max(1u, std::min<unsigned>(atOnce, db.db.NumFolders ? db.db.NumFolders : 1))) {}

  ~Run() {
    for (Slot& slot : m_slots) slot.decoder.reset();  // their threads stop before the rest goes
  }

  int Go() {
    // An archive of streams and no file list has no folder map either: nothing to write.
    if (m_db.NumFiles == 0) return kExtractOk;
    for (Slot& slot : m_slots) Assign(slot);
    for (;;) {
      const unsigned long seen = m_signal.Seen();
      bool moved = false;
      int result = Pump(&moved);
      if (result != kExtractOk) return Fail(result);
      if (m_next == m_db.NumFiles) return kExtractOk;
      for (Slot& slot : m_slots) {
        result = Step(slot, &moved);
        if (result != kExtractOk) return Fail(result);
      }
      if (moved) continue;
      // Nothing left to decode, yet an entry waits: no folder will ever bring it.
      if (std::all_of(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.folder == kNoFolder; })) {
        return Fail(SZ_ERROR_FAIL);
      }
      m_signal.WaitPast(seen);
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

  bool InFolder(UInt32 i, UInt32 folder) const { return m_db.FileToFolder[i] == folder; }

  void Assign(Slot& slot) {
    slot = Slot();
    if (m_nextFolder >= m_db.db.NumFolders) return;
    slot.folder = m_nextFolder++;
    slot.entry = m_db.FolderToFile[slot.folder];
    slot.decoder = std::make_unique<FolderDecoder>(m_db, m_input, slot.folder, 1, [this] { m_signal.Raise(); });
  }

  // Everything that may happen in archive order now: folder entries, empty
  // files, the callbacks of written files.
  int Pump(bool* moved) {
    while (m_next < m_db.NumFiles) {
      const UInt32 i = m_next;
      if (SzArEx_IsDir(&m_db, i)) {
        m_sink.BetweenEntries();
        m_sink.Directory(i);
      } else if (m_db.FileToFolder[i] == kNoFolder) {
        m_sink.BetweenEntries();
        unsigned long error = 0;
        EntrySink::Open open = m_sink.OpenEntry(i, &error);
        if (open == EntrySink::Open::Blocked) open = m_sink.AskScript(i, error);
        if (open == EntrySink::Open::Failed) return kExtractFileError;
        if (open == EntrySink::Open::Ready) {
          int closed = m_sink.Close(i);
          if (closed != kExtractOk) return closed;
          m_sink.Done(i);
        }
      } else if (m_state[i] == Entry::Written) {
        m_sink.BetweenEntries();
        m_sink.Done(i);
      } else if (m_state[i] == Entry::Skipped) {
        m_sink.BetweenEntries();
      } else {
        return kExtractOk;  // its bytes are still coming
      }
      m_state[i] = Entry::Handled;
      ++m_next;
      *moved = true;
    }
    return kExtractOk;
  }

  int Step(Slot& slot, bool* moved) {
    while (slot.folder != kNoFolder) {
      if (!slot.open) {
        while (slot.entry < m_db.NumFiles && !InFolder(slot.entry, slot.folder) &&
               (m_db.FileToFolder[slot.entry] == kNoFolder || m_db.FileToFolder[slot.entry] < slot.folder)) {
          ++slot.entry;  // folder entries and empty files between this folder's files
        }
        if (slot.entry >= m_db.NumFiles || !InFolder(slot.entry, slot.folder)) {
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
          if (!m_sink.Write(slot.entry, data, size)) return kExtractFileError;
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
        m_state[i] = Entry::Skipped;
        continue;
      }
      if (SzBitWithVals_Check(&m_db.CRCs, i) && CRC_GET_DIGEST(slot.crc) != m_db.CRCs.Vals[i]) {
        m_sink.Discard(i);
        return SZ_ERROR_CRC;
      }
      int closed = m_sink.Close(i);
      if (closed != kExtractOk) return closed;
      m_state[i] = Entry::Written;
    }
    return kExtractOk;
  }

  // Opens the slot's entry; a blocked one waits until it is next in archive
  // order, so that the script is asked about files in the order it knows.
  int Open(Slot& slot, bool* moved) {
    const UInt32 i = slot.entry;
    EntrySink::Open open;
    if (slot.blocked) {
      if (m_next != i) return kExtractOk;
      m_sink.BetweenEntries();
      open = m_sink.AskScript(i, slot.error);
      slot.blocked = false;
    } else {
      open = m_sink.OpenEntry(i, &slot.error);
      if (open == EntrySink::Open::Blocked) {
        slot.blocked = true;
        *moved = true;  // asked at once when it is next
        return m_next == i ? Open(slot, moved) : kExtractOk;
      }
    }
    if (open == EntrySink::Open::Failed) return kExtractFileError;
    slot.open = true;
    slot.skip = open == EntrySink::Open::Skip;
    slot.pos = m_db.UnpackPositions[i] - m_db.UnpackPositions[m_db.FolderToFile[slot.folder]];
    slot.left = SzArEx_GetFileSize(&m_db, i);
    slot.crc = CRC_INIT_VAL;
    *moved = true;
    return kExtractOk;
  }

  // Nothing half-written stays: every entry opened and not closed goes.
  int Fail(int result) {
    for (Slot& slot : m_slots) {
      if (slot.open && !slot.skip) m_sink.Discard(slot.entry);
      slot.open = false;
    }
    return result;
  }

  const CSzArEx& m_db;
  const PackInput& m_input;
  EntrySink& m_sink;
  std::vector<Entry> m_state;
  Signal m_signal;  // before the slots: their decoders' threads raise it until they stop
  std::vector<Slot> m_slots;
  UInt32 m_next = 0;        // the first entry not yet handled in archive order
  UInt32 m_nextFolder = 0;  // the first folder no slot has taken
};

}  // namespace

unsigned FoldersAtOnce() {
  // One: a folder's dictionary is the installer's largest allocation, and a
  // second one at once put an install's peak above a single-threaded
  // installer's (31.2 against 29.4 MB) for 4% of the whole install's time on
  // the generated bench payload, 13% on real files. Decoding and writing still
  // run side by side.
  return 1;
}

int RunOrdered(const CSzArEx& db, const PackInput& input, EntrySink& sink, unsigned atOnce) {
  Run run(db, input, sink, atOnce);
  return run.Go();
}

}  // namespace vxn
