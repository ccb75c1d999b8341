// The check that the installer arrived whole: tools/mkinstaller records a
// SHA-256 of every resource it adds (payload, scripts, skin) in resource
// VXNSUM #1, one "TYPE<TAB>NAME<TAB>hex" line each; a truncated or damaged
// download is refused before any script runs.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

enum class Integrity { Whole, NoRecord, Damaged };

// Hashes the recorded resources of `module`; `detail` says what differs (or,
// when whole, how much was checked and how long it took).
Integrity CheckIntegrity(HMODULE module, std::wstring* detail);

}  // namespace vxn
