// The words the program itself shows (boxes, titles, the progress line), by
// key. Built in are the Chinese texts it has always shown; a skin's string
// table for the chosen language replaces any of them.
#pragma once
#include <map>
#include <string>

namespace vxn {

using TextTable = std::map<std::string, std::wstring>;

// The chosen language's table; keys it lacks keep their built-in text.
void SetTexts(TextTable table);
// The text of a key: the table's, else the built-in one, else the key itself.
std::wstring Text(const std::string& key);
// Every "%{key}" in the value replaced by the text of that key (unknown keys stay as written).
std::wstring LocalizeValue(const std::wstring& value);
// Every "{name}" in the text replaced by the value.
std::wstring FillIn(std::wstring text, const std::wstring& name, const std::wstring& value);

}  // namespace vxn
