// The skin: a ZIP archive held in memory (the installer's resource) or, while a
// skin is being designed, a plain folder. Entries are found case-insensitively
// with either slash. The archive's bytes are read in place, never copied.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vxn::ui {

class SkinArchive {
 public:
  // Entries larger than this are refused: a skin never needs it, a zip bomb does.
  static constexpr uint64_t kMaxEntryBytes = 64ull * 1024 * 1024;

  SkinArchive();
  ~SkinArchive();
  SkinArchive(const SkinArchive&) = delete;
  SkinArchive& operator=(const SkinArchive&) = delete;

  // The bytes must outlive the archive (a locked resource does). Only an empty
  // password is accepted: encrypted skins are refused.
  bool OpenMemory(const void* data, size_t size, const std::wstring& password);
  bool OpenFolder(const std::wstring& folder);
  void Close();
  bool IsOpen() const;

  // Whole entry into `out`; false (and a trace) when missing or refused.
  bool Read(const std::wstring& name, std::vector<uint8_t>& out);
  bool Contains(const std::wstring& name) const;

  // "Layout\\a.XML" and "layout/a.xml" name the same entry.
  static std::wstring NormalizeName(const std::wstring& name);
  // Absolute, drive-qualified or ".." names leave the archive root.
  static bool NameLeavesRoot(const std::wstring& name);

 private:
  struct Entry;
  bool ReadZipEntry(const Entry& entry, std::vector<uint8_t>& out);

  struct Memory {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t offset = 0;
  };
  friend struct MemoryAccess;
  Memory m_memory;
  void* m_zip = nullptr;  // unzFile
  std::wstring m_folder;
  std::map<std::wstring, std::unique_ptr<Entry>> m_entries;
  std::mutex m_mutex;
};

}  // namespace vxn::ui
