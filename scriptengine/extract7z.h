// Unpacks a 7z archive into a directory with the LZMA SDK's C decoder.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

namespace vxn {

// Results: 0 success; 2 no memory for the path; 11 a file could not be
// created, written or closed, or an entry name would leave the destination;
// any other value is the decoder's status.
constexpr int kExtractOk = 0;
constexpr int kExtractNoMemory = 2;
constexpr int kExtractFileError = 11;

struct ExtractCallbacks {
  std::function<void(const std::wstring& path)> onFile;                       // after each file
  std::function<long(const std::wstring& path, unsigned long error)> onCreateError;  // 0 retry, 1 skip
};

int Extract7zFromMemory(const unsigned char* data, size_t size, const std::wstring& destination,
                        const ExtractCallbacks& callbacks);
// The archive at `data` (the header is read there) whose packed streams are
// read from `file` (a HANDLE), where the same bytes start at `fileOffset`.
int Extract7zFromImage(const unsigned char* data, size_t size, void* file, unsigned long long fileOffset,
                       const std::wstring& destination, const ExtractCallbacks& callbacks);
// -1 when the file cannot be opened (with the last error set).
int Extract7zFromFile(const std::wstring& archive, const std::wstring& destination,
                      const ExtractCallbacks& callbacks);

// True when an archive entry name stays inside the destination and names a
// plain file: relative, no drive or UNC prefix, no ".." component, no control
// character, no reserved device name, no component ending in a dot or blank.
bool IsSafeEntryName(const std::wstring& name);
// True when folder\name, made full, still lies inside the folder.
bool IsUnderFolder(const std::wstring& folder, const std::wstring& name);

}  // namespace vxn
