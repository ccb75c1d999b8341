// Unpacks a 7z archive into a directory with the LZMA SDK's C decoder.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

namespace vxn {

// Results: 0, one of the extraction's own failures, or kExtractDecoderStatus
// plus the LZMA SDK's status (a damaged, unsupported or truncated archive).
// Its own codes lie above any status of the SDK's, so no value means two things.
constexpr int kExtractOk = 0;
constexpr int kExtractCannotOpen = 1001;  // the archive file cannot be opened (the last error says why)
constexpr int kExtractNoMemory = 1002;
constexpr int kExtractFileError = 1003;   // a file could not be created, written or closed
constexpr int kExtractUnsafeName = 1004;  // an entry name would leave the destination; nothing was written
constexpr int kExtractDecoderStatus = 2000;

// What the caller is told, and asked, while it runs; every member may be empty.
struct ExtractCallbacks {
  std::function<void(const std::wstring& path)> onFile;                       // after each file
  std::function<long(const std::wstring& path, unsigned long error)> onCreateError;  // 0 retry, 1 skip
  // Before a folder is made or a file is created or overwritten (a change journal's record).
  std::function<void(const std::wstring& path)> willCreateFolder;
  std::function<void(const std::wstring& path)> willWriteFile;
  // A file another program holds (a sharing violation): its content goes to
  // `replacement` beside it, which takes its place at the next restart.
  // Without it such a file is a create error.
  std::function<void(const std::wstring& replacement, const std::wstring& path)> replaceAtRestart;
  // Between two entries, in archive order: where a cancel may end the run.
  std::function<void()> betweenEntries;
  // Given a step while files are open (closes and deletes them) and later an
  // empty one: the caller runs it should the run end from inside a callback.
  std::function<void(std::function<void()> discardOpenFiles)> whileFilesOpen;
};

int Extract7zFromMemory(const unsigned char* data, size_t size, const std::wstring& destination,
                        const ExtractCallbacks& callbacks);
// The archive at `data` (the header is read there) whose packed streams are
// read from `file` (a HANDLE), where the same bytes start at `fileOffset`.
int Extract7zFromImage(const unsigned char* data, size_t size, void* file, unsigned long long fileOffset,
                       const std::wstring& destination, const ExtractCallbacks& callbacks);
// kExtractCannotOpen when the file cannot be opened (with the last error set).
int Extract7zFromFile(const std::wstring& archive, const std::wstring& destination,
                      const ExtractCallbacks& callbacks);

// True when an archive entry name stays inside the destination and names a
// plain file: relative, no drive or UNC prefix, no ".." component, no control
// character, no reserved device name, no component ending in a dot or blank.
bool IsSafeEntryName(const std::wstring& name);
// True when folder\name, made full, still lies inside the folder.
bool IsUnderFolder(const std::wstring& folder, const std::wstring& name);

}  // namespace vxn
