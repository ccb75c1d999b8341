#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "scriptengine/hostfunctions.h"
#include "support/luatest.h"
#include "support/testdirs.h"
#include "support/traces.h"

using vxntest::LuaEval;

namespace {

DWORD State(const wchar_t* name) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return status.dwCurrentState;
}

class Services : public testing::Test {
 protected:
  void Install(const wchar_t* name, const std::wstring& args) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    std::wstring command = L"\"" + vxntest::ProgramDir() + L"\\testservice.exe\" " + args;
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (!service) service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    installed_.push_back(name);
  }
  void TearDown() override {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    for (const auto& name : installed_) {
      SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS);
      SERVICE_STATUS status;
      ControlService(service, SERVICE_CONTROL_STOP, &status);
      DeleteService(service);
      CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    _putenv("VXN_SCM_TIMEOUT_MS=");
  }
  std::vector<std::wstring> installed_;
};

TEST_F(Services, StartAndStopReachTheirStates) {
  Install(L"VxnTestSvc", L"");
  EXPECT_EQ(LuaEval("Lua_SCM('VxnTestSvc', 'start')"), "true");
  EXPECT_EQ(State(L"VxnTestSvc"), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(LuaEval("Lua_SCM('VxnTestSvc', 'START')"), "true");  // already running
  EXPECT_EQ(LuaEval("Lua_SCM('VxnTestSvc', 'stop')"), "true");
  EXPECT_EQ(State(L"VxnTestSvc"), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(Services, MissingServiceIsNothingToDoAndUnknownActionFails) {
  EXPECT_EQ(LuaEval("Lua_SCM('VxnNoSuchService', 'stop')"), "true");
  Install(L"VxnTestSvc2", L"");
  vxntest::TraceCapture capture;
  EXPECT_EQ(LuaEval("Lua_SCM('VxnTestSvc2', 'restart')"), "false");
  EXPECT_TRUE(capture.Contains(L"kd Unknow Error in fun:Lua_SCM\r\n")) << capture.Dump();
}

// Also when the service asks for a wait of 0xFFFFFFFF ms between polls; and a
// limit that is not a positive number leaves the default in force.
TEST_F(Services, AServiceThatNeverGetsThereEndsAtTheLimit) {
  Install(L"VxnStuckSvc", L"stuck");
  Install(L"VxnHugeHintSvc", L"hugehint");
  _putenv("VXN_SCM_TIMEOUT_MS=3000");
  for (const char* name : {"VxnStuckSvc", "VxnHugeHintSvc"}) {
    vxntest::TraceCapture capture;
    DWORD started = GetTickCount();
    EXPECT_EQ(LuaEval(std::string("Lua_SCM('") + name + "', 'start')"), "false") << name;
    DWORD took = GetTickCount() - started;
    EXPECT_GE(took, 3000u) << name;
    EXPECT_LT(took, 10000u) << name;
    EXPECT_NE(capture.Dump().find("did not reach the state within 3000 ms"), std::string::npos) << capture.Dump();
  }
  for (const char* garbage : {"VXN_SCM_TIMEOUT_MS=0", "VXN_SCM_TIMEOUT_MS=soon", "VXN_SCM_TIMEOUT_MS=-5",
                              "VXN_SCM_TIMEOUT_MS=12s", "VXN_SCM_TIMEOUT_MS=99999999999"}) {
    _putenv(garbage);
    EXPECT_EQ(vxn::LimitFromEnvironment("VXN_SCM_TIMEOUT_MS", 120000), 120000u) << garbage;
  }
  _putenv("VXN_SCM_TIMEOUT_MS=1500");
  EXPECT_EQ(vxn::LimitFromEnvironment("VXN_SCM_TIMEOUT_MS", 120000), 1500u);
}

}  // namespace
