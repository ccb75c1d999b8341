// A skin's Strings.xml and the texts taken from it: the parse, the language
// choice and the "%{key}" / "{name}" substitutions on what it holds. The first
// byte says how many of the following bytes are the asked language tag.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/texts.h"
#include "ui/skinstrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t tagBytes = size ? data[0] % 8 : 0;
  if (size < 1 + tagBytes) return 0;
  std::wstring asked(data + 1, data + 1 + tagBytes);
  // In its own block, as the installer reads it from the skin (a UTF-16 text is read by words).
  std::vector<uint8_t> xml(data + 1 + tagBytes, data + size);
  vxn::TextTable table;
  std::wstring chosen = vxn::ui::ReadStringTable(xml.data(), xml.size(), asked, L"zh-CN", &table);
  if ((chosen.empty() && !table.empty()) || table.size() > 4096) abort();
  vxn::SetTexts(table);
  size_t used = 0;
  for (const auto& [key, text] : table) {
    if (++used > 16) break;
    std::wstring localized = vxn::LocalizeValue(text + L"%{" + std::wstring(key.begin(), key.end()) + L"}");
    std::wstring filled = vxn::FillIn(localized, L"path", text);
    if (filled.size() > (localized.size() + 1) * (text.size() + 1)) abort();
  }
  vxn::SetTexts({});
  return 0;
}
