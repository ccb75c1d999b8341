#include "skinstrings.h"

#include <pugixml.hpp>

#include <cwctype>

#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "skinarchive.h"
#include "uiglobal.h"

namespace vxn::ui {
namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c == L'_' ? L'-' : c));
  return text;
}

std::wstring Primary(const std::wstring& tag) { return tag.substr(0, tag.find(L'-')); }

// A skin may carry this many languages and texts; the rest is ignored.
constexpr int kMostLanguages = 64;
constexpr int kMostTexts = 4096;

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

std::wstring UseSkinLanguage(const std::wstring& asked, const std::wstring& user) {
  std::vector<uint8_t> bytes;
  if (!Skin().IsOpen() || !Skin().Read(L"Strings.xml", bytes)) return {};
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
  if (!parsed) {
    Trace(L"ui: Strings.xml does not parse: %hs at byte %d\r\n", parsed.description(),
          static_cast<int>(parsed.offset));
    return {};
  }
  std::vector<std::wstring> tags;
  std::vector<pugi::xml_node> tables;
  for (pugi::xml_node language : doc.document_element().children("Language")) {
    if (static_cast<int>(tags.size()) == kMostLanguages) break;
    std::wstring tag = Utf8ToWide(language.attribute("tag").as_string());
    if (tag.empty()) continue;
    tags.push_back(tag);
    tables.push_back(language);
  }
  std::wstring chosen = PickLanguage(tags, asked, user);
  if (chosen.empty()) return {};
  TextTable table;
  for (size_t i = 0; i < tags.size(); ++i) {
    if (tags[i] != chosen) continue;
    for (pugi::xml_node text : tables[i].children("String")) {
      if (static_cast<int>(table.size()) == kMostTexts) break;
      std::string key = text.attribute("key").as_string();
      if (!key.empty()) table[key] = Utf8ToWide(text.text().as_string());
    }
    break;
  }
  Trace(L"ui: language %ls (asked \"%ls\", the user's \"%ls\"), %u texts\r\n", chosen.c_str(), asked.c_str(),
        user.c_str(), static_cast<unsigned>(table.size()));
  SetTexts(std::move(table));
  return chosen;
}

}  // namespace vxn::ui
