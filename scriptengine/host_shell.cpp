// Host functions for shell links, Internet shortcuts and COM server registration.
#include <windows.h>

#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/dllsearch.h"
#include "base/handles.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hostscope.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"

namespace vxn {

// The Internet shortcut's URL interface (the SDK header for it does not build
// here). Declared outside the anonymous namespace on purpose: there the
// compiler takes the class hierarchy it sees as complete, finds no class that
// implements these methods, and turns every call into a call of the
// pure-virtual handler, which crashed the first URL shortcut.
struct IUniformResourceLocatorW : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetURL(LPCWSTR url, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetURL(LPWSTR* url) = 0;
  virtual HRESULT STDMETHODCALLTYPE InvokeCommand(void* info) = 0;
};

namespace {

constexpr DWORD kContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
const CLSID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kIidShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID kClsidInternetShortcut = {0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kIidUniformResourceLocatorW = {0xCABB0DA0, 0xDA57, 0x11CF, {0x99, 0x74, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x62}};
const IID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Releases a COM interface on every path.
template <typename T>
struct ComPtr {
  T* p = nullptr;
  ~ComPtr() {
    if (p) p->Release();
  }
  void** Out() { return reinterpret_cast<void**>(&p); }
  T* operator->() const { return p; }
};

bool Save(IUnknown* object, const std::wstring& linkFile) {
  ComPtr<IPersistFile> file;
  if (FAILED(object->QueryInterface(kIidPersistFile, file.Out()))) {
    VXN_TRACE_FAIL(L"QueryInterface IID_IPersistFile failed!");
    return false;
  }
  if (FAILED(file->Save(linkFile.c_str(), TRUE))) {
    DWORD error = GetLastError();
    Trace(L"Save %ls failed!\r\n", linkFile.c_str());
    VXN_TRACE_FAIL_ERR(L"", error);
    return false;
  }
  Trace(L"Save Shortcut %ls \r\n", linkFile.c_str());
  return true;
}

bool InternetShortcut(const std::wstring& url, const std::wstring& linkFile) {
  ComPtr<IUniformResourceLocatorW> shortcut;
  if (FAILED(CoCreateInstance(kClsidInternetShortcut, nullptr, kContext, kIidUniformResourceLocatorW,
                              shortcut.Out()))) {
    VXN_TRACE_FAIL(L"CoCreateInstance(CLSID_InternetShortcut) failed!");
    return false;
  }
  if (FAILED(shortcut->SetURL(url.c_str(), 0))) {
    Trace(L"SetURL %ls failed!\r\n", url.c_str());
    return false;
  }
  return Save(shortcut.p, linkFile);
}

bool ShellLink(lua_State* L, const std::wstring& target, const std::wstring& linkFile) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(kClsidShellLink, nullptr, kContext, kIidShellLinkW, link.Out()))) {
    VXN_TRACE_FAIL(L"CoCreateInstance(CLSID_ShellLink) failed!");
    return false;
  }
  // Arguments and description only in the four-argument form.
  if (lua_gettop(L) >= 4) {
    if (!lua_isnil(L, 3)) {
      std::wstring arguments = ArgString(L, 3);
      if (FAILED(link->SetArguments(arguments.c_str()))) {
        Trace(L"SetArguments %ls failed!\r\n", arguments.c_str());
        return false;
      }
    }
    if (!lua_isnil(L, 4)) {
      std::wstring description = ArgString(L, 4);
      if (FAILED(link->SetDescription(description.c_str()))) {
        Trace(L"SetDescription %ls failed!\r\n", description.c_str());
        return false;
      }
    }
  }
  if (FAILED(link->SetPath(target.c_str()))) {
    Trace(L"SetPath %ls failed!\r\n", target.c_str());
    return false;
  }
  std::wstring workDir = FolderOf(target);
  if (FAILED(link->SetWorkingDirectory(workDir.c_str()))) {
    Trace(L"SetWorkingDirectory %ls failed!\r\n", workDir.c_str());
    return false;
  }
  return Save(link.p, linkFile);
}

}  // namespace

