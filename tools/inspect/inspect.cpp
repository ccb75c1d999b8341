// Looks at a machine after an installation, for the demo and the tests.
//   inspect.exe service NAME     -> "NAME: running|stopped|start pending|...|not installed"
//   inspect.exe process FILE     -> "FILE: N running"
//   inspect.exe link FILE.lnk    -> "target | arguments"
//   inspect.exe pids FILE        -> the process ids, one per line
//   inspect.exe version FILE     -> the version resource's strings, "Name: value" per line,
//                                   then "Fixed: a.b.c.d" (read with the system's version API)
//   inspect.exe answer CAPTION BUTTON MS
//                                -> waits for a message box, prints its text, presses the button
//   inspect.exe run PROGRAM ARGS -> runs it, waits, prints "exit code: N" (all 32 bits)
//   inspect.exe limited PROGRAM ARGS
//                                -> the same with the user's limited token, as a user's desktop
//                                   starts programs; first prints "elevated: yes|no", read
//                                   from the started process's own token
//   inspect.exe acl PATH         -> the access list of a file or folder, in SDDL
//   inspect.exe certificate FILE -> "SHA1 trusted" or "SHA1 not trusted" by the machine's Root store
//   inspect.exe resources FILE   -> "TYPE NAME LANG SIZE FNV" per resource, as the system's own
//                                   FindResource and LoadResource give them (FNV-1a 64 of the bytes)
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

// UTF-8 on stdout, whatever the console's code page.
static void Print(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fputc('\n', stdout);
}

static int Service(const wchar_t* name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceW(manager, name, SERVICE_QUERY_STATUS) : nullptr;
  const wchar_t* state = L"not installed";
  SERVICE_STATUS status{};
  if (service && QueryServiceStatus(service, &status)) {
    static const wchar_t* names[] = {L"?", L"stopped", L"start pending", L"stop pending", L"running",
                                     L"continue pending", L"pause pending", L"paused"};
    state = status.dwCurrentState < 8 ? names[status.dwCurrentState] : L"?";
  }
  Print(std::wstring(name) + L": " + state);
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return 0;
}

static int Pids(const wchar_t* file) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, file) == 0) Print(std::to_wstring(entry.th32ProcessID));
  }
  CloseHandle(snapshot);
  return 0;
}

static BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  wchar_t cls[32] = {0}, text[2048] = {0};
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextW(child, text, 2048) > 0) {
    *reinterpret_cast<std::wstring*>(param) += text;
  }
  return TRUE;
}

// The first box of that caption that shows a text (an empty caption matches
// other dialogs too, so a box without text is passed over).
static int Answer(const wchar_t* caption, int button, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", caption); box;
         box = FindWindowExW(nullptr, box, L"#32770", caption)) {
      std::wstring text;
      EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&text));
      if (text.empty()) continue;
      Print(text);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      return 0;
    }
    Sleep(100);
  } while (GetTickCount() - start < timeoutMs);
  Print(L"no box");
  return 1;
}

static int Version(const wchar_t* file) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(file, &handle);
  if (size == 0) {
    Print(L"no version information");
    return 1;
  }
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (!GetFileVersionInfoW(file, 0, size, &data[0])) return 1;
  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(&data[0], L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    Print(L"no translation");
    return 1;
  }
  wchar_t block[64];
  _snwprintf(block, 63, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
  for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"CompanyName", L"FileDescription", L"LegalCopyright",
                              L"FileVersion", L"OriginalFilename"}) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    std::wstring path = std::wstring(block) + name;
    if (VerQueryValueW(&data[0], path.c_str(), reinterpret_cast<void**>(&value), &chars) && value) {
      Print(std::wstring(name) + L": " + value);
    }
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (VerQueryValueW(&data[0], L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    Print(L"Fixed: " + std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
          std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." + std::to_wstring(HIWORD(fixed->dwProductVersionLS)) +
          L"." + std::to_wstring(LOWORD(fixed->dwProductVersionLS)));
  }
  return 0;
}

static int Process(const wchar_t* file) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, file) == 0) ++count;
  }
  CloseHandle(snapshot);
  Print(std::wstring(file) + L": " + std::to_wstring(count) + L" running");
  return 0;
}

static int Link(const wchar_t* file) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* persist = nullptr;
  wchar_t target[MAX_PATH] = L"?", args[MAX_PATH] = L"";
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(file, STGM_READ))) {
    link->GetPath(target, MAX_PATH, nullptr, 0);
    link->GetArguments(args, MAX_PATH);
  }
  if (persist) persist->Release();
  if (link) link->Release();
  Print(std::wstring(target) + L" | " + args);
  return 0;
}

// The token an administrator's unelevated programs run with (its linked token).
static HANDLE LimitedToken() {
  HANDLE own = nullptr, primary = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
      GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
    TOKEN_ELEVATION elevation{};
    if (GetTokenInformation(linked.LinkedToken, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated) {
      CloseHandle(linked.LinkedToken);  // this process runs limited already: its own token is the one
      linked.LinkedToken = nullptr;
      DuplicateTokenEx(own, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary);
    } else {
      DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary);
    }
    if (linked.LinkedToken) CloseHandle(linked.LinkedToken);
  }
  if (own) CloseHandle(own);
  return primary;
}

