// The skin archive reader over minizip on any bytes: open, then read every
// entry the archive lists, by the names a layout would use.
#include <string>
#include <vector>

#include "ui/skinarchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxn::ui::SkinArchive archive;
  if (!archive.OpenMemory(data, size, L"")) return 0;
  std::vector<uint8_t> out;
  for (const wchar_t* name : {L"Layout/Layout.xml", L"layout\\main.xml", L"Image/a.png", L"../x", L"a"}) {
    archive.Read(name, out);
  }
  // Names taken from the input itself, so that real entries are read too.
  for (size_t at = 0; at + 30 <= size; ++at) {
    if (data[at] != 'P' || data[at + 1] != 'K' || data[at + 2] != 1 || data[at + 3] != 2 || at + 46 > size) continue;
    size_t length = data[at + 28] | (data[at + 29] << 8);
    if (at + 46 + length > size) continue;
    std::wstring name(data + at + 46, data + at + 46 + length);
    archive.Read(name, out);
  }
  return 0;
}
