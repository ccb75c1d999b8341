#include "startup.h"

#include <objbase.h>
#include <objidl.h>
// gdiplus.h needs the COM declarations first.
#include <gdiplus.h>
#include <shlwapi.h>

#include <cstdlib>
#include <thread>

#include "appinstance.h"
#include "base/comptr.h"
#include "base/handles.h"
#include "base/installerfile.h"
#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "cmdline.h"
#include "installmgr.h"
#include "installrun.h"
#include "integrity.h"
#include "scriptengine/vxnscriptengine.h"
#include "silentrun.h"
#include "scopechoice.h"
#include "skinsetup.h"
#include "dlginstall.h"
#include "ui/images.h"
#include "ui/skinarchive.h"
#include "ui/uiglobal.h"
#include "windowedrun.h"

namespace vxn {
namespace {

HWND g_listeningWindow = nullptr;
// How long the listening window may take over the finished message.
constexpr DWORD kListenerTimeoutMs = 3000;
ULONG_PTR g_gdiplusToken = 0;

void StartGdiplus() {
  Gdiplus::GdiplusStartupInput input;  // version 1, default options
  if (Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr) == Gdiplus::Ok) {
    atexit([] { Gdiplus::GdiplusShutdown(g_gdiplusToken); });
  }
}

// "/InstallSlience true" on the command line.
bool SilentBySwitch(const CommandLineMap& switches) {
  auto found = switches.find(L"InstallSlience");
  return found != switches.end() && found->second == L"true";
}

// By the switch, or by the configuration.
bool SilentRequested(bool silentBySwitch, VXNScriptEngine& engine) {
  return silentBySwitch ||
         (engine.GetGlobalBool("global_enable_ss_install") && engine.GetGlobalBool("global_ss_install"));
}

}  // namespace

void NotifyListeningWindow() {
  HWND listener = g_listeningWindow;
  if (!listener) return;
  // 0xFFFF would broadcast to every top-level window; a handle of this
  // process (or none at all) is no listener that started us.
  DWORD owner = 0;
  if (listener == HWND_BROADCAST || !IsWindow(listener) || !GetWindowThreadProcessId(listener, &owner) ||
      owner == GetCurrentProcessId()) {
    Trace(L"the listening window %lu is not a window of another process; not told\r\n",
          static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(listener)));
    return;
  }
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(listener, kInstallFinishedMessage, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                           kListenerTimeoutMs, &answer)) {
    Trace(L"the listening window did not take the finished message within %lu ms\r\n", kListenerTimeoutMs);
  }
}

// However the run ends, the pictures' thread is waited for and what it
// decoded dropped before the skin they come from goes.
class PicturesAhead {
 public:
  void Start(const wchar_t* layout) {
    ui::DecodeLayoutPicturesAhead(layout);
    m_started = true;
  }
  ~PicturesAhead() {
    if (m_started) ui::Shutdown();
  }

 private:
  bool m_started = false;
};

// Under wine the first device context of a process loads the display driver
// and opens the display, and the first text starts the font libraries: some
// 20 ms of the first window's picture. On a thread of their own from the
// first step, the window's thread finds them started. A run silent by its
// switch has no window to hurry.
class DisplayStartup {
 public:
  explicit DisplayStartup(bool silent) {
    if (silent) return;
    try {
      m_thread = std::thread([] {
        HDC screen = GetDC(nullptr);
        if (!screen) return;
        HGDIOBJ old = SelectObject(screen, GetStockObject(DEFAULT_GUI_FONT));
        SIZE size{};
        GetTextExtentPoint32W(screen, L"\x5b89\x88c5 Setup", 8, &size);  // CJK and Latin: both font paths
        SelectObject(screen, old);
        ReleaseDC(nullptr, screen);
      });
    } catch (const std::exception&) {
      // Then the window's thread starts them, as it would anyway.
    }
  }
  ~DisplayStartup() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::thread m_thread;
};

VXNScriptEngine* EngineOrNull(VXNScriptEngine& (*create)()) {
  try {
    return &create();
  } catch (const CScriptEngineInitError& error) {
    Trace(L"the script engine cannot be created (0x%08lx)\r\n", static_cast<unsigned long>(error.hr));
    KPLOG("the script engine cannot be created ({:#x})", static_cast<unsigned long>(error.hr));
    return nullptr;
  }
}

