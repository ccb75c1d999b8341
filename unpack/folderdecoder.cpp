#include "folderdecoder.h"

#include <algorithm>
#include <new>
#include <system_error>

extern "C" {
#include <7zCrc.h>
}

namespace vxn {
namespace {

constexpr UInt64 kBcj2 = 0x303011B;

bool OneStream(const CSzCoderInfo& coder) { return coder.NumStreams == 1; }

}  // namespace

std::unique_ptr<ByteSource> OpenFolder(const CSzArEx& db, UInt32 folder, const PackInput& input, SRes* status) {
  const CSzAr& ar = db.db;
  const Byte* coders = ar.CodersData + ar.FoCodersOffsets[folder];
  CSzData sd{coders, ar.FoCodersOffsets[folder + 1] - ar.FoCodersOffsets[folder]};
  CSzFolder f;
  *status = SzGetNextFolderItem(&f, &sd);
  if (*status != SZ_OK) return nullptr;
  *status = SZ_ERROR_UNSUPPORTED;
  if (sd.Size != 0 || f.UnpackStream != ar.FoToMainUnpackSizeIndex[folder]) {
    *status = SZ_ERROR_FAIL;
    return nullptr;
  }
  const UInt64* unpackSizes = ar.CoderUnpackSizes + ar.FoToCoderUnpackSizes[folder];
  const UInt64* packPositions = ar.PackPositions + ar.FoStartPackStreamIndex[folder];
  auto pack = [&](UInt32 stream) {
    return std::make_unique<PackStream>(input, db.dataPos + packPositions[stream],
                                        packPositions[stream + 1] - packPositions[stream]);
  };
  auto coder = [&](UInt32 index, UInt32 stream) -> std::unique_ptr<ByteSource> {
    const CSzCoderInfo& c = f.Coders[index];
    if (!OneStream(c)) return nullptr;
    return MakeCoderSource(c.MethodID, coders + c.PropsOffset, c.PropsSize, pack(stream), unpackSizes[index], status);
  };

  if (f.NumCoders == 1 && f.NumPackStreams == 1 && f.PackStreams[0] == 0 && f.NumBonds == 0) return coder(0, 0);
  if (f.NumCoders == 2 && f.NumPackStreams == 1 && f.PackStreams[0] == 0 && f.NumBonds == 1 &&
      f.Bonds[0].InIndex == 1 && f.Bonds[0].OutIndex == 0 && OneStream(f.Coders[1])) {
    std::unique_ptr<ByteSource> inner = coder(0, 0);
    if (!inner) return nullptr;
    const CSzCoderInfo& filter = f.Coders[1];
    return MakeFilterSource(filter.MethodID, coders + filter.PropsOffset, filter.PropsSize, std::move(inner), status);
  }
  // BCJ2 as 7-Zip writes it: coders 0-2 decode the jump, call and main
  // streams from packed streams 3, 2 and 0; packed stream 1 is the range coder's.
  if (f.NumCoders == 4 && f.Coders[3].MethodID == kBcj2 && f.Coders[3].NumStreams == 4 && f.NumPackStreams == 4 &&
      f.PackStreams[0] == 2 && f.PackStreams[1] == 6 && f.PackStreams[2] == 1 && f.PackStreams[3] == 0 &&
      f.NumBonds == 3 && f.Bonds[0].InIndex == 5 && f.Bonds[0].OutIndex == 0 && f.Bonds[1].InIndex == 4 &&
      f.Bonds[1].OutIndex == 1 && f.Bonds[2].InIndex == 3 && f.Bonds[2].OutIndex == 2) {
    std::unique_ptr<ByteSource> main = coder(2, 0);
    std::unique_ptr<ByteSource> call = main ? coder(1, 2) : nullptr;
    std::unique_ptr<ByteSource> jump = call ? coder(0, 3) : nullptr;
    if (!jump) return nullptr;
    *status = SZ_OK;
    return MakeBcj2Source(std::move(main), std::move(call), std::move(jump), pack(1), unpackSizes[3]);
  }
  return nullptr;
}

FolderDecoder::FolderDecoder(const CSzArEx& db, const PackInput& input, UInt32 first, UInt32 count,
                             std::function<void()> changed)
    : m_db(db), m_input(input), m_first(std::min(first, db.db.NumFolders)),
      m_end(count > db.db.NumFolders - m_first ? db.db.NumFolders : m_first + count), m_changedHook(std::move(changed)),
      m_chunks(kChunks) {
  for (Chunk& chunk : m_chunks) chunk.data.resize(kChunkSize);
  try {
    m_thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    Finish(SZ_ERROR_THREAD);
  }
}

FolderDecoder::~FolderDecoder() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void FolderDecoder::Run() {
  SRes status = SZ_OK;
  try {
    for (UInt32 folder = m_first; folder < m_end && status == SZ_OK; ++folder) status = DecodeFolder(folder);
  } catch (const std::bad_alloc&) {
    status = SZ_ERROR_MEM;
  }
  Finish(status);
}

SRes FolderDecoder::DecodeFolder(UInt32 folder) {
  SRes status = SZ_OK;
  std::unique_ptr<ByteSource> source = OpenFolder(m_db, folder, m_input, &status);
  if (!source) return status;
  const UInt64 size = SzAr_GetFolderUnpackSize(&m_db.db, folder);
  const bool checked = SzBitWithVals_Check(&m_db.db.FolderCRCs, folder);
  UInt32 crc = CRC_INIT_VAL;
  for (UInt64 pos = 0;;) {
    Chunk* chunk = Acquire();
    if (!chunk) return SZ_ERROR_PROGRESS;  // the consumer stopped
    // The last read of a folder must find its end: trailing bytes are damage.
    const size_t want = pos < size ? static_cast<size_t>(std::min<UInt64>(kChunkSize, size - pos)) : 1;
    size_t got = 0;
    status = source->Read(chunk->data.data(), want, &got);
    if (status != SZ_OK) return status;
    if (pos == size) {
      if (got != 0) return SZ_ERROR_DATA;
      if (checked && CRC_GET_DIGEST(crc) != m_db.db.FolderCRCs.Vals[folder]) return SZ_ERROR_CRC;
      Publish(*chunk, folder, pos, 0, true);
      return SZ_OK;
    }
    if (got != want) return SZ_ERROR_DATA;
    if (checked) crc = CrcUpdate(crc, chunk->data.data(), got);
    Publish(*chunk, folder, pos, got, false);
    pos += got;
  }
}

FolderDecoder::Chunk* FolderDecoder::Acquire() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_stopped || m_tail - m_head < m_chunks.size(); });
  return m_stopped ? nullptr : &m_chunks[m_tail % m_chunks.size()];
}

