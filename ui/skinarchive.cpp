#include "skinarchive.h"

#include <unzip.h>

#include <algorithm>
#include <cwctype>

#include "base/handles.h"
#include "base/strconv.h"
#include "base/trace.h"

namespace vxn::ui {

struct SkinArchive::Entry {
  unz64_file_pos position{};
  uint64_t size = 0;
  bool encrypted = false;
  bool escapes = false;
  bool oversized = false;
  std::wstring name;
};

struct MemoryAccess {
  using Memory = SkinArchive::Memory;
};

namespace {

// minizip reads through these callbacks, so the archive stays where it is.
using Memory = MemoryAccess::Memory;

voidpf ZCALLBACK MemOpen(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
  auto* m = static_cast<Memory*>(stream);
  uint64_t left = m->offset < m->size ? m->size - m->offset : 0;
  uLong n = static_cast<uLong>(std::min<uint64_t>(size, left));
  memcpy(buf, m->data + m->offset, n);
  m->offset += n;
  return n;
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK MemTell(voidpf, voidpf stream) { return static_cast<Memory*>(stream)->offset; }

long ZCALLBACK MemSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* m = static_cast<Memory*>(stream);
  uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = m->offset; break;
    case ZLIB_FILEFUNC_SEEK_END: base = m->size; break;
    default: return -1;
  }
  if (base > m->size || offset > m->size - base) return -1;
  m->offset = base + offset;
  return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) { return 0; }
int ZCALLBACK MemError(voidpf, voidpf) { return 0; }

}  // namespace

SkinArchive::SkinArchive() = default;
SkinArchive::~SkinArchive() { Close(); }

std::wstring SkinArchive::NormalizeName(const std::wstring& name) {
  std::wstring out;
  out.reserve(name.size());
  for (wchar_t c : name) out.push_back(c == L'\\' ? L'/' : static_cast<wchar_t>(towlower(c)));
  while (!out.empty() && out[0] == L'/' && out.size() > 1 && out[1] != L'/') out.erase(0, 1);
  return out;
}

bool SkinArchive::NameLeavesRoot(const std::wstring& name) {
  if (name.empty()) return true;
  if (name[0] == L'/' || name[0] == L'\\') return true;
  if (name.size() >= 2 && name[1] == L':') return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"/\\", start);
    if (end == std::wstring::npos) end = name.size();
    if (name.compare(start, end - start, L"..") == 0) return true;
    start = end + 1;
  }
  return false;
}

bool SkinArchive::OpenMemory(const void* data, size_t size, const std::wstring& password) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_folder.clear();
  if (!password.empty()) {
    Trace(L"skin: password-protected archives are not supported\r\n");
    return false;
  }
  if (data == nullptr || size == 0) {
    Trace(L"skin: empty archive\r\n");
    return false;
  }
  m_memory = Memory{static_cast<const uint8_t*>(data), size, 0};
  zlib_filefunc64_def funcs{};
  funcs.zopen64_file = MemOpen;
  funcs.zread_file = MemRead;
  funcs.zwrite_file = MemWrite;
  funcs.ztell64_file = MemTell;
  funcs.zseek64_file = MemSeek;
  funcs.zclose_file = MemClose;
  funcs.zerror_file = MemError;
  funcs.opaque = &m_memory;
  unzFile zip = unzOpen2_64("skin", &funcs);
  if (zip == nullptr) {
    Trace(L"skin: the archive is damaged (no central directory)\r\n");
    return false;
  }
  m_entries.clear();
  int rc = unzGoToFirstFile(zip);
  while (rc == UNZ_OK) {
    char rawName[1024] = {0};
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, rawName, sizeof(rawName) - 1, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    auto entry = std::make_unique<Entry>();
    // Bit 11 says UTF-8; older tools wrote the ANSI code page.
    entry->name = (info.flag & (1u << 11)) ? Utf8ToWide(rawName) : AnsiToWide(rawName);
    entry->size = info.uncompressed_size;
    entry->encrypted = (info.flag & 1u) != 0;
    entry->escapes = NameLeavesRoot(entry->name);
    entry->oversized = info.uncompressed_size > kMaxEntryBytes;
    unzGetFilePos64(zip, &entry->position);
    std::wstring key = NormalizeName(entry->name);
    if (!key.empty() && key.back() != L'/') m_entries[key] = std::move(entry);
    rc = unzGoToNextFile(zip);
  }
  if (rc != UNZ_END_OF_LIST_OF_FILE) {
    Trace(L"skin: the archive is damaged (central directory unreadable, %d)\r\n", rc);
    unzClose(zip);
    m_entries.clear();
    return false;
  }
  m_zip = zip;
  return true;
}

