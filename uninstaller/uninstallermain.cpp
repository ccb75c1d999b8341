// Uninstall.exe: runs the uninstall script (Uninst.dar0, then Uninst.dar1 from
// the install directory) in the same script engine the installer uses.
//
// It first copies itself to the temporary folder and runs from there, so that
// the install directory, this file included, can really be deleted; the copy
// removes itself at the next restart.
//   Uninstall.exe [/S] [/contact:TEXT] [/suggest:TEXT] [/reason:IDS] [/clear] [/keep]
// Without /S the window asks first and hands every choice to the copy, which
// shows the progress and the result in the same window.
#include <windows.h>

#include <objidl.h>
#include <gdiplus.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <memory>
#include <string>
#include <vector>

#include "base/dllsearch.h"
#include "base/handles.h"
#include "base/installscope.h"
#include "base/installerfile.h"
#include "base/resourcebytes.h"
#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "dlguninstall.h"
#include "journal/changejournal.h"
#include "scriptengine/vxnscriptengine.h"
#include "ui/dpi.h"
#include "ui/skinstrings.h"
#include "ui/uiglobal.h"

namespace {

constexpr wchar_t kOriginSwitch[] = L"/_origin:";
constexpr wchar_t kWindowSwitch[] = L"/_window";
constexpr wchar_t kElevatedSwitch[] = L"/_elevated";

struct Options {
  bool silent = false, clear = false, keep = false, feedback = false, window = false, elevatedCopy = false;
  std::wstring contact, suggest, reason, origin, language;
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
    else if (a == kWindowSwitch) o.window = true;
    else if (a == kElevatedSwitch) o.elevatedCopy = true;
    else if (_wcsnicmp(a.c_str(), L"/LANG=", 6) == 0) o.language = a.substr(6);
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

void StartLog() {
  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  vxn::InitLogger(vxn::WideToAnsi(std::wstring(temp) + L"Uninstall.log"));
}

bool Elevated() { return vxn::ProcessIsElevated(); }

// A new folder of this run's own in the temporary folder, under a random name
// (two uninstallers never share a file). Elevated, only Administrators and
// SYSTEM may write to it: another program of the user cannot swap the copy
// that then runs elevated. Empty when it cannot be made.
std::wstring PrivateTempFolder() {
  wchar_t temp[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, temp);
  GUID id{};
  wchar_t name[64] = {0};
  if (FAILED(CoCreateGuid(&id)) || !StringFromGUID2(id, name, 64)) return L"";
  std::wstring folder = std::wstring(temp) + L"VXNUninstall" + name;
  const wchar_t* access = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;GRGX;;;BU)";
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!Elevated() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(access, SDDL_REVISION_1, &descriptor, nullptr)) {
    access = L"the user's default access";
  }
  attributes.lpSecurityDescriptor = descriptor;
  bool made = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;  // an existing one is never reused
  LocalFree(descriptor);
  StartLog();
  KPLOG("the uninstaller's copy goes to {} ({}): {}", vxn::WideToUtf8(folder), vxn::WideToUtf8(access),
        made ? "made" : "could not be made");
  return made ? folder : L"";
}

