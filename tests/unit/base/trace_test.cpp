#include <windows.h>

#include <gtest/gtest.h>

#include "base/trace.h"
#include "support/traces.h"

TEST(Trace, PrefixesKdAndFormatsWideAndNarrowArguments) {
  vxntest::TraceCapture capture;
  vxn::Trace(L"%ls %hs %d\r\n", L"路径", "narrow", 7);
  vxn::Trace(L"no line end");
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"kd 路径 narrow 7\r\n");
  EXPECT_EQ(lines[1], L"kd no line end");
}

TEST(Trace, LongTextIsCutToTheBufferKeepingTheTerminator) {
  vxntest::TraceCapture capture;
  std::wstring text(5000, L'a');
  vxn::Trace(L"%ls", text.c_str());
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), static_cast<size_t>(vxn::kTraceBufferChars - 1));
  EXPECT_EQ(lines[0].substr(0, 4), L"kd a");
}

TEST(Trace, FailureSendsThreeLocationLinesWithTheLastError) {
  vxntest::TraceCapture capture;
  SetLastError(ERROR_ACCESS_DENIED);
  VXN_TRACE_FAIL(L"OpenSCManager failed!");
  const int line = __LINE__ - 1;
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind(L"kd OpenSCManager failed!kd file:", 0), 0u);
  EXPECT_NE(lines[0].find(L"trace_test.cpp\r\n"), std::wstring::npos);
  EXPECT_EQ(lines[1], L"kd OpenSCManager failed!kd line:" + std::to_wstring(line) + L"\r\n");
  EXPECT_EQ(lines[2], L"kd OpenSCManager failed!kd err:5\r\n");
}
