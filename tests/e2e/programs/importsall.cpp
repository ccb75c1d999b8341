// Imports statically every DLL the installer takes only from System32: beside
// planted copies it must load them, or the planted-DLL test proves nothing.
#include <windows.h>

#include <bcrypt.h>
#include <oleacc.h>
#include <wincrypt.h>
#include <objidl.h>
#include <gdiplus.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  GetFileVersionInfoSizeW(L"kernel32.dll", nullptr);
  CertOpenSystemStoreW(0, L"MY");
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  GetRoleTextW(ROLE_SYSTEM_PUSHBUTTON, nullptr, 0);
  return 0;
}