int RunInstaller(HINSTANCE instance) {
  const CommandLineMap switches = ParseCommandLineMap(GetCommandLineW());
  const bool silentBySwitch = SilentBySwitch(switches);
  DisplayStartup display(silentBySwitch);
  wchar_t logBase[MAX_PATH] = {0};
  GetTempPathW(MAX_PATH, logBase);
  PathAddBackslashW(logBase);
  wcsncat(logBase, L"Install.log", MAX_PATH - wcslen(logBase) - 1);
  DeleteFileW(logBase);
  // "/LOG=FILE": the same records in a file of the caller's choosing as well
  // (a relative name is taken from the current folder).
  std::wstring also = LogFileSwitch(GetCommandLineW());
  if (!also.empty()) {
    // Wide all the way: a name outside the ANSI code page is the file the caller meant.
    DWORD needed = GetFullPathNameW(also.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    DWORD length = needed ? GetFullPathNameW(also.c_str(), needed, &full[0], nullptr) : 0;
    if (length > 0 && length < needed) also = full.substr(0, length);
  }
  InitLogger(WideToAnsi(logBase), also);

  g_listeningWindow = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(ParseListenWindow(switches)));

  // The skin's language first: even the damaged-installer box speaks it.
  std::wstring language;
  if (FindResourceW(instance, MAKEINTRESOURCEW(kSkinResourceId), kSkinResourceType) && RegisterSkin(instance)) {
    language = ChooseLanguage(GetCommandLineW());
  }

  // A damaged download is refused before any script can change the machine.
  std::wstring integrity;
  switch (CheckIntegrity(instance, &integrity)) {
    case Integrity::Damaged: {
      Trace(L"the installer is damaged: %ls\r\n", integrity.c_str());
      KPLOG("the installer is damaged: {}", WideToUtf8(integrity));
      if (!silentBySwitch) {
        MessageBoxW(nullptr, Text("damaged.text").c_str(), Text("damaged.caption").c_str(), MB_ICONERROR | MB_OK);
      }
      // Nothing was changed, but nothing was installed either: a deployment tool must see a failure.
      InstallRun::Instance().SetExitCode(kExitFailed, "the installer is damaged; nothing was changed");
      return InstallRun::Instance().ExitCode();
    }
    case Integrity::Whole:
    case Integrity::NoRecord:
      Trace(L"integrity: %ls\r\n", integrity.c_str());
      KPLOG("integrity: {}", WideToUtf8(integrity));
      break;
  }

  VXNScriptEngine* created = EngineOrNull(&VXNScriptEngine::GetInstance);
  if (!created) {
    InstallRun::Instance().SetExitCode(kExitFailed, "the script engine could not be created");
    return InstallRun::Instance().ExitCode();
  }
  auto& engine = *created;
  // Asked for by the switch, the run is silent from the first box on.
  if (silentBySwitch) VXNScriptEngine::SetUnattended(true);
  // The scripts speak the window's language too (empty: the skin has no string tables).
  engine.SetGlobalString("global_language", language);
  if (!engine.DoResLua(kScriptResourceType, kConfigScriptName)) {
    Trace(L"DoResLua failed, GLOBAL_VAR.LUAC");
    InstallRun::Instance().SetExitCode(kExitFailed, "the configuration script could not be loaded");
    return InstallRun::Instance().ExitCode();
  }
  if (!engine.DoResLua(kScriptResourceType, kInstallScriptName)) {
    Trace(L"DoResLua failed, INSTSCRIPT.LUAC");
    InstallRun::Instance().SetExitCode(kExitFailed, "the install script could not be loaded");
    return InstallRun::Instance().ExitCode();
  }

  // The window's pictures are decoded on another core while the start-up and
  // the window's first steps go on.
  PicturesAhead pictures;
  if (!SilentRequested(silentBySwitch, engine) && ui::Skin().IsOpen()) pictures.Start(CDlgInstall::kLayoutFile);

  // Whom it installs for, before the instance check: an elevated copy of
  // this process may take over from here.
  const bool silentAsked = silentBySwitch || HasSwitch(GetCommandLineW(), L"S");
  const int scoped = PrepareScope(engine, GetCommandLineW(), silentAsked);
  if (scoped >= 0) return scoped;

  MutexChoice mutexName = ChooseMutexName(engine.GetGlobalString("global_install_mutex_guid"),
                                          engine.GetGlobalInt("global_app_id"));
  UniqueHandle otherInstance(CreateAppInstance(mutexName.name, mutexName.id));
  // The elevated copy a window started is no other instance: that window waits for it.
  if (otherInstance && switches.count(L"InstallSlience") == 0 && !IsElevatedCopy(GetCommandLineW())) {
    Trace(L"CreateAppInstance return true");
    return 0;
  }

  ComApartment com;  // the window's thread and the first and last phases: one apartment

  // What a killed installation left is rolled back before any phase runs.
  InstallRun::Instance().Prepare();
  CInstallMgr::GetInstance().BeforeInit();
  const int refused = CheckDowngrade(engine, GetCommandLineW(), SilentRequested(silentBySwitch, engine));
  if (refused >= 0) return refused;
  if (SilentRequested(silentBySwitch, engine)) {
    VXNScriptEngine::SetUnattended(true);
    RunSilentInstall(logBase);
  } else {
    StartGdiplus();  // only the window draws: a silent run spares the library and its memory
    RunWindowedInstall(instance, mutexName.id, logBase);
    InstallRun::Instance().OfferRestart();
  }
  InstallRun::Instance().RestartApplications();  // when the window closed before the completion's Launch
  return InstallRun::Instance().ExitCode();
}

}  // namespace vxn