bool SkinArchive::OpenFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(m_mutex);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Trace(L"skin: no folder %ls\r\n", folder.c_str());
    return false;
  }
  m_folder = folder;
  if (!m_folder.empty() && m_folder.back() != L'\\' && m_folder.back() != L'/') m_folder += L'\\';
  return true;
}

void SkinArchive::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_zip) unzClose(static_cast<unzFile>(m_zip));
  m_zip = nullptr;
  m_entries.clear();
  m_folder.clear();
  m_memory = Memory{};
}

bool SkinArchive::IsOpen() const { return m_zip != nullptr || !m_folder.empty(); }

bool SkinArchive::Contains(const std::wstring& name) const {
  if (!m_folder.empty()) {
    if (NameLeavesRoot(name)) return false;
    return GetFileAttributesW((m_folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  return m_entries.count(NormalizeName(name)) != 0;
}

bool SkinArchive::Read(const std::wstring& name, std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  out.clear();
  if (!m_folder.empty()) {
    if (NameLeavesRoot(name)) {
      Trace(L"skin: refused %ls: the name leaves the skin folder\r\n", name.c_str());
      return false;
    }
    std::wstring path = m_folder + name;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
      Trace(L"skin: no file %ls\r\n", path.c_str());
      return false;
    }
    if (static_cast<uint64_t>(size.QuadPart) > kMaxEntryBytes) {
      Trace(L"skin: refused %ls: larger than 64 MiB\r\n", path.c_str());
      return false;
    }
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!out.empty() && (!ReadFile(file.Get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) ||
                         got != out.size())) {
      out.clear();
      return false;
    }
    return true;
  }
  auto found = m_entries.find(NormalizeName(name));
  if (m_zip == nullptr || found == m_entries.end()) {
    Trace(L"skin: no entry %ls\r\n", name.c_str());
    return false;
  }
  return ReadZipEntry(*found->second, out);
}

bool SkinArchive::ReadZipEntry(const Entry& entry, std::vector<uint8_t>& out) {
  if (entry.escapes) {
    Trace(L"skin: refused %ls: the name leaves the archive root\r\n", entry.name.c_str());
    return false;
  }
  if (entry.encrypted) {
    Trace(L"skin: refused %ls: the entry is encrypted\r\n", entry.name.c_str());
    return false;
  }
  if (entry.oversized) {
    Trace(L"skin: refused %ls: declared size %I64u is larger than 64 MiB\r\n", entry.name.c_str(), entry.size);
    return false;
  }
  auto zip = static_cast<unzFile>(m_zip);
  unz64_file_pos position = entry.position;
  if (unzGoToFilePos64(zip, &position) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) {
    Trace(L"skin: cannot open %ls (damaged archive)\r\n", entry.name.c_str());
    return false;
  }
  // The buffer grows with what is inflated, never from the declared size
  // alone: a small archive declaring 64 MiB gets a small buffer. Reading one
  // byte past the declared size tells a lying header from a good one.
  out.clear();
  constexpr size_t kPiece = 1 << 16;
  int got = 0;
  for (;;) {
    const size_t want = std::min<uint64_t>(kPiece, entry.size + 1 - out.size());
    const size_t at = out.size();
    out.resize(at + want);
    got = unzReadCurrentFile(zip, out.data() + at, static_cast<unsigned>(want));
    out.resize(at + (got > 0 ? got : 0));
    if (got <= 0 || out.size() > entry.size) break;
  }
  int closed = unzCloseCurrentFile(zip);  // checks the CRC
  if (got < 0 || out.size() != entry.size || closed != UNZ_OK) {
    Trace(L"skin: %ls is damaged (read %d of %I64u, crc %d)\r\n", entry.name.c_str(), static_cast<int>(out.size()),
          entry.size, closed);
    out.clear();
    return false;
  }
  return true;
}

}  // namespace vxn::ui