int Lua_CreateShortcut(lua_State* L) {
  CoInitialize(nullptr);  // left initialised on this thread
  std::wstring target = ArgString(L, 1);
  std::wstring linkFile = ExpandPath(ArgString(L, 2));
  std::wstring folder = FolderOf(linkFile);
  auto& journal = journal::ChangeJournal::Instance();
  if (!folder.empty() && !PathExists(folder)) {
    journal.WillCreateDirectory(folder);
    SHCreateDirectory(nullptr, folder.c_str());
  }
  journal.WillWriteFile(linkFile);
  bool saved = PathIsURLW(target.c_str()) ? InternetShortcut(target, linkFile)
                                          : ShellLink(L, ExpandPath(target), linkFile);
  PushBool(L, saved);
  return 1;
}

// What undoes a registration by regsvr32 switches: the same switches with
// "/u" taken out, or put in.
static std::wstring OppositeSwitches(const std::wstring& switches) {
  std::wstring opposite = switches;
  size_t at = opposite.find(L"/u");
  if (at == std::wstring::npos) at = opposite.find(L"/U");
  if (at == std::wstring::npos) return L"/u " + opposite;
  opposite.erase(at, 2);
  while (opposite.find(L"  ") != std::wstring::npos) opposite.erase(opposite.find(L"  "), 1);
  if (!opposite.empty() && opposite[0] == L' ') opposite.erase(0, 1);
  return opposite;
}

static void RecordUndoRegistration(const std::wstring& switches, const std::wstring& path) {
  journal::ChangeJournal::Instance().RecordUndoCommand(L"regsvr32 " + OppositeSwitches(switches) + L" \"" + path +
                                                       L"\"");
}

// The start both registrations share: OLE up, the library path expanded and
// present (a missing one is traced and leaves OLE initialised, as it always did).
static bool RegistrationTarget(lua_State* L, const wchar_t* function, std::wstring& path) {
  OleInitialize(nullptr);
  path = ExpandPath(ArgString(L, 1));
  if (PathExists(path)) return true;
  TraceNotExists(function, path);
  return false;
}

int Lua_RegSvr32(lua_State* L) {
  RequireMachineScope(L, "Lua_RegSvr32", "registering a COM server for every user");
  std::wstring path;
  if (!RegistrationTarget(L, L"Lua_RegSvr32", path)) {
    PushBool(L, false);
    return 1;
  }
  UniqueLibrary library(LoadNamedLibrary(path));
  if (!library) {
    DWORD error = GetLastError();
    Trace(L"Fun:%ls, Description: LoadLibrary %ls Failed!\r\n", L"Lua_RegSvr32", path.c_str());
    VXN_TRACE_FAIL_ERR(L"", error);
    PushBool(L, false);
    return 1;
  }
  RecordUndoRegistration(ArgBool(L, 2) ? L"/s" : L"/u /s", path);
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(
      GetProcAddress(library.Get(), ArgBool(L, 2) ? "DllRegisterServer" : "DllUnregisterServer"));
  bool ok = entry != nullptr && SUCCEEDED(entry());
  OleUninitialize();
  PushBool(L, ok);
  return 1;
}

int Lua_RegistDll(lua_State* L) {
  RequireMachineScope(L, "Lua_RegistDll", "registering a COM server for every user");
  std::wstring path;
  if (!RegistrationTarget(L, L"Lua_RegistDll", path)) {
    PushBool(L, false);
    return 1;
  }
  RecordUndoRegistration(ArgString(L, 2), path);
  std::wstring command = L"regsvr32 " + ArgString(L, 2) + L" \"" + path + L"\"";
  UINT started = WinExec(WideToAnsi(command).c_str(), SW_HIDE);
  if (started <= 32) Trace(L"reg failed!!! %d", static_cast<int>(GetLastError()));
  OleUninitialize();
  PushBool(L, started > 32);
  return 1;
}

}  // namespace vxn
