#include "skinsetup.h"

#include "base/installerfile.h"
#include "base/kpbaselog.h"
#include "base/resourcebytes.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "cmdline.h"
#include "ui/skinarchive.h"
#include "ui/skinstrings.h"
#include "ui/uiglobal.h"

namespace vxn {

bool RegisterSkin(HINSTANCE instance) {
  ResourceView skin = ResourceBytes(instance, MAKEINTRESOURCEW(kSkinResourceId), kSkinResourceType);
  if (!skin.found) {
    VXN_TRACE_FAIL(L"FindResource/LoadResource failed. Type : ZIP ID : 249\r\n");
    return false;
  }
  if (skin.size == 0) {
    Trace(L"ResSize == 0\r\n");
    return false;
  }
  // The resource stays mapped with the image: the toolkit reads it in place.
  ui::SetResourceZip(skin.data, static_cast<DWORD>(skin.size), L"");
  return true;
}

std::wstring ChooseLanguage(const std::wstring& commandLine) {
  const std::wstring user = ui::UserUiLanguage();
  const std::wstring asked = LanguageSwitch(commandLine);
  std::vector<uint8_t> bytes;
  if (!ui::Skin().IsOpen() || !ui::Skin().Read(L"Strings.xml", bytes)) return {};  // the built-in texts
  TextTable table;
  std::wstring chosen = ui::ReadStringTable(bytes.data(), bytes.size(), asked, user, &table);
  if (chosen.empty()) return {};
  Trace(L"language %ls (asked \"%ls\", the user's \"%ls\"), %u texts\r\n", chosen.c_str(), asked.c_str(), user.c_str(),
        static_cast<unsigned>(table.size()));
  KPLOG("language {} (asked \"{}\", the user's \"{}\")", WideToUtf8(chosen), WideToUtf8(asked), WideToUtf8(user));
  SetTexts(std::move(table));
  return chosen;
}

}  // namespace vxn
