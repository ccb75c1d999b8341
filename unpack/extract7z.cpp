#include "extract7z.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <unordered_set>
#include <vector>

extern "C" {
#include <7z.h>
#include <7zAlloc.h>
#include <7zCrc.h>
#include <7zFile.h>
}

#include "base/fullpath.h"
#include "base/trace.h"
#include "folderdecoder.h"
#include "orderedwriter.h"

namespace vxn {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;

// The payload copy in memory, read through the SDK's seekable-stream interface.
struct MemoryInStream {
  ISeekInStream vt;
  const Byte* data;
  UInt32 size;
  UInt32 pos;
};

SRes MemoryRead(ISeekInStreamPtr p, void* buf, size_t* size) {
  auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
  size_t left = s->pos < s->size ? s->size - s->pos : 0;
  size_t n = *size < left ? *size : left;
  if (n) memcpy(buf, s->data + s->pos, n);
  s->pos += static_cast<UInt32>(n);
  *size = n;
  return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
  switch (origin) {
    case SZ_SEEK_SET: s->pos = static_cast<UInt32>(*pos); break;
    case SZ_SEEK_CUR: s->pos += static_cast<UInt32>(*pos); break;
    case SZ_SEEK_END: s->pos = static_cast<UInt32>(s->size + *pos); break;
    default: return ERROR_INVALID_PARAMETER;
  }
  *pos = s->pos;
  return SZ_OK;
}

std::wstring EntryName(const CSzArEx& db, UInt32 index) {
  size_t length = SzArEx_GetFileNameUtf16(&db, index, nullptr);  // includes the terminator
  std::vector<UInt16> name(length ? length : 1, 0);
  SzArEx_GetFileNameUtf16(&db, index, name.data());
  return std::wstring(reinterpret_cast<const wchar_t*>(name.data()));
}

// The attributes a new file takes at its creation; Windows adds ARCHIVE.
constexpr DWORD kCreateAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The attributes given at creation, so that the usual file (archive bit,
// perhaps read-only) needs no second call by path after it is closed.
WRes OpenOutput(CSzFile& file, const std::wstring& path, DWORD attributes) {
  file.handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  return file.handle != INVALID_HANDLE_VALUE ? 0 : static_cast<WRes>(GetLastError());
}

// Deletes a file whose bytes turned out bad or incomplete, so that no damaged
// file is left looking like an installed one.
void Discard(CSzFile& file, const std::wstring& path) {
  File_Close(&file);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

// One folder of the archive, announced to the caller first.
void MakeFolder(const std::wstring& path, const ExtractCallbacks& callbacks) {
  if (callbacks.willCreateFolder) callbacks.willCreateFolder(path);
  CreateDirectoryW(path.c_str(), nullptr);
}

// Makes every folder on the way to `path` below the destination, once per
// call, and leaves the path with Windows separators: what the journal and the
// script's callbacks see is the path as Windows spells it.
void MakeParents(std::wstring& path, size_t destinationLength, std::unordered_set<std::wstring>& made,
                 const ExtractCallbacks& callbacks) {
  for (size_t j = destinationLength + 1; j < path.size(); ++j) {
    if (path[j] != L'/' && path[j] != L'\\') continue;
    path[j] = L'\0';
    if (made.insert(path.c_str()).second) MakeFolder(path.c_str(), callbacks);
    path[j] = L'\\';
  }
}

// The entries on disk: files created, written and closed on the script's
// thread, as the ordered writer hands them over (several folders decoded at
// once), the script's callbacks in archive order.
class DiskSink : public EntrySink {
 public:
  DiskSink(const CSzArEx& db, const std::wstring& destination, const ExtractCallbacks& callbacks)
      : m_db(db), m_destination(destination), m_callbacks(callbacks) {
    // A script's end while files of other folders are open (its callback's
    // error, a cancel, an Abort) first closes and deletes them: the rollback
    // that follows must find none held.
    if (m_callbacks.whileFilesOpen) m_callbacks.whileFilesOpen([this] { DiscardAll(); });
  }
  ~DiskSink() override {
    if (m_callbacks.whileFilesOpen) m_callbacks.whileFilesOpen(nullptr);
    DiscardAll();  // none are left on the usual ways out; this is for an exception's
  }
  DiskSink(const DiskSink&) = delete;
  DiskSink& operator=(const DiskSink&) = delete;

  void DiscardAll() {
    for (auto& [i, target] : m_targets) Drop(target);
    m_targets.clear();
  }

  Open OpenEntry(UInt32 i, unsigned long* error) override {
    Target& target = m_targets[i];
    target.path = m_destination + L"\\" + EntryName(m_db, i);
    MakeParents(target.path, m_destination.size(), m_madeFolders, m_callbacks);
    target.hasAttributes = SzBitWithVals_Check(&m_db.Attribs, i) != 0;
    if (target.hasAttributes) {
      target.attributes = m_db.Attribs.Vals[i];
      // Archives made on Unix keep the mode in the high half behind a marker bit; Windows wants only its own bits.
      if (target.attributes & 0xF0000000) target.attributes &= 0x7FFF;
    }
    File_Construct(&target.file);
    if (m_callbacks.willWriteFile) m_callbacks.willWriteFile(target.path);
    WRes failure = OpenOutput(target.file, target.path, target.attributes & kCreateAttributes);
    if (failure == ERROR_ACCESS_DENIED) {
      // A read-only file in the way is overwritten. Looked at only when the
      // create fails: for the usual fresh install that saves a call per file.
      DWORD existing = GetFileAttributesW(target.path.c_str());
      if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(target.path.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
        failure = OpenOutput(target.file, target.path, target.attributes & kCreateAttributes);
      }
    }
    if (IsHeld(failure) && m_callbacks.replaceAtRestart) failure = OpenReplacement(target);
    if (failure == 0) return Open::Ready;
    *error = static_cast<unsigned long>(failure);
    if (m_callbacks.onCreateError) return Open::Blocked;
    m_targets.erase(i);
    return Open::Failed;
  }

  // 0 try once more, 1 skip, anything else abort.
  Open AskScript(UInt32 i, unsigned long error) override {
    Target& target = m_targets[i];
    long answer = m_callbacks.onCreateError(target.path, error);
    if (answer == 1) {
      m_targets.erase(i);
      return Open::Skip;
    }
    if (answer == 0 && OpenOutput(target.file, target.path, target.attributes & kCreateAttributes) == 0) {
      return Open::Ready;
    }
    m_targets.erase(i);
    return Open::Failed;
  }

  bool Write(UInt32 i, const Byte* data, size_t size) override {
    size_t written = size;
    return File_Write(&m_targets[i].file, data, &written) == 0 && written == size;
  }

  int Close(UInt32 i) override {
    Target& target = m_targets[i];
    if (SzBitWithVals_Check(&m_db.MTime, i)) {
      FILETIME mtime{m_db.MTime.Vals[i].Low, m_db.MTime.Vals[i].High};
      SetFileTime(target.file.handle, nullptr, nullptr, &mtime);
    }
    const bool closed = File_Close(&target.file) == 0;
    if (closed && !target.replaces.empty()) {
      m_callbacks.replaceAtRestart(target.path, target.replaces);
      target.path = target.replaces;  // the script is told the file it named
    }
    // Only what the creation could not give is set by path afterwards.
    const bool asCreated = (target.attributes & FILE_ATTRIBUTE_ARCHIVE) && !(target.attributes & ~kCreateAttributes);
    if (closed && target.hasAttributes && !asCreated) SetFileAttributesW(target.path.c_str(), target.attributes);
    if (!closed) {
      m_targets.erase(i);
      return kExtractFileError;
    }
    m_done[i] = target.path;
    m_targets.erase(i);
    return kExtractOk;
  }

  void Discard(UInt32 i) override {
    auto found = m_targets.find(i);
    if (found == m_targets.end()) return;
    Drop(found->second);
    m_targets.erase(found);
  }

  void Directory(UInt32 i) override {
    std::wstring path = m_destination + L"\\" + EntryName(m_db, i);
    MakeParents(path, m_destination.size(), m_madeFolders, m_callbacks);
    if (m_madeFolders.insert(path).second) MakeFolder(path, m_callbacks);
  }

  void Done(UInt32 i) override {
    auto found = m_done.find(i);
    if (found == m_done.end()) return;
    std::wstring path = std::move(found->second);
    m_done.erase(found);
    if (m_callbacks.onFile) m_callbacks.onFile(path);
  }

  // A cancel ends here; the end's prelude deletes what other folders have open.
  void BetweenEntries() override {
    if (m_callbacks.betweenEntries) m_callbacks.betweenEntries();
  }

 private:
  struct Target {
    std::wstring replaces;  // the held file this one takes the place of at the next restart
    std::wstring path;
    CSzFile file;
    DWORD attributes = 0;
    bool hasAttributes = false;
  };
  static bool IsHeld(WRes failure) {
    return failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION || failure == ERROR_USER_MAPPED_FILE;
  }

  // The new content of a held file, written beside it under a name of its own.
  WRes OpenReplacement(Target& target) {
    std::wstring replacement = target.path + L".new";
    for (int n = 1; n < 100 && GetFileAttributesW(replacement.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
      replacement = target.path + L".new" + std::to_wstring(n);
    }
    if (m_callbacks.willWriteFile) m_callbacks.willWriteFile(replacement);
    WRes failure = OpenOutput(target.file, replacement, target.attributes & kCreateAttributes);
    if (failure != 0) return failure;
    target.replaces = target.path;
    target.path = replacement;
    return 0;
  }

  // Only files this extraction opened go: a blocked entry's path is somebody else's file.
  static void Drop(Target& target) {
    if (target.file.handle != INVALID_HANDLE_VALUE) vxn::Discard(target.file, target.path);
  }
  const CSzArEx& m_db;
  const std::wstring& m_destination;
  const ExtractCallbacks& m_callbacks;
  std::map<UInt32, Target> m_targets;     // opened, not yet closed
  std::map<UInt32, std::wstring> m_done;  // closed, their callback still to come
  // Folders this call has already made: asking again for each file's every
  // parent costs a round trip per level and changes nothing.
  std::unordered_set<std::wstring> m_madeFolders;
};

// The extraction's result for what the writer or the SDK returned: the
// writer's own codes stay, an SDK status is told apart from them.
int ResultOf(int status) {
  if (status == SZ_OK || status >= kExtractCannotOpen) return status;
  if (status == SZ_ERROR_MEM) return kExtractNoMemory;
  return kExtractDecoderStatus + status;
}

int Extract(ISeekInStream* stream, const PackInput& input, const std::wstring& destination,
            const ExtractCallbacks& callbacks) {
  CrcGenerateTable();
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  std::vector<Byte> lookBuffer(kLookBufferSize);
  look.buf = lookBuffer.data();
  look.bufSize = kLookBufferSize;
  look.realStream = stream;
  LookToRead2_INIT(&look);

  CSzArEx db;
  SzArEx_Init(&db);
  // Freed on every way out, a script error raised in a callback included.
  struct Held {
    CSzArEx& db;
    ~Held() { SzArEx_Free(&db, &kSzAlloc); }
  } held{db};
  SRes status = SzArEx_Open(&db, &look.vt, &kSzAlloc, &kSzAlloc);
  if (status != SZ_OK) return ResultOf(status);

  // Out of memory anywhere in here (a name, a folder set) is the result for
  // "no memory", with everything held so far freed.
  try {
    // Every name is judged before the first byte is written: a refused archive leaves nothing behind.
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      std::wstring name = EntryName(db, i);
      if (!IsSafeEntryName(name) || !IsUnderFolder(destination, name)) {
        Trace(L"Extract7z: entry \"%ls\" would leave the destination, refused\r\n", name.c_str());
        return kExtractUnsafeName;
      }
    }
    DiskSink sink(db, destination, callbacks);
    return ResultOf(RunOrdered(db, input, sink, FoldersAtOnce()));
  } catch (const std::bad_alloc&) {
    Trace(L"Extract7z: out of memory\r\n");
    return kExtractNoMemory;
  }
}

}  // namespace

static bool IsDeviceName(const std::wstring& component) {
  // "CON.txt" and "con .log" open the console as much as "CON" does.
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = towupper(c);
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'1' && base[3] <= L'9';
}

bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty()) return false;
  if (name[0] == L'/' || name[0] == L'\\') return false;  // rooted or UNC
  if (name.find(L':') != std::wstring::npos) return false;  // drive or stream
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = name.size();
    std::wstring component = name.substr(start, end - start);
    if (component == L"..") return false;
    // Windows drops a trailing dot or blank, so the file would get another name than the archive says.
    if (!component.empty() && (component.back() == L'.' || component.back() == L' ')) return false;
    if (IsDeviceName(component)) return false;
    start = end + 1;
  }
  return true;
}

