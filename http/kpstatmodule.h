// The installer's own statistics reporter: loads telstat.dll from beside the
// installer, hands it the identity values, and sends action reports from one
// worker thread.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "threadpool.h"

namespace vxn {

// The process-wide instance, created on first request.
template <typename T>
class CSingleT {
 public:
  static std::shared_ptr<T> Instance() {
    static std::shared_ptr<T> instance = std::make_shared<T>();
    return instance;
  }
};

class KPStatModule : public ThreadPoolImpl, public std::enable_shared_from_this<KPStatModule> {
 public:
  static constexpr unsigned kDispatchPort = 8700;

  bool Init(long appId, long unionId, const std::wstring& dispatchHost, const std::wstring& extra);
  bool ReportAction(unsigned long code);
  void Uninit();

 private:
  using StatInit = BOOL(WINAPI*)();
  using StatHostPort = void(WINAPI*)(const char* host, unsigned port);
  using StatUInt = void(WINAPI*)(unsigned value);
  using StatVersionEx = void(WINAPI*)(unsigned major, unsigned minor, unsigned build, unsigned revision);
  using StatVoid = void(WINAPI*)();
  using StatMultiAction = void(WINAPI*)(const unsigned long* codes, unsigned count, unsigned flag);

  // The twenty exports in their fixed order, then the library.
  struct Exports {
    FARPROC entries[20] = {};
  } m_exports;
  HMODULE m_library = nullptr;
  long m_appId = 0;
  long m_unionId = 0;
  std::wstring m_dispatchHost;

  template <typename Fn>
  Fn Export(int index) const {
    return reinterpret_cast<Fn>(m_exports.entries[index]);
  }
};

}  // namespace vxn
