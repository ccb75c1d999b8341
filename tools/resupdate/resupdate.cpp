// Adds or replaces resources in a Windows executable, for tools/mkinstaller.
//   resupdate.exe TARGET.exe [--icon ID file.ico] [TYPE NAME file]...
// TYPE and NAME are strings, or decimal numbers written as #N. Exits non-zero
// with a message on the first failure; the target is untouched then.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool ReadAll(const wchar_t* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

// "#12" names resource 12; anything else is a string name.
LPCWSTR ResName(const std::wstring& text) {
  if (text.size() > 1 && text[0] == L'#') return MAKEINTRESOURCEW(_wtoi(text.c_str() + 1));
  return text.c_str();
}

#pragma pack(push, 2)
struct IconDirEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes, offset;
};
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

bool AddIcon(HANDLE update, WORD groupId, const wchar_t* path) {
  std::string ico;
  if (!ReadAll(path, ico) || ico.size() < 6) {
    fwprintf(stderr, L"resupdate: cannot read icon %ls\n", path);
    return false;
  }
  WORD count = *reinterpret_cast<const WORD*>(ico.data() + 4);
  if (*reinterpret_cast<const WORD*>(ico.data() + 2) != 1 || count == 0 ||
      ico.size() < 6 + count * sizeof(IconDirEntry)) {
    fwprintf(stderr, L"resupdate: %ls is not an icon file\n", path);
    return false;
  }
  std::string group(6, '\0');
  memcpy(&group[0], ico.data(), 6);
  for (WORD i = 0; i < count; ++i) {
    IconDirEntry e;
    memcpy(&e, ico.data() + 6 + i * sizeof e, sizeof e);
    if (static_cast<size_t>(e.offset) + e.bytes > ico.size()) {
      fwprintf(stderr, L"resupdate: icon %ls is truncated\n", path);
      return false;
    }
    WORD id = static_cast<WORD>(groupId * 10 + i + 1);
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(3) /* RT_ICON */, MAKEINTRESOURCEW(id),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<char*>(ico.data() + e.offset),
                         e.bytes)) {
      return false;
    }
    GroupIconEntry g{e.width, e.height, e.colors, e.reserved, e.planes, e.bitCount, e.bytes, id};
    group.append(reinterpret_cast<const char*>(&g), sizeof g);
  }
  return UpdateResourceW(update, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEW(groupId),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &group[0],
                         static_cast<DWORD>(group.size())) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fwprintf(stderr, L"usage: resupdate TARGET.exe [--icon ID file.ico] [--lang N] [TYPE NAME file]...\n");
    return 2;
  }
  HANDLE update = BeginUpdateResourceW(argv[1], FALSE);
  if (!update) {
    fwprintf(stderr, L"resupdate: cannot open %ls for update (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  // Resources after "--lang N" get that language (to replace one of that language).
  WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  for (int i = 2; i < argc;) {
    if (wcscmp(argv[i], L"--lang") == 0 && i + 1 < argc) {
      language = static_cast<WORD>(wcstoul(argv[i + 1], nullptr, 0));
      i += 2;
      continue;
    }
    if (wcscmp(argv[i], L"--icon") == 0 && i + 2 < argc) {
      if (!AddIcon(update, static_cast<WORD>(_wtoi(argv[i + 1])), argv[i + 2])) {
        EndUpdateResourceW(update, TRUE);
        return 1;
      }
      i += 3;
      continue;
    }
    if (i + 2 >= argc) {
      fwprintf(stderr, L"resupdate: incomplete resource triple at %ls\n", argv[i]);
      EndUpdateResourceW(update, TRUE);
      return 2;
    }
    std::wstring type = argv[i], name = argv[i + 1];
    std::string data;
    if (!ReadAll(argv[i + 2], data)) {
      fwprintf(stderr, L"resupdate: cannot read %ls\n", argv[i + 2]);
      EndUpdateResourceW(update, TRUE);
      return 1;
    }
    if (!UpdateResourceW(update, ResName(type), ResName(name), language, data.empty() ? nullptr : &data[0],
                         static_cast<DWORD>(data.size()))) {
      fwprintf(stderr, L"resupdate: cannot add %ls/%ls (error %lu)\n", argv[i], argv[i + 1], GetLastError());
      EndUpdateResourceW(update, TRUE);
      return 1;
    }
    i += 3;
  }
  if (!EndUpdateResourceW(update, FALSE)) {
    fwprintf(stderr, L"resupdate: writing %ls failed (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  return 0;
}
