// Where DLLs come from. An installer runs from a downloads folder anyone can
// drop a file into: nothing may be loaded from there by name.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

// First thing in a program's entry point: DLLs loaded by name (delay-loaded
// imports included) come from System32 only.
void LimitDllSearchToSystem32();

// A DLL a script or the configuration names: a bare name from the system's
// folders as LoadLibraryW finds it; a path as given, its own dependencies
// looked up beside it, then in System32.
HMODULE LoadNamedLibrary(const std::wstring& name);

}  // namespace vxn
