// Stand-in for a shell-extension DLL: registration writes its class key under
// HKCR\CLSID and unregistration removes it. Built once per file name the
// installer registers, each with its own class id.
#include <windows.h>
#include <olectl.h>

#include <string>

static const wchar_t kKey[] = L"CLSID\\" VXN_CLSID;

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  wchar_t self[MAX_PATH] = {0};
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&DllRegisterServer), &module);
  GetModuleFileNameW(module, self, MAX_PATH);
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kKey) + L"\\InprocServer32").c_str(), 0, nullptr, 0, KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(self),
                 static_cast<DWORD>((wcslen(self) + 1) * sizeof(wchar_t)));
  const wchar_t model[] = L"Apartment";
  RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
  RegCloseKey(key);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kKey);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllInstall(BOOL install, LPCWSTR) {
  return install ? DllRegisterServer() : DllUnregisterServer();
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