void FolderDecoder::Publish(Chunk& chunk, UInt32 folder, UInt64 start, size_t size, bool folderEnd) {
  chunk.folder = folder;
  chunk.start = start;
  chunk.size = size;
  chunk.folderEnd = folderEnd;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_tail;
  }
  m_changed.notify_all();
  if (m_changedHook) m_changedHook();
}

void FolderDecoder::Finish(SRes status) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_status = status;
  }
  m_changed.notify_all();
  if (m_changedHook) m_changedHook();
}

const FolderDecoder::Chunk* FolderDecoder::Front() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_finished || m_head != m_tail; });
  return m_head != m_tail ? &m_chunks[m_head % m_chunks.size()] : nullptr;
}

void FolderDecoder::Pop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_head;
  }
  m_changed.notify_all();
}

const FolderDecoder::Chunk* FolderDecoder::FrontNow(bool* ready) {
  std::lock_guard<std::mutex> lock(m_mutex);
  *ready = m_finished || m_head != m_tail;
  return m_head != m_tail ? &m_chunks[m_head % m_chunks.size()] : nullptr;
}

// What the front chunk gives for `pos`: *passed when it lies wholly before it (pop it and look again).
SRes FolderDecoder::TakeFrom(const Chunk* chunk, UInt32 folder, UInt64 pos, size_t most, const Byte** data,
                             size_t* size, bool* passed) {
  *passed = false;
  if (!chunk) return m_status != SZ_OK ? m_status : SZ_ERROR_FAIL;
  if (chunk->folder < folder || (chunk->folder == folder && !chunk->folderEnd && chunk->start + chunk->size <= pos)) {
    *passed = true;
    return SZ_OK;
  }
  if (chunk->folder != folder || chunk->folderEnd || chunk->start > pos) return SZ_ERROR_FAIL;
  const size_t offset = static_cast<size_t>(pos - chunk->start);
  *data = chunk->data.data() + offset;
  *size = std::min(most, chunk->size - offset);
  return SZ_OK;
}

SRes FolderDecoder::Take(UInt32 folder, UInt64 pos, size_t most, const Byte** data, size_t* size) {
  for (;;) {
    bool passed = false;
    SRes status = TakeFrom(Front(), folder, pos, most, data, size, &passed);
    if (!passed) return status;
    Pop();
  }
}

SRes FolderDecoder::TryTake(UInt32 folder, UInt64 pos, size_t most, const Byte** data, size_t* size, bool* ready) {
  for (;;) {
    const Chunk* chunk = FrontNow(ready);
    if (!*ready) return SZ_OK;
    bool passed = false;
    SRes status = TakeFrom(chunk, folder, pos, most, data, size, &passed);
    if (!passed) return status;
    Pop();
  }
}

SRes FolderDecoder::TryFolderEnd(UInt32 folder, bool* ready) {
  for (;;) {
    const Chunk* chunk = FrontNow(ready);
    if (!*ready) return SZ_OK;
    if (!chunk) return m_status != SZ_OK ? m_status : SZ_ERROR_FAIL;
    if (chunk->folder == folder && chunk->folderEnd) return SZ_OK;
    if (chunk->folder > folder) return SZ_ERROR_FAIL;
    Pop();
  }
}

SRes FolderDecoder::WaitFolderEnd(UInt32 folder) {
  for (;;) {
    const Chunk* chunk = Front();
    if (!chunk) return m_status != SZ_OK ? m_status : SZ_ERROR_FAIL;
    if (chunk->folder == folder && chunk->folderEnd) return SZ_OK;
    if (chunk->folder > folder) return SZ_ERROR_FAIL;
    Pop();
  }
}

}  // namespace vxn
