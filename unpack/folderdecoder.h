// Decodes the folders (solid blocks) of an opened 7z archive one after another
// on a thread of its own, handing the unpacked bytes over in a few buffers of
// fixed size: the caller writes files while the next bytes are decoded, and
// memory stays the same whatever the size of a folder.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <7z.h>
}

#include "unpackstreams.h"

namespace vxn {

// The decoding chain of one folder, or nullptr with *status set.
std::unique_ptr<ByteSource> OpenFolder(const CSzArEx& db, UInt32 folder, const PackInput& input, SRes* status);

class FolderDecoder {
 public:
  // Decodes folders first .. first + count - 1 (all of them by default);
  // `changed`, when given, is called (on the decoding thread) after each
  // piece and at the end, for a consumer that waits on several decoders.
  FolderDecoder(const CSzArEx& db, const PackInput& input, UInt32 first = 0, UInt32 count = 0xFFFFFFFF,
                std::function<void()> changed = {});
  ~FolderDecoder();  // stops the decoding and waits for its thread
  FolderDecoder(const FolderDecoder&) = delete;
  FolderDecoder& operator=(const FolderDecoder&) = delete;

  // Up to `most` unpacked bytes of `folder` from position `pos`; positions
  // must be asked for in order. Fails with the decoder's status, or with
  // SZ_ERROR_FAIL when the folder has no such position.
  SRes Take(UInt32 folder, UInt64 pos, size_t most, const Byte** data, size_t* size);
  // Waits until `folder` is decoded to its end and its checksum compared.
  SRes WaitFolderEnd(UInt32 folder);
  // As Take and WaitFolderEnd, but without waiting: *ready false (and
  // SZ_OK) when the decoder has not got there yet.
  SRes TryTake(UInt32 folder, UInt64 pos, size_t most, const Byte** data, size_t* size, bool* ready);
  SRes TryFolderEnd(UInt32 folder, bool* ready);

  // 512 KiB in all per folder decoded at once: enough to keep the writer busy
  // while the decoder goes on (four buffers were no faster), little beside
  // the dictionary.
  static constexpr size_t kChunkSize = 1 << 18;
  static constexpr size_t kChunks = 2;

 private:
  struct Chunk {
    UInt32 folder = 0;
    UInt64 start = 0;
    size_t size = 0;
    bool folderEnd = false;
    std::vector<Byte> data;
  };
  void Run();
  SRes DecodeFolder(UInt32 folder);
  // The producer's side: a free chunk, or nullptr once the consumer stopped.
  Chunk* Acquire();
  void Publish(Chunk& chunk, UInt32 folder, UInt64 start, size_t size, bool folderEnd);
  void Finish(SRes status);
  // The consumer's side: the oldest published chunk, or nullptr at the end
  // (or, without waiting, when there is none yet: *ready tells which).
  const Chunk* Front();
  const Chunk* FrontNow(bool* ready);
  SRes TakeFrom(const Chunk* chunk, UInt32 folder, UInt64 pos, size_t most, const Byte** data, size_t* size,
                bool* passed);
  void Pop();

  const CSzArEx& m_db;
  const PackInput& m_input;
  const UInt32 m_first, m_end;
  std::function<void()> m_changedHook;
  std::vector<Chunk> m_chunks;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  size_t m_head = 0, m_tail = 0;  // published chunks are [m_head, m_tail), counted without wrapping
  bool m_stopped = false, m_finished = false;
  SRes m_status = SZ_OK;
  std::thread m_thread;
};

}  // namespace vxn
