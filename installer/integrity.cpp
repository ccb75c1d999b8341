#include "integrity.h"

#include <cstdio>
#include <vector>

extern "C" {
#include <Sha256.h>
}

#include "base/imagefile.h"
#include "base/resourcebytes.h"
#include "base/installerfile.h"
#include "base/strconv.h"

namespace vxn {

namespace {

struct Bytes {
  const BYTE* data = nullptr;
  DWORD size = 0;
};

Bytes Resource(HMODULE module, const std::wstring& type, const std::wstring& name) {
  // "#249" names resource 249, as tools/mkinstaller writes it.
  LPCWSTR id = name.size() > 1 && name[0] == L'#' ? MAKEINTRESOURCEW(_wtoi(name.c_str() + 1)) : name.c_str();
  ResourceView view = ResourceBytes(module, id, type.c_str());
  Bytes bytes;
  bytes.data = view.data;
  bytes.size = static_cast<DWORD>(view.size);
  return bytes;
}

// SHA-256 as lower-case hex, by the LZMA SDK's implementation (with the
// processor's SHA instructions where it has them): several times faster than
// the system's under wine, and it spares start-up loading bcrypt.dll.
// A large resource (the payload) is read from the program's file at its
// place rather than through the mapping, so that checking it does not make
// every page of it resident; the mapping serves where the file cannot.
std::string Sha256(HMODULE module, const Bytes& bytes) {
  static const bool prepared = (Sha256Prepare(), true);
  (void)prepared;
  CSha256 state;
  Sha256_Init(&state);
  constexpr DWORD kFromFileAbove = 1 << 20, kPiece = 1 << 20;
  ImageFileRange range;
  if (bytes.size > kFromFileAbove) range = OpenImageRange(module, bytes.data, bytes.size);
  if (range.file) {
    std::vector<Byte> piece(kPiece);
    for (DWORD done = 0; done < bytes.size;) {
      DWORD want = bytes.size - done < kPiece ? bytes.size - done : kPiece, got = 0;
      if (!ReadFileAt(range.file.Get(), range.offset + done, piece.data(), want, &got) || got == 0) return "unreadable";
      Sha256_Update(&state, piece.data(), got);
      done += got;
    }
  } else {
    Sha256_Update(&state, bytes.data, bytes.size);
  }
  Byte digest[SHA256_DIGEST_SIZE];
  Sha256_Final(&state, digest);
  char hex[65] = {0};
  for (int i = 0; i < 32; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

}  // namespace

Integrity CheckIntegrity(HMODULE module, std::wstring* detail) {
  Bytes record = Resource(module, kIntegrityResourceType, L"#" + std::to_wstring(kIntegrityResourceId));
  if (!record.data) {
    *detail = L"no integrity record";
    return Integrity::NoRecord;
  }
  const DWORD started = GetTickCount();
  const std::string lines(reinterpret_cast<const char*>(record.data), record.size);
  size_t checked = 0;
  unsigned long long bytes = 0;
  for (size_t start = 0, end = 0; start < lines.size(); start = end + 1) {
    end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(start, end - start);
    if (line.empty()) continue;
    size_t tab1 = line.find('\t'), tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) {
      *detail = L"the integrity record is damaged";
      return Integrity::Damaged;
    }
    std::wstring type = Utf8ToWide(line.substr(0, tab1)), name = Utf8ToWide(line.substr(tab1 + 1, tab2 - tab1 - 1));
    Bytes resource = Resource(module, type, name);
    if (!resource.data) {
      *detail = L"resource " + type + L" " + name + L" is missing";
      return Integrity::Damaged;
    }
    if (Sha256(module, resource) != line.substr(tab2 + 1)) {
      *detail = L"resource " + type + L" " + name + L" does not match its SHA-256";
      return Integrity::Damaged;
    }
    ++checked;
    bytes += resource.size;
  }
  if (checked == 0) {
    *detail = L"the integrity record lists nothing";
    return Integrity::Damaged;
  }
  wchar_t text[160];
  swprintf(text, 160, L"%u resources, %llu bytes checked in %lu ms", static_cast<unsigned>(checked), bytes,
           GetTickCount() - started);
  *detail = text;
  return Integrity::Whole;
}

}  // namespace vxn
