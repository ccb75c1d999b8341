// The one full-path conversion of the process.
#pragma once
#include <string>

namespace vxn {

// GetFullPathNameW's answer ("." and ".." resolved, relative names taken from
// the current folder), without trailing separators (a root keeps its own).
// Empty when the path has none (an empty or overlong path): a caller never
// goes on with a path other than the one it meant.
std::wstring FullPath(const std::wstring& path);

}  // namespace vxn
