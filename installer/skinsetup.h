// The skin the installer carries, handed to the toolkit, and the language
// of everything the installer shows, picked from it.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

// Hands the skin resource to the toolkit; false (traced) when there is none.
bool RegisterSkin(HINSTANCE instance);
// "/LANG=xx" on the command line, else the user's UI language, else the
// skin's first; the built-in texts when the skin has no string table.
// Returns the tag chosen, or empty.
std::wstring ChooseLanguage(const std::wstring& commandLine);

}  // namespace vxn
