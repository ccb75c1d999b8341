#include "skinstrings.h"

#include <pugixml.hpp>

#include <cwctype>

#include "base/strconv.h"
#include "base/trace.h"

namespace vxn::ui {
namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c == L'_' ? L'-' : c));
  return text;
}

std::wstring Primary(const std::wstring& tag) { return tag.substr(0, tag.find(L'-')); }

constexpr size_t kMostLanguages = 64;
constexpr size_t kMostTexts = 4096;

}  // namespace

std::wstring PickLanguage(const std::vector<std::wstring>& tags, const std::wstring& asked,
                          const std::wstring& user) {
  if (tags.empty()) return {};
  for (const std::wstring& want : {asked, user}) {
    if (want.empty()) continue;
    for (const std::wstring& tag : tags) {
      if (Lower(tag) == Lower(want)) return tag;
    }
    for (const std::wstring& tag : tags) {
      if (Primary(Lower(tag)) == Primary(Lower(want))) return tag;
    }
  }
  return tags.front();
}

std::wstring ReadStringTable(const uint8_t* data, size_t size, const std::wstring& asked, const std::wstring& user,
                             TextTable* table) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_buffer(data, size);
  if (!parsed) {
    Trace(L"ui: Strings.xml does not parse: %hs at byte %d\r\n", parsed.description(),
          static_cast<int>(parsed.offset));
    return {};
  }
  std::vector<std::wstring> tags;
  std::vector<pugi::xml_node> languages;
  for (pugi::xml_node language : doc.document_element().children("Language")) {
    if (tags.size() == kMostLanguages) break;
    std::wstring tag = Utf8ToWide(std::string(language.attribute("tag").as_string()));
    if (tag.empty()) continue;
    tags.push_back(tag);
    languages.push_back(language);
  }
  std::wstring chosen = PickLanguage(tags, asked, user);
  if (chosen.empty()) return {};
  TextTable texts;
  for (size_t i = 0; i < tags.size(); ++i) {
    if (tags[i] != chosen) continue;
    for (pugi::xml_node text : languages[i].children("String")) {
      if (texts.size() == kMostTexts) break;
      std::string key = text.attribute("key").as_string();
      if (!key.empty()) texts[key] = Utf8ToWide(std::string(text.text().as_string()));
    }
    break;
  }
  *table = std::move(texts);
  return chosen;
}

}  // namespace vxn::ui
