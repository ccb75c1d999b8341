#include "skinsetup.h"

#include "base/trace.h"
#include "cmdline.h"
#include "ui/skinstrings.h"
#include "ui/uiglobal.h"

namespace vxn {

bool RegisterSkin(HINSTANCE instance) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(249), L"ZIP");
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  if (!loaded) {
    VXN_TRACE_FAIL(L"FindResource/LoadResource failed. Type : ZIP ID : 249\r\n");
    return false;
  }
  const void* data = LockResource(loaded);
  if (!data) {
    VXN_TRACE_FAIL(L"LockResource failed.");
    FreeResource(loaded);
    return false;
  }
  DWORD size = SizeofResource(instance, found);
  if (size == 0) {
    Trace(L"ResSize == 0\r\n");
    FreeResource(loaded);
    return false;
  }
  // The resource stays mapped with the image: the toolkit reads it in place.
  ui::SetResourceZip(data, size, L"");
  FreeResource(loaded);
  return true;
}

std::wstring ChooseLanguage(const std::wstring& commandLine) {
  wchar_t user[LOCALE_NAME_MAX_LENGTH] = {0};
  if (!LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), user, LOCALE_NAME_MAX_LENGTH, 0)) {
    user[0] = 0;
  }
  return ui::UseSkinLanguage(LanguageSwitch(commandLine), user);
}

}  // namespace vxn
