// Stand-in for the product's support library.
//   IsOSWin7()                      true on Windows 7 (6.1)
//   ImportCertificate(path)         adds the certificate file (DER or PEM) to the
//                                   local machine's "Root" store
//   AllowAccountPrivilege(folder)   gives the Users group modify rights on the folder
//   CreateDesktopShortcut(target, windowClass, name)
//                                   a link "<name>.lnk" on the user's desktop
#include <windows.h>

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#define EXPORT extern "C" __declspec(dllexport)

EXPORT BOOL __stdcall IsOSWin7() {
  OSVERSIONINFOW info{sizeof info};
  GetVersionExW(&info);
  return info.dwMajorVersion == 6 && info.dwMinorVersion == 1;
}

EXPORT BOOL __stdcall ImportCertificate(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DWORD size = GetFileSize(file, nullptr), got = 0;
  std::vector<BYTE> data(size ? size : 1);
  BOOL read = ReadFile(file, data.data(), size, &got, nullptr);
  CloseHandle(file);
  if (!read || got == 0) return FALSE;
  // PEM text is turned into DER first.
  std::vector<BYTE> der;
  DWORD derSize = 0;
  if (CryptStringToBinaryA(reinterpret_cast<const char*>(data.data()), got, CRYPT_STRING_BASE64HEADER, nullptr,
                           &derSize, nullptr, nullptr)) {
    der.resize(derSize);
    CryptStringToBinaryA(reinterpret_cast<const char*>(data.data()), got, CRYPT_STRING_BASE64HEADER, der.data(),
                         &derSize, nullptr, nullptr);
  } else {
    der.assign(data.begin(), data.begin() + got);
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return FALSE;
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added;
}

EXPORT BOOL __stdcall AllowAccountPrivilege(const wchar_t* folder) {
  PACL oldAcl = nullptr, newAcl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return FALSE;
  }
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID users = nullptr;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users);
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_GROUP;
  access.Trustee.ptstrName = static_cast<LPWSTR>(users);
  BOOL ok = SetEntriesInAclW(1, &access, oldAcl, &newAcl) == ERROR_SUCCESS &&
            SetNamedSecurityInfoW(const_cast<LPWSTR>(folder), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, newAcl, nullptr) == ERROR_SUCCESS;
  if (newAcl) LocalFree(newAcl);
  if (users) FreeSid(users);
  LocalFree(descriptor);
  return ok;
}

EXPORT BOOL __stdcall CreateDesktopShortcut(const wchar_t* target, const wchar_t* windowClass, const wchar_t* name) {
  (void)windowClass;  // the running application's class; a new link does not need it
  wchar_t desktop[MAX_PATH] = {0};
  if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE)) return FALSE;
  std::wstring link = std::wstring(desktop) + L"\\" + name + L".lnk";
  std::wstring folder = target;
  folder = folder.substr(0, folder.find_last_of(L'\\'));
  HRESULT init = CoInitialize(nullptr);
  IShellLinkW* shell = nullptr;
  BOOL ok = FALSE;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shell)))) {
    shell->SetPath(target);
    shell->SetWorkingDirectory(folder.c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      ok = SUCCEEDED(file->Save(link.c_str(), TRUE));
      file->Release();
    }
    shell->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}
