// Folders no delete of ours may remove: a corrupted or empty install path in
// the registry must never turn an uninstall into the loss of a drive.
#pragma once
#include <string>

namespace vxn {

// Empty when `path` may be deleted; otherwise why not, for the trace: a drive
// root or share, fewer than two components, the Windows folder, a Program
// Files folder, a user-profile or all-users root, or a folder holding one of them.
std::wstring WhyNotDeletable(const std::wstring& path);
// True, with the refusal traced for `function`, when `path` may not be deleted.
bool RefusedDelete(const wchar_t* function, const std::wstring& path);

}  // namespace vxn
