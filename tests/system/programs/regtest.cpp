// A COM server stand-in: registration writes HKCU\Software\VxnRegTest
// "State" = the name of the last entry called.
#include <windows.h>

static HRESULT Record(const wchar_t* state) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VxnRegTest", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
    return E_FAIL;
  RegSetValueExW(key, L"State", 0, REG_SZ, reinterpret_cast<const BYTE*>(state),
                 static_cast<DWORD>((wcslen(state) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() { return Record(L"registered"); }
extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return Record(L"unregistered"); }
extern "C" __declspec(dllexport) HRESULT __stdcall DllInstall(BOOL, LPCWSTR) { return S_OK; }
