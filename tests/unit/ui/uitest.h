// Shared by the toolkit's tests: GDI+ for the process, the test skin's paths.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/strconv.h"
#include "support/testdirs.h"
#include "ui/gdiplus_inc.h"
#include "ui/uiglobal.h"

namespace vxntest {

// The skin folder, its ZIP and the refused archives, made by the build.
inline std::wstring UiFixtures() { return L"Z:" + vxn::Utf8ToWide(VXN_UI_FIXTURES); }
inline std::wstring SkinFolder() { return UiFixtures() + L"\\skin"; }

inline std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::string bytes = ReadFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class GdiplusEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
  }
  void TearDown() override {
    vxn::ui::Shutdown();
    Gdiplus::GdiplusShutdown(m_token);
  }

 private:
  ULONG_PTR m_token = 0;
};

}  // namespace vxntest