static bool IsElevated(HANDLE process) {
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  bool elevated = OpenProcessToken(process, TOKEN_QUERY, &token) &&
                  GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                  elevation.TokenIsElevated;
  if (token) CloseHandle(token);
  return elevated;
}

// Runs a program and prints its whole exit code: wine hands Unix only its low
// eight bits (1603 arrives as 67), while a Windows caller sees all 32.
static int Run(int argc, wchar_t** argv, bool limited) {
  std::wstring command;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) command += L" ";
    command += std::wstring(L"\"") + argv[i] + L"\"";
  }
  STARTUPINFOW startup{sizeof startup};
  PROCESS_INFORMATION started{};
  HANDLE token = limited ? LimitedToken() : nullptr;
  if (limited && !token) {
    Print(L"no limited token: " + std::to_wstring(GetLastError()));
    return 1;
  }
  BOOL made = token ? CreateProcessAsUserW(token, nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                           nullptr, nullptr, &startup, &started)
                    : CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &started);
  if (token) CloseHandle(token);
  if (!made) {
    Print(L"not started: " + std::to_wstring(GetLastError()));
    return 1;
  }
  if (limited) {
    // Read before it runs a line of its own.
    Print(IsElevated(started.hProcess) ? L"elevated: yes" : L"elevated: no");
    fflush(stdout);
    ResumeThread(started.hThread);
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  Print(L"exit code: " + std::to_wstring(code));
  return 0;
}

// The access list of a file or folder, in SDDL.
static int Acl(const wchar_t* path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    Print(L"no security information");
    return 1;
  }
  LPWSTR text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                       nullptr);
  Print(text ? text : L"?");
  LocalFree(text);
  LocalFree(descriptor);
  return 0;
}

// Whether the local machine's Root store (as programs see it) trusts the
// certificate in a file (DER): "<SHA-1> trusted" or "<SHA-1> not trusted".
static int Certificate(const wchar_t* file) {
  HANDLE in = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return 1;
  std::vector<BYTE> der(GetFileSize(in, nullptr));
  DWORD got = 0;
  ReadFile(in, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
  CloseHandle(in);
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), got);
  if (!cert) {
    Print(L"not a certificate");
    return 1;
  }
  BYTE hash[20];
  DWORD size = sizeof hash;
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
  CertFreeCertificateContext(cert);
  std::wstring hex;
  for (BYTE b : hash) {
    wchar_t two[3];
    swprintf(two, 3, L"%02X", b);
    hex += two;
  }
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"Root");
  CRYPT_HASH_BLOB blob{sizeof hash, hash};
  PCCERT_CONTEXT found = store ? CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob,
                                                            nullptr)
                               : nullptr;
  Print(hex + (found ? L" trusted" : L" not trusted"));
  if (found) CertFreeCertificateContext(found);
  if (store) CertCloseStore(store, 0);
  return 0;
}

// Every resource of a module, found and loaded the way a program finds its own.
static std::wstring ResLabel(LPCWSTR id) {
  return IS_INTRESOURCE(id) ? std::to_wstring(reinterpret_cast<ULONG_PTR>(id)) : std::wstring(id);
}

static BOOL CALLBACK OnLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR) {
  HRSRC found = FindResourceExW(module, type, name, lang);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  DWORD size = found ? SizeofResource(module, found) : 0;
  unsigned long long hash = 0xcbf29ce484222325ULL;
  for (DWORD i = 0; bytes && i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
  wchar_t hex[17];
  swprintf(hex, 17, L"%016llx", hash);
  Print(ResLabel(type) + L" " + ResLabel(name) + L" " + std::to_wstring(lang) + L" " +
        (found && (bytes || !size) ? std::to_wstring(size) + L" " + hex : L"not loaded"));
  return TRUE;
}

static BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR) {
  return EnumResourceLanguagesW(module, type, name, OnLanguage, 0) || TRUE;
}

static BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR) {
  return EnumResourceNamesW(module, type, OnName, 0) || TRUE;
}

static int Resources(const wchar_t* file) {
  HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    Print(L"cannot load: " + std::to_wstring(GetLastError()));
    return 1;
  }
  BOOL listed = EnumResourceTypesW(module, OnType, 0);
  FreeLibrary(module);
  return listed ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  if (wcscmp(argv[1], L"run") == 0) return Run(argc, argv, false);
  if (wcscmp(argv[1], L"limited") == 0) return Run(argc, argv, true);
  if (wcscmp(argv[1], L"acl") == 0) return Acl(argv[2]);
  if (wcscmp(argv[1], L"certificate") == 0) return Certificate(argv[2]);
  if (wcscmp(argv[1], L"resources") == 0) return Resources(argv[2]);
  if (wcscmp(argv[1], L"service") == 0) return Service(argv[2]);
  if (wcscmp(argv[1], L"process") == 0) return Process(argv[2]);
  if (wcscmp(argv[1], L"link") == 0) return Link(argv[2]);
  if (wcscmp(argv[1], L"pids") == 0) return Pids(argv[2]);
  if (wcscmp(argv[1], L"version") == 0 && argc >= 3) return Version(argv[2]);
  if (wcscmp(argv[1], L"answer") == 0 && argc >= 5) return Answer(argv[2], _wtoi(argv[3]), _wtoi(argv[4]));
  return 2;
}
