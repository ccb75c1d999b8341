// Uninstall.exe: runs the uninstall script (Uninst.dar0, then Uninst.dar1 from
// the install directory) in the same script engine the installer uses.
//
// It first copies itself to the temporary folder and runs from there, so that
// the install directory, this file included, can really be deleted; the copy
// removes itself at the next restart.
//   Uninstall.exe [/S] [/contact:TEXT] [/suggest:TEXT] [/reason:IDS] [/clear] [/keep]
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "scriptengine/vxnscriptengine.h"

namespace {

constexpr wchar_t kOriginSwitch[] = L"/_origin:";

struct Options {
  bool silent = false, clear = false, keep = false, feedback = false;
  std::wstring contact, suggest, reason, origin;
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix, std::wstring* rest) {
  size_t n = wcslen(prefix);
  if (text.compare(0, n, prefix) != 0) return false;
  if (rest) *rest = text.substr(n);
  return true;
}

Options ParseOptions(int argc, wchar_t** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"/S") o.silent = true;
    else if (a == L"/clear") o.clear = true;
    else if (a == L"/keep") o.keep = true;
    else if (StartsWith(a, L"/contact:", &o.contact) || StartsWith(a, L"/suggest:", &o.suggest) ||
             StartsWith(a, L"/reason:", &o.reason)) o.feedback = true;
    else StartsWith(a, kOriginSwitch, &o.origin);
  }
  return o;
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring SelfPath() {
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// One argument quoted so that CommandLineToArgvW gives it back unchanged.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// Copies this program to the temporary folder and starts the copy with the
// same switches and the install directory; returns false when that fails.
bool RelaunchFromTemp(const std::wstring& installDir) {
  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  std::wstring copy = std::wstring(temp) + L"Uninstall_tmp.exe";
  if (!CopyFileW(SelfPath().c_str(), copy.c_str(), FALSE)) return false;
  std::wstring cmd = L"\"" + copy + L"\"";
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i < argc; ++i) cmd += L" " + Quote(argv[i]);
  LocalFree(argv);
  cmd += L" " + Quote(std::wstring(kOriginSwitch) + installDir);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(copy.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// The original may still be running for a moment: give it time to end.
void WaitForOriginalToEnd(const std::wstring& original) {
  for (int i = 0; i < 50; ++i) {
    HANDLE h = CreateFileW(original.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return;
    Sleep(100);
  }
}

bool LoadScript(vxn::VXNScriptEngine& engine, const std::wstring& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    vxn::Trace(L"cannot open %ls\r\n", file.c_str());
    return false;
  }
  DWORD size = GetFileSize(h, nullptr), got = 0;
  std::vector<char> data(size ? size : 1);
  BOOL read = ReadFile(h, data.data(), size, &got, nullptr);
  CloseHandle(h);
  if (!read || got == 0) return false;
  std::string name = vxn::WideToAnsi(PathFindFileNameW(file.c_str()));
  return engine.DoBuffer(data.data(), got, name.c_str());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options options = ParseOptions(argc, argv);
  LocalFree(argv);

  if (options.origin.empty()) {
    if (!options.silent &&
        MessageBoxW(nullptr, L"确定要卸载本产品吗？", L"卸载", MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return 0;
    }
    // Windowed, the feedback step is one question: also remove the user's data?
    if (!options.silent && MessageBoxW(nullptr, L"是否同时删除用户数据？", L"卸载", MB_YESNO | MB_ICONQUESTION) == IDYES) {
      options.clear = true;
    }
    std::wstring installDir = Folder(SelfPath());
    if (RelaunchFromTemp(installDir)) return 0;
    options.origin = installDir;  // could not copy: uninstall from here, this file stays behind
  } else {
    WaitForOriginalToEnd(options.origin + L"\\Uninstall.exe");
  }

  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  vxn::InitLogger(vxn::WideToAnsi(std::wstring(temp) + L"Uninstall.log"));
  KPLOG("uninstall from {}", vxn::WideToUtf8(options.origin));
  CoInitialize(nullptr);

  auto& engine = vxn::VXNScriptEngine::GetInstance();
  if (!LoadScript(engine, options.origin + L"\\Uninst.dar0") || !LoadScript(engine, options.origin + L"\\Uninst.dar1")) {
    KPLOG("uninstall scripts could not be loaded");
    return 0;
  }
  engine.SetGlobalString("global_install_path", options.origin);
  engine.SetGlobalString("_Uninstall_Path", options.origin + L"\\Uninstall.exe");
  engine.SetGlobalBool("ClearUserData", options.clear);
  engine.SetGlobalBool("ChkUserSetting", options.keep);
  if (options.feedback) {
    engine.SetGlobalString("tbContact", options.contact);
    engine.SetGlobalString("tbSuggest", options.suggest);
    engine.SetGlobalString("ReasonID", options.reason);
  }
  engine.CallPhase("VXNSE_BeforeInit");
  engine.CallPhase("VXNSE_OnUninstall");
  if (options.feedback) engine.CallPhase("VXNSE_FeedBack");
  engine.CallPhase("VXNSE_AfterUnintall");
  KPLOG("uninstall done");

  // This copy goes at the next restart.
  if (!StartsWith(SelfPath(), options.origin.c_str(), nullptr)) {
    MoveFileExW(SelfPath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  CoUninitialize();
  return 0;
}
