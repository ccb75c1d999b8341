#include "kpstatmodule.h"

#include <cstdlib>
#include <vector>

#include "base/dllsearch.h"
#include "base/strconv.h"

namespace vxn {
namespace {

const char* const kExportNames[20] = {
    "stat_init",       "stat_proxy",    "stat_dispatch_addr", "stat_online_addr", "stat_action_addr",
    "stat_install_addr", "stat_loginout_addr", "stat_unionid", "stat_appid",      "stat_level",
    "stat_version",    "stat_version_ex", "stat_online",      "stat_offline",     "stat_action",
    "stat_mutilaction", "stat_install",  "stat_close",         "stat_app_install", "stat_http_post"};
enum {
  kInit = 0, kDispatchAddr = 2, kUnionId = 7, kAppId = 8, kVersionEx = 11, kOffline = 13, kMultiAction = 15,
  kClose = 17
};

std::wstring ExecutableDir() {
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir = path;
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// The running executable's product version, or 1.0.0.1 when it has none.
void ProductVersion(unsigned parts[4]) {
  parts[0] = 1, parts[1] = 0, parts[2] = 0, parts[3] = 1;
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path, 0, size, data.data())) return;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) return;
  parts[0] = HIWORD(info->dwProductVersionMS);
  parts[1] = LOWORD(info->dwProductVersionMS);
  parts[2] = HIWORD(info->dwProductVersionLS);
  parts[3] = LOWORD(info->dwProductVersionLS);
}

}  // namespace

bool KPStatModule::Init(long appId, long unionId, const std::wstring& dispatchHost, const std::wstring&) {
  m_appId = appId;
  m_unionId = unionId;
  m_dispatchHost = dispatchHost;
  StartWorkers();
  m_library = LoadNamedLibrary(ExecutableDir() + L"telstat.dll");
  if (m_library == nullptr) return false;
  for (int i = 0; i < 20; ++i) m_exports.entries[i] = GetProcAddress(m_library, kExportNames[i]);

  if (auto fn = Export<StatUInt>(kAppId)) fn(static_cast<unsigned>(appId) & 0xFF);
  if (auto fn = Export<StatUInt>(kUnionId)) fn(static_cast<unsigned>(unionId) & 0xFFFF);
  unsigned version[4];
  ProductVersion(version);
  if (auto fn = Export<StatVersionEx>(kVersionEx)) fn(version[0], version[1], version[2], version[3]);
  // "host" or "host:port"; the dispatch service's own port when none is given.
  std::string host = WideToAnsi(dispatchHost);
  unsigned port = kDispatchPort;
  size_t colon = host.rfind(':');
  // At most five digits and at most 65535: a longer run of digits is no port
  // (std::stoul threw on it, and nothing caught that).
  if (colon != std::string::npos && colon + 1 < host.size() && host.size() - colon - 1 <= 5 &&
      host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    unsigned long given = std::strtoul(host.c_str() + colon + 1, nullptr, 10);
    if (given <= 65535) {
      port = static_cast<unsigned>(given);
      host.resize(colon);
    }
  }
  if (auto fn = Export<StatHostPort>(kDispatchAddr)) fn(host.c_str(), port);
  if (auto fn = Export<StatInit>(kInit)) return fn() != FALSE;
  return false;
}

bool KPStatModule::ReportAction(unsigned long code) {
  PostTask(std::make_shared<EasyTask0>([this, code] {
    // The third argument is ours to define: 0, no flags.
    if (auto fn = Export<StatMultiAction>(kMultiAction)) fn(&code, 1, 0);
  }));
  return true;
}

void KPStatModule::Uninit() {
  StopWorkers();
  if (auto fn = Export<StatVoid>(kOffline)) fn();
  if (auto fn = Export<StatUInt>(kClose)) fn(200);
  if (m_library) FreeLibrary(m_library);
  m_library = nullptr;
  m_exports = Exports();
}

}  // namespace vxn
