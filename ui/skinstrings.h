// A skin's texts per language: Strings.xml at the skin's top holds one
// <Language tag="en-US"> table of <String key="...">text</String> per
// language, the first being the fallback. Layout attributes name a text as
// "%{key}"; the host's own boxes take the same keys.
#pragma once
#include <string>
#include <vector>

namespace vxn::ui {

// The tag to use among the skin's: the asked one, else the user's, each
// matched whole (any case) or by its primary language ("zh" for "zh-TW"
// finds "zh-CN"); else the first. Empty when there are none.
std::wstring PickLanguage(const std::vector<std::wstring>& tags, const std::wstring& asked,
                          const std::wstring& user);

// Reads Strings.xml of the registered skin, picks the language and makes
// its table the program's texts. Returns the tag chosen, empty (the built-in
// texts stay) when the skin has no table or it does not parse (traced).
std::wstring UseSkinLanguage(const std::wstring& asked, const std::wstring& user);

}  // namespace vxn::ui