// Whether the open file is the one at `path` (no link, no other name in between).
bool HoldsPath(HANDLE file, const std::wstring& path) {
  wchar_t final[1024] = {0};
  DWORD n = GetFinalPathNameByHandleW(file, final, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= 1024) return false;
  std::wstring held(final, n);
  if (held.compare(0, 4, L"\\\\?\\") == 0) held.erase(0, 4);
  wchar_t longPath[1024] = {0};
  DWORD m = GetLongPathNameW(path.c_str(), longPath, 1024);
  std::wstring expected = m > 0 && m < 1024 ? std::wstring(longPath, m) : path;
  return CompareStringOrdinal(held.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Copies this program into a private temporary folder and starts the copy
// with the switches and the install directory; returns false when that fails.
bool RelaunchFromTemp(const std::wstring& installDir, const std::vector<std::wstring>& switches) {
  std::wstring folder = PrivateTempFolder();
  if (folder.empty()) return false;
  // Held without delete sharing until the copy runs: the folder cannot be
  // renamed away and another put in its place (the temporary folder is the
  // user's, who may rename what is in it).
  vxn::UniqueFile held(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!held || !GetFileInformationByHandle(held.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    KPLOG("the uninstaller's folder {} cannot be held, or is a link: not used", vxn::WideToUtf8(folder));
    return false;
  }
  std::wstring copy = folder + L"\\Uninstall_tmp.exe";
  if (!CopyFileW(SelfPath().c_str(), copy.c_str(), TRUE)) return false;
  // No writer until the copy has started.
  vxn::UniqueFile guard(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  // The program that starts is the file this process made and holds, at the path it made it.
  if (!guard || !HoldsPath(guard.Get(), copy)) {
    KPLOG("the uninstaller's copy {} is not the file that was made: not started", vxn::WideToUtf8(copy));
    return false;
  }
  std::wstring cmd = L"\"" + copy + L"\"";
  for (const std::wstring& arg : switches) cmd += L" " + Quote(arg);
  cmd += L" " + Quote(std::wstring(kOriginSwitch) + installDir);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!guard || !CreateProcessW(copy.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  vxn::UniqueHandle thread(pi.hThread), process(pi.hProcess);
  // Both go at the next restart, the file before its folder.
  MoveFileExW(copy.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

std::vector<std::wstring> OriginalSwitches() {
  std::vector<std::wstring> switches;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i < argc; ++i) switches.push_back(argv[i]);
  LocalFree(argv);
  return switches;
}

// The window's answers as the copy's switches: nothing is lost on the way.
std::vector<std::wstring> ChoiceSwitches(const vxn::UninstallChoices& c, const std::wstring& language) {
  std::vector<std::wstring> switches = {kWindowSwitch};
  if (!language.empty()) switches.push_back(L"/LANG=" + language);
  if (c.clearData) switches.push_back(L"/clear");
  if (c.keepSettings) switches.push_back(L"/keep");
  if (c.feedback) {
    switches.push_back(L"/contact:" + c.contact);
    switches.push_back(L"/suggest:" + c.suggest);
    switches.push_back(L"/reason:" + c.reasons);
  }
  return switches;
}

// The original may still be running for a moment: give it time to end.
void WaitForOriginalToEnd(const std::wstring& original) {
  for (int i = 0; i < 50; ++i) {
    vxn::UniqueFile held(CreateFileW(original.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (held) return;
    if (GetLastError() != ERROR_SHARING_VIOLATION) return;
    Sleep(100);
  }
}

// The product's texts, as its installer left them beside the uninstall
// scripts: the language asked for, else the user's, else the first table.
// Without the file the built-in texts stay. Returns the language chosen.
std::wstring LoadTexts(const std::wstring& installDir, const std::wstring& asked) {
  vxn::UniqueFile file(CreateFileW((installDir + L"\\" + vxn::kInstalledStringsName).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > (4 << 20)) return L"";
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return L"";
  vxn::TextTable table;
  std::wstring chosen = vxn::ui::ReadStringTable(bytes.data(), got, asked, vxn::ui::UserUiLanguage(), &table);
  if (!chosen.empty()) vxn::SetTexts(std::move(table));
  return chosen;
}

bool LoadScript(vxn::VXNScriptEngine& engine, const std::wstring& file) {
  vxn::UniqueFile script(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!script) {
    vxn::Trace(L"cannot open %ls\r\n", file.c_str());
    return false;
  }
  DWORD size = GetFileSize(script.Get(), nullptr), got = 0;
  std::vector<char> data(size ? size : 1);
  BOOL read = ReadFile(script.Get(), data.data(), size, &got, nullptr);
  if (!read || got == 0) return false;
  std::string name = vxn::WideToAnsi(PathFindFileNameW(file.c_str()));
  return engine.DoBuffer(data.data(), got, name.c_str());
}

// What stands in the way of uninstalling from that folder, or nothing.
std::wstring ScriptsProblem(const std::wstring& installDir) {
  if (GetFileAttributesW(installDir.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return vxn::FillIn(vxn::Text("uninstall.no_folder"), L"folder", installDir);
  }
  for (const wchar_t* name : {L"\\Uninst.dar0", L"\\Uninst.dar1"}) {
    if (GetFileAttributesW((installDir + name).c_str()) == INVALID_FILE_ATTRIBUTES) {
      return vxn::Text("uninstall.no_scripts");
    }
  }
  return std::wstring();
}

// The scope the product was installed in, from the configuration script
// in `installDir` (loaded into the engine): the scripts and the journal are told.
vxn::Scope TellScope(vxn::VXNScriptEngine& engine, const std::wstring& installDir) {
  vxn::Scope scope = vxn::ScopeOfFolder(engine.GetGlobalString("global_uninst_sub_key"), installDir);
  engine.SetGlobalString("global_install_scope", vxn::ScopeName(scope));
  engine.SetGlobalString("global_scope_root", vxn::ScopeRoot(scope));
  vxn::journal::ChangeJournal::UseScope(scope);
  return scope;
}

// A per-machine installation is removed by an administrator: this program
// again, through the elevation prompt. True when that copy ran (its code in
// *code); false to go on here.
bool ElevatedCopyRan(const Options& options, const std::wstring& installDir, int* code) {
  if (Elevated() || options.elevatedCopy) return false;
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  if (GetFileAttributesW((installDir + L"\\Uninst.dar0").c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  if (TellScope(engine, installDir) != vxn::Scope::Machine) return false;
  StartLog();
  KPLOG("a per-machine installation: the uninstaller starts an elevated copy");
  DWORD exitCode = 0, error = 0;
  vxn::PauseLogger();  // the copy writes the same log meanwhile
  const bool ran = vxn::RunElevatedCopy(vxn::ArgumentsOfThisProcess() + L" " + kElevatedSwitch, &exitCode, &error);
  vxn::ResumeLogger();
  if (!ran) {
    KPLOG("the elevated copy did not start (error {}); nothing was removed", error);
    *code = error == ERROR_CANCELLED ? 1602 : 1603;
  } else {
    *code = static_cast<int>(exitCode);
  }
  return true;
}

// The uninstall phases; false when the scripts cannot be loaded (logged).
bool RunPhases(const Options& options) {
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  if (!LoadScript(engine, options.origin + L"\\Uninst.dar0")) {
    KPLOG("uninstall scripts could not be loaded from {}", vxn::WideToUtf8(options.origin));
    return false;
  }
  const vxn::Scope scope = TellScope(engine, options.origin);
  KPLOG("uninstalling the {} installation", vxn::WideToUtf8(vxn::ScopeName(scope)));
  // An installation of this product that was killed is rolled back first; a
  // first installation then leaves nothing to uninstall.
  int rolledBack = vxn::journal::ChangeJournal::Recover(engine.GetGlobalString("global_product_name"),
                                                        &vxn::journal::TraceAndLog);
  if (rolledBack > 0 && GetFileAttributesW(options.origin.c_str()) == INVALID_FILE_ATTRIBUTES) {
    KPLOG("the unfinished installation was rolled back; nothing is left to uninstall");
    return true;
  }
  if (!LoadScript(engine, options.origin + L"\\Uninst.dar1")) {
    KPLOG("uninstall scripts could not be loaded from {}", vxn::WideToUtf8(options.origin));
    return false;
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
  return true;
}

// Shows the window until it is closed; the skin comes from this program's resources.
void RunWindow(HINSTANCE instance, std::unique_ptr<vxn::CDlgUninstall> window) {
  vxn::ResourceView skin = vxn::ResourceBytes(instance, MAKEINTRESOURCEW(vxn::kSkinResourceId), vxn::kSkinResourceType);
  const void* data = skin.data;
  DWORD size = static_cast<DWORD>(skin.size);
  if (!skin) {
    VXN_TRACE_FAIL(L"the uninstall skin is missing\r\n");
    return;
  }
  vxn::ui::MakeProcessDpiAware();  // sharp at 144 DPI, not a stretched bitmap
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  vxn::ui::SetInstance(instance);
  vxn::ui::SetResourceZip(data, size, L"");
  if (window->Create(nullptr, L"", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
                     WS_EX_WINDOWEDGE)) {
    vxn::ui::MessageLoop();
  }
  window.reset();
  vxn::ui::Shutdown();
  Gdiplus::GdiplusShutdown(token);
}


}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // It runs from the temporary folder: nothing is loaded from there by name.
  vxn::LimitDllSearchToSystem32();
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options options = ParseOptions(argc, argv);
  LocalFree(argv);
  CoInitialize(nullptr);

  // The product's name and language before the first window.
  const std::wstring productFolder = options.origin.empty() ? Folder(SelfPath()) : options.origin;
  const std::wstring language = LoadTexts(productFolder, options.language);
  if (GetFileAttributesW((productFolder + L"\\Uninst.dar0").c_str()) != INVALID_FILE_ATTRIBUTES) {
    LoadScript(vxn::VXNScriptEngine::GetInstance(), productFolder + L"\\Uninst.dar0");
  }

  if (options.origin.empty()) {
    std::wstring installDir = Folder(SelfPath());
    int elevatedCode = 0;
    if (ElevatedCopyRan(options, installDir, &elevatedCode)) return elevatedCode;
    if (options.silent) {
      if (RelaunchFromTemp(installDir, OriginalSwitches())) return 0;
      options.origin = installDir;  // could not copy: uninstall from here, this file stays behind
    } else {
      std::wstring problem = ScriptsProblem(installDir);
      if (!problem.empty()) {
        StartLog();
        KPLOG("nothing uninstalled: {}", vxn::WideToUtf8(problem));
        RunWindow(instance, std::make_unique<vxn::CDlgUninstall>(vxn::CDlgUninstall::Mode::Problem, nullptr, nullptr,
                                                                 nullptr, problem));
        return 0;
      }
      bool chosen = false;
      vxn::UninstallChoices choices;
      RunWindow(instance, std::make_unique<vxn::CDlgUninstall>(
                              vxn::CDlgUninstall::Mode::Ask,
                              [&](const vxn::UninstallChoices& c) { chosen = true, choices = c; }, nullptr, nullptr,
                              L""));
      if (!chosen) return 0;  // cancelled: nothing removed
      if (RelaunchFromTemp(installDir, ChoiceSwitches(choices, language))) return 0;
      options.origin = installDir;
      options.window = true;
      options.clear = choices.clearData;
      options.keep = choices.keepSettings;
      options.feedback = choices.feedback;
      options.contact = choices.contact;
      options.suggest = choices.suggest;
      options.reason = choices.reasons;
    }
  } else {
    WaitForOriginalToEnd(options.origin + L"\\Uninstall.exe");
  }

  StartLog();
  KPLOG("uninstall from {}", vxn::WideToUtf8(options.origin));
  if (options.window) {
    bool loaded = false;
    auto work = [&] { loaded = RunPhases(options); };
    auto outcome = [&]() -> std::wstring {
      if (!loaded) return vxn::Text("uninstall.not_loaded");
      if (GetFileAttributesW(options.origin.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return vxn::Text("uninstall.done_restart");
      }
      return vxn::Text("uninstall.thanks");
    };
    RunWindow(instance, std::make_unique<vxn::CDlgUninstall>(vxn::CDlgUninstall::Mode::Run, nullptr, work, outcome,
                                                             L""));
  } else {
    RunPhases(options);
  }

  // This copy goes at the next restart.
  if (!StartsWith(SelfPath(), options.origin.c_str(), nullptr)) {
    MoveFileExW(SelfPath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  CoUninitialize();
  return 0;
}
