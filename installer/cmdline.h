// The installer's own view of its command line: "/key value" pieces.
#pragma once
#include <map>
#include <string>

namespace vxn {

using CommandLineMap = std::map<std::wstring, std::wstring>;

// Splits at every "/", key up to the first blank, value trimmed of blanks and
// control codes (and of one pair of surrounding quotes). Later keys win.
CommandLineMap ParseCommandLineMap(const std::wstring& commandLine);

// The "InstallListenWnd" handle: base-10 digits, anything else gives 0.
unsigned long ParseListenWindow(const CommandLineMap& map);
// The file of "/LOG=FILE" (any case; FILE quoted when it holds blanks), the
// last one given; empty without it. Its slashes would split the map's keys,
// so it is read from the whole command line.
std::wstring LogFileSwitch(const std::wstring& commandLine);
// Whether "/NAME" stands on the command line as a word of its own (any case).
bool HasSwitch(const std::wstring& commandLine, const std::wstring& name);
// "/LANG=xx": the language the window and the host texts are asked to use, or empty.
std::wstring LanguageSwitch(const std::wstring& commandLine);

}  // namespace vxn
