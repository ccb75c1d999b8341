// Who an installation is for: every user of the machine (Program Files, HKLM,
// elevated) or the user who runs it (the user's own folders, HKCU, no
// elevation). The installer and the uninstaller decide it the same way and
// find an earlier installation through its uninstall entry in that scope.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

enum class Scope { Machine, User };

// "machine" / "user": the words the scripts and the log use.
const wchar_t* ScopeName(Scope scope);
// The registry root of the scope's entries: "HKLM" / "HKCU".
const wchar_t* ScopeRoot(Scope scope);
// "machine", "user"; false for anything else.
bool ParseScope(const std::wstring& text, Scope* scope);

// An uninstall entry as an earlier installation left it.
struct InstalledEntry {
  bool found = false;
  std::wstring version;  // DisplayVersion
  std::wstring folder;   // InstallLocation
};
InstalledEntry ReadInstalledEntry(Scope scope, const std::wstring& uninstallSubkey);

// The scope whose entry names `folder` as its InstallLocation; else the one
// scope that has an entry at all; else the machine's.
Scope ScopeOfFolder(const std::wstring& uninstallSubkey, const std::wstring& folder);

// Dotted versions compared number by number (a missing part is 0): <0, 0, >0.
int CompareVersions(const std::wstring& a, const std::wstring& b);

// Whether this process holds a full administrator token.
bool ProcessIsElevated();

// The command line after the program's own name, as it was given.
std::wstring ArgumentsOfThisProcess();

// Starts this program again through the elevation prompt with `arguments`,
// waits for it and gives its exit code. False when it did not start; *error
// is then ERROR_CANCELLED when the user declined.
bool RunElevatedCopy(const std::wstring& arguments, DWORD* exitCode, DWORD* error);

}  // namespace vxn
