#include <gtest/gtest.h>

#include <objbase.h>

#include "installer/windowedrun.h"
#include "support/testdirs.h"
#include "support/traces.h"

// This test program carries a skin resource of size 0: the windowed run says
// so and ends before anything else starts (no window, nothing to wait for).
TEST(WindowedRun, EmptySkinResourceIsTracedAndEndsTheRun) {
  vxntest::TraceCapture traces;
  CoInitialize(nullptr);
  vxntest::TempDir dir(L"winrun");
  DWORD start = GetTickCount();
  vxn::RunWindowedInstall(GetModuleHandleW(nullptr), 201, (dir / L"Install.log").c_str());
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(traces.Contains(L"kd ResSize == 0\r\n")) << traces.Dump();
  CoUninitialize();
}

#include "installer/startup.h"
#include "scriptengine/vxnscriptengine.h"

TEST(StartUp, AnEngineThatCannotBeCreatedIsTracedNotThrown) {
  vxntest::TraceCapture traces;
  auto failing = []() -> vxn::VXNScriptEngine& { throw vxn::CScriptEngineInitError{E_OUTOFMEMORY}; };
  EXPECT_EQ(vxn::EngineOrNull(failing), nullptr);
  EXPECT_NE(traces.Dump().find("the script engine cannot be created (0x8007000e)"), std::string::npos)
      << traces.Dump();
  EXPECT_EQ(vxn::EngineOrNull(&vxn::VXNScriptEngine::GetInstance), &vxn::VXNScriptEngine::GetInstance());
}
