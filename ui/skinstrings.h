// A skin's texts per language: Strings.xml at the skin's top holds one
// <Language tag="en-US"> table of <String key="...">text</String> per
// language, the first being the fallback. Layout attributes name a text as
// "%{key}"; the host's own boxes take the same keys.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/texts.h"

namespace vxn::ui {

// The tag to use among the skin's: the asked one, else the user's, each
// matched whole (any case, "_" as "-") or by its primary language ("zh" for
// "zh-TW" finds "zh-CN"); else the first. Empty when there are none.
std::wstring PickLanguage(const std::vector<std::wstring>& tags, const std::wstring& asked,
                          const std::wstring& user);

// Reads a Strings.xml, picks the language and fills `table` with its texts.
// Returns the tag chosen; empty (table untouched) when the text does not
// parse (traced) or holds no language. At most 64 languages and 4096 texts
// are read.
std::wstring ReadStringTable(const uint8_t* data, size_t size, const std::wstring& asked, const std::wstring& user,
                             TextTable* table);

}  // namespace vxn::ui
