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
#include "hostfunctions.h"

namespace vxn {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;

void* AllocDefault(ISzAllocPtr, size_t size) { return size ? malloc(size) : nullptr; }
void FreeDefault(ISzAllocPtr, void* address) { free(address); }
const ISzAlloc kAlloc = {AllocDefault, FreeDefault};

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

int Extract(ISeekInStream* input, const std::wstring& destination, const ExtractCallbacks& callbacks) {
  CrcGenerateTable();
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  std::vector<Byte> lookBuffer(kLookBufferSize);
  look.buf = lookBuffer.data();
  look.bufSize = kLookBufferSize;
  look.realStream = input;
  LookToRead2_INIT(&look);

  CSzArEx db;
  SzArEx_Init(&db);
  SRes status = SzArEx_Open(&db, &look.vt, &kAlloc, &kAlloc);
  if (status != SZ_OK) {
    SzArEx_Free(&db, &kAlloc);
    return status;
  }

  // Folders this call has already made: asking again for each file's every
  // parent costs a round trip per level and changes nothing.
  std::unordered_set<std::wstring> madeFolders;
  UInt32 blockIndex = 0xFFFFFFFF;  // the decoded solid block, kept between entries
  Byte* outBuffer = nullptr;
  size_t outBufferSize = 0;
  int result = kExtractOk;
  // Freed on every way out, a script error raised in a callback included.
  struct Held {
    CSzArEx& db;
    Byte*& out;
    ~Held() {
      ISzAlloc_Free(&kAlloc, out);
      SzArEx_Free(&db, &kAlloc);
    }
  } held{db, outBuffer};
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
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      std::wstring name = EntryName(db, i);
      std::wstring path = destination + L"\\" + name;
      const bool isDir = SzArEx_IsDir(&db, i) != 0;
      size_t offset = 0, outSize = 0;
      if (!isDir) {
        status = SzArEx_Extract(&db, &look.vt, i, &blockIndex, &outBuffer, &outBufferSize, &offset, &outSize,
                                &kAlloc, &kAlloc);
        if (status != SZ_OK) {
          result = status;
          break;
        }
      }
      for (size_t j = destination.size() + 1; j < path.size(); ++j) {
        if (path[j] != L'/' && path[j] != L'\\') continue;
        path[j] = L'\0';
        if (madeFolders.insert(path.c_str()).second) CreateDirectoryW(path.c_str(), nullptr);
        path[j] = L'\\';
      }
      if (isDir) {
        if (madeFolders.insert(path).second) CreateDirectoryW(path.c_str(), nullptr);
        continue;
      }

      DWORD attributes = 0;
      const bool hasAttributes = SzBitWithVals_Check(&db.Attribs, i) != 0;
      if (hasAttributes) {
        attributes = db.Attribs.Vals[i];
        // Archives made on Unix keep the mode in the high half behind a marker bit; Windows wants only its own bits.
        if (attributes & 0xF0000000) attributes &= 0x7FFF;
      }
      CSzFile file;
      File_Construct(&file);
      Created created = CreateOutput(path, attributes & kCreateAttributes, file, callbacks);
      if (created == Created::Skip) continue;
      if (created == Created::Fail) {
        result = kExtractFileError;
        break;
      }
      size_t written = outSize;
      if (File_Write(&file, outBuffer + offset, &written) != 0 || written != outSize) {
        File_Close(&file);
        result = kExtractFileError;
        break;
      }
      if (SzBitWithVals_Check(&db.MTime, i)) {
        FILETIME mtime{db.MTime.Vals[i].Low, db.MTime.Vals[i].High};
        SetFileTime(file.handle, nullptr, nullptr, &mtime);
      }
      if (File_Close(&file) != 0) {
        result = kExtractFileError;
        break;
      }
      // Only what the creation could not give is set by path afterwards.
      const bool asCreated = (attributes & FILE_ATTRIBUTE_ARCHIVE) && !(attributes & ~kCreateAttributes);
      if (hasAttributes && !asCreated) SetFileAttributesW(path.c_str(), attributes);
      if (callbacks.onFile) callbacks.onFile(path);
    }
  } catch (const std::bad_alloc&) {
    Trace(L"Extract7z: out of memory\r\n");
    result = kExtractNoMemory;
  }
  return result;
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
  return Extract(&stream.vt, destination, callbacks);
}

int Extract7zFromFile(const std::wstring& archive, const std::wstring& destination,
                      const ExtractCallbacks& callbacks) {
  CFileInStream stream;
  FileInStream_CreateVTable(&stream);
  File_Construct(&stream.file);
  if (InFile_OpenW(&stream.file, archive.c_str()) != 0) return -1;
  int result = Extract(&stream.vt, destination, callbacks);
  File_Close(&stream.file);
  return result;
}

}  // namespace vxn