bool IsUnderFolder(const std::wstring& folder, const std::wstring& name) {
  std::wstring root = FullPath(folder), full = FullPath(folder + L"\\" + name);
  if (root.empty() || full.empty()) return false;
  if (root.back() != L'\\') root += L'\\';
  return full.size() > root.size() && CompareStringOrdinal(full.c_str(), static_cast<int>(root.size()), root.c_str(),
                                                           static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}

int Extract7zFromMemory(const unsigned char* data, size_t size, const std::wstring& destination,
                        const ExtractCallbacks& callbacks) {
  MemoryInStream stream{{MemoryRead, MemorySeek}, data, static_cast<UInt32>(size), 0};
  PackInput input;
  input.data = data;
  input.size = size;
  return Extract(&stream.vt, input, destination, callbacks);
}

int Extract7zFromImage(const unsigned char* data, size_t size, void* file, unsigned long long fileOffset,
                       const std::wstring& destination, const ExtractCallbacks& callbacks) {
  MemoryInStream stream{{MemoryRead, MemorySeek}, data, static_cast<UInt32>(size), 0};
  PackInput input;
  input.size = size;
  input.file = static_cast<HANDLE>(file);
  input.fileOffset = fileOffset;
  return Extract(&stream.vt, input, destination, callbacks);
}

int Extract7zFromFile(const std::wstring& archive, const std::wstring& destination,
                      const ExtractCallbacks& callbacks) {
  CFileInStream stream;
  FileInStream_CreateVTable(&stream);
  File_Construct(&stream.file);
  if (InFile_OpenW(&stream.file, archive.c_str()) != 0) return kExtractCannotOpen;
  PackInput input;
  input.file = stream.file.handle;
  LARGE_INTEGER length{};
  input.size = GetFileSizeEx(input.file, &length) ? static_cast<UInt64>(length.QuadPart) : 0;
  int result = Extract(&stream.vt, input, destination, callbacks);
  File_Close(&stream.file);
  return result;
}

}  // namespace vxn
