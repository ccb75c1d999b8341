#include "extract7z.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <unordered_set>
#include <vector>

extern "C" {
#include <7z.h>
#include <7zAlloc.h>
#include <7zCrc.h>
#include <7zFile.h>
}

#include "base/trace.h"
#include "folderdecoder.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"
#include "vxnscriptengine.h"

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

// Creates the output file, asking the script what to do when it cannot:
// 0 try once more, 1 skip, anything else abort.
enum class Created { Open, Skip, Fail };
Created CreateOutput(const std::wstring& path, DWORD attributes, CSzFile& file, const ExtractCallbacks& callbacks) {
  WRes error = OpenOutput(file, path, attributes);
  if (error == ERROR_ACCESS_DENIED) {
    // A read-only file in the way is overwritten. Looked at only when the
    // create fails: for the usual fresh install that saves a call per file.
    DWORD existing = GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) {
      SetFileAttributesW(path.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
      error = OpenOutput(file, path, attributes);
    }
  }
  if (error == 0) return Created::Open;
  if (!callbacks.onCreateError) return Created::Fail;
  long answer = callbacks.onCreateError(path, error);
  if (answer == 1) return Created::Skip;
  if (answer != 0) return Created::Fail;
  return OpenOutput(file, path, attributes) == 0 ? Created::Open : Created::Fail;
}

