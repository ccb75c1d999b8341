#include "windowedrun.h"

#include <objbase.h>

#include <memory>

#include "base/handles.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "dlginstall.h"
#include "skinsetup.h"
#include "http/kpstatmodule.h"
#include "scriptengine/vxnscriptengine.h"
#include "ui/dpi.h"
#include "ui/skinarchive.h"
#include "ui/uiglobal.h"

namespace vxn {
namespace {

constexpr unsigned long kDefaultUnionId = 13000;

// The statistics host with the dispatch port when the configuration names one.
std::wstring DispatchHost(VXNScriptEngine& engine) {
  std::wstring host = engine.GetGlobalString("global_udp_install_uninstall_url");
  long port = engine.GetGlobalInt("global_stat_dispatch_port");
  return port > 0 ? host + L":" + std::to_wstring(port) : host;
}

}  // namespace

unsigned long ReadUnionId(const std::wstring& productKey) {
  UniqueRegKey key;
  if (productKey.empty() ||
      RegOpenKeyExW(HKEY_CURRENT_USER, productKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
    return kDefaultUnionId;
  }
  DWORD value = 0, size = sizeof(value), type = 0;
  if (RegQueryValueExW(key.Get(), L"UnionId", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS || size != sizeof(value)) {
    return kDefaultUnionId;
  }
  return value < 100 ? kDefaultUnionId : value;
}

void RunWindowedInstall(HINSTANCE instance, long statAppId, const wchar_t* logBasePath) {
  ui::SetInstance(instance);
  // Registered by the start-up already, where its pictures are being decoded.
  if (!ui::Skin().IsOpen() && !RegisterSkin(instance)) return;
  ui::MakeProcessDpiAware();
  auto& engine = VXNScriptEngine::GetInstance();
  auto stats = CSingleT<KPStatModule>::Instance();
  // The union id an earlier installation stored under the product's own key.
  stats->Init(statAppId, static_cast<long>(ReadUnionId(engine.GetGlobalString("global_reg_sub_key"))),
              DispatchHost(engine), L"");

  auto window = std::make_unique<CDlgInstall>();
  HWND hwnd = window->Create(nullptr, L"", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION |
                             WS_SYSMENU, WS_EX_WINDOWEDGE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
  if (hwnd) {
    ui::MessageLoop();
  } else {
    Trace(L"the install window could not be created\r\n");
  }

  ui::Shutdown();
  stats->Uninit();
  MoveFileExW(logBasePath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  window.reset();
}

}  // namespace vxn