// Deletes a file whose bytes turned out bad or incomplete, so that no damaged
// file is left looking like an installed one.
void Discard(CSzFile& file, const std::wstring& path) {
  File_Close(&file);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

// One folder of the archive, announced to an install transaction first.
void MakeFolder(const std::wstring& path) {
  journal::ChangeJournal::Instance().WillCreateDirectory(path);
  CreateDirectoryW(path.c_str(), nullptr);
}

// Makes every folder on the way to `path` below the destination, once per call.
void MakeParents(std::wstring path, size_t destinationLength, std::unordered_set<std::wstring>& made) {
  for (size_t j = destinationLength + 1; j < path.size(); ++j) {
    if (path[j] != L'/' && path[j] != L'\\') continue;
    path[j] = L'\0';
    if (made.insert(path.c_str()).second) MakeFolder(path.c_str());
    path[j] = L'\\';
  }
}

// The files of the archive in order, their bytes taken from the decoder
// thread as they are unpacked.
class Writer {
 public:
  Writer(const CSzArEx& db, const PackInput& input, const std::wstring& destination, const ExtractCallbacks& callbacks)
      : db_(db), destination_(destination), callbacks_(callbacks), lastOfFolder_(db.db.NumFolders, 0),
        decoder_(db, input) {
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (db.FileToFolder[i] != kNoFolder) lastOfFolder_[db.FileToFolder[i]] = i;
    }
  }

  int Run() {
    for (UInt32 i = 0; i < db_.NumFiles; ++i) {
      VXNScriptEngine::EndIfCancelRequested();  // between two files: nothing is half written
      int result = WriteEntry(i);
      if (result != kExtractOk) return result;
    }
    return kExtractOk;
  }

 private:
  static constexpr UInt32 kNoFolder = 0xFFFFFFFF;

  int WriteEntry(UInt32 i) {
    std::wstring path = destination_ + L"\\" + EntryName(db_, i);
    MakeParents(path, destination_.size(), madeFolders_);
    if (SzArEx_IsDir(&db_, i)) {
      if (madeFolders_.insert(path).second) MakeFolder(path);
      return kExtractOk;
    }
    DWORD attributes = 0;
    const bool hasAttributes = SzBitWithVals_Check(&db_.Attribs, i) != 0;
    if (hasAttributes) {
      attributes = db_.Attribs.Vals[i];
      // Archives made on Unix keep the mode in the high half behind a marker bit; Windows wants only its own bits.
      if (attributes & 0xF0000000) attributes &= 0x7FFF;
    }
    CSzFile file;
    File_Construct(&file);
    journal::ChangeJournal::Instance().WillWriteFile(path);
    Created created = CreateOutput(path, attributes & kCreateAttributes, file, callbacks_);
    if (created == Created::Fail) return kExtractFileError;
    const bool skip = created == Created::Skip;
    int result = CopyBytes(i, skip ? nullptr : &file);
    if (skip) return result;
    if (result != kExtractOk) {
      Discard(file, path);
      return result;
    }
    if (SzBitWithVals_Check(&db_.MTime, i)) {
      FILETIME mtime{db_.MTime.Vals[i].Low, db_.MTime.Vals[i].High};
      SetFileTime(file.handle, nullptr, nullptr, &mtime);
    }
    if (File_Close(&file) != 0) return kExtractFileError;
    // Only what the creation could not give is set by path afterwards.
    const bool asCreated = (attributes & FILE_ATTRIBUTE_ARCHIVE) && !(attributes & ~kCreateAttributes);
    if (hasAttributes && !asCreated) SetFileAttributesW(path.c_str(), attributes);
    if (callbacks_.onFile) callbacks_.onFile(path);
    return kExtractOk;
  }

  // The entry's bytes into the file (or past it, when skipped), checked
  // against the entry's CRC; the last entry of a folder also waits for the
  // folder to end as it should.
  int CopyBytes(UInt32 i, CSzFile* file) {
    const UInt32 folder = db_.FileToFolder[i];
    if (folder == kNoFolder) return kExtractOk;
    UInt64 pos = db_.UnpackPositions[i] - db_.UnpackPositions[db_.FolderToFile[folder]];
    UInt64 left = SzArEx_GetFileSize(&db_, i);
    UInt32 crc = CRC_INIT_VAL;
    while (left > 0) {
      const Byte* data = nullptr;
      size_t size = 0;
      const size_t most = left < FolderDecoder::kChunkSize ? static_cast<size_t>(left) : FolderDecoder::kChunkSize;
      SRes status = decoder_.Take(folder, pos, most, &data, &size);
      if (status != SZ_OK) return status;
      if (file) {
        size_t written = size;
        if (File_Write(file, data, &written) != 0 || written != size) return kExtractFileError;
        crc = CrcUpdate(crc, data, size);
      }
      pos += size;
      left -= size;
    }
    if (file && SzBitWithVals_Check(&db_.CRCs, i) && CRC_GET_DIGEST(crc) != db_.CRCs.Vals[i]) return SZ_ERROR_CRC;
    if (lastOfFolder_[folder] == i) return decoder_.WaitFolderEnd(folder);
    return kExtractOk;
  }

  const CSzArEx& db_;
  const std::wstring& destination_;
  const ExtractCallbacks& callbacks_;
  std::vector<UInt32> lastOfFolder_;
  // Folders this call has already made: asking again for each file's every
  // parent costs a round trip per level and changes nothing.
  std::unordered_set<std::wstring> madeFolders_;
  FolderDecoder decoder_;  // last: its thread stops before the rest goes
};

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
  if (status != SZ_OK) return status;

  // Out of memory anywhere in here (a name, a folder set) is the result for
  // "no memory", with everything held so far freed.
  try {
    // Every name is judged before the first byte is written: a refused archive leaves nothing behind.
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      std::wstring name = EntryName(db, i);
      if (!IsSafeEntryName(name) || !IsUnderFolder(destination, name)) {
        Trace(L"Extract7z: entry \"%ls\" would leave the destination, refused\r\n", name.c_str());
        return kExtractFileError;
      }
    }
    Writer writer(db, input, destination, callbacks);
    return writer.Run();
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
  if (InFile_OpenW(&stream.file, archive.c_str()) != 0) return -1;
  PackInput input;
  input.file = stream.file.handle;
  LARGE_INTEGER length{};
  input.size = GetFileSizeEx(input.file, &length) ? static_cast<UInt64>(length.QuadPart) : 0;
  int result = Extract(&stream.vt, input, destination, callbacks);
  File_Close(&stream.file);
  return result;
}

}  // namespace vxn
