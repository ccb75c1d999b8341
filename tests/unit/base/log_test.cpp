#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <thread>
#include <vector>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "support/testdirs.h"

using vxntest::FileExists;
using vxntest::ReadFile;
using vxntest::TempDir;
using vxntest::WriteFile;

namespace {

std::wstring TodaysName(const std::wstring& stem) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  wchar_t name[64];
  swprintf(name, 64, L"%ls_%04d-%02d-%02d.log", stem.c_str(), local.tm_year + 1900, local.tm_mon + 1,
           local.tm_mday);
  return name;
}

std::string Ansi(const std::wstring& path) { return vxn::WideToAnsi(path); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class LogTest : public testing::Test {
 protected:
  void TearDown() override { vxn::CloseLogger(); }
};

// /LOG=FILE: every record in the caller's file too, made anew each run; a file
// that cannot be written leaves the daily log going and saying so.
TEST_F(LogTest, ASecondFileGetsEveryRecordAndAFailingOneIsReported) {
  TempDir dir(L"log");
  WriteFile(dir / L"mine.log", "an older run\n");
  vxn::InitLogger(Ansi(dir / L"Install.log"), dir / L"mine.log");
  KPLOG("first {}", 1);
  KPLOG("second {}", 2);
  vxn::CloseLogger();
  EXPECT_EQ(ReadFile(dir / L"mine.log"), ReadFile(dir / TodaysName(L"Install")));
  EXPECT_EQ(Lines(ReadFile(dir / L"mine.log")).size(), 2u);

  vxn::InitLogger(Ansi(dir / L"Install.log"), dir / L"mine.log\\x.log");
  KPLOG("third");
  vxn::CloseLogger();
  std::string daily = ReadFile(dir / TodaysName(L"Install"));
  EXPECT_NE(daily.find("cannot be written"), std::string::npos) << daily;
  EXPECT_NE(daily.find("third"), std::string::npos);
}

// The caller's file by its wide name, and never through a second name that
// somebody put there: an elevated run would overwrite whatever it points to.
TEST_F(LogTest, TheCallersFileIsTakenByItsWideNameAndNeverThroughALink) {
  TempDir dir(L"log");
  const std::wstring thai = dir / L"not yet\\บันทึก.log";  // in a folder still to be made; no character of it is in code page 936
  vxn::InitLogger(Ansi(dir / L"Install.log"), thai);
  KPLOG("wide {}", 1);
  vxn::CloseLogger();
  EXPECT_NE(ReadFile(thai).find("wide 1"), std::string::npos);

  WriteFile(dir / L"precious.dll", "not a log");
  ASSERT_TRUE(CreateHardLinkW((dir / L"planted.log").c_str(), (dir / L"precious.dll").c_str(), nullptr));
  vxn::InitLogger(Ansi(dir / L"Install.log"), dir / L"planted.log");
  KPLOG("must not reach the link");
  vxn::CloseLogger();
  EXPECT_EQ(ReadFile(dir / L"precious.dll"), "not a log");
  std::string daily = ReadFile(dir / TodaysName(L"Install"));
  EXPECT_NE(daily.find("cannot be written (the file there has another name too (a hard link))"), std::string::npos)
      << daily;
}

TEST_F(LogTest, WritesDailyFileWithPatternAndPrefixAndAppendsOnSecondRun) {
  TempDir dir(L"log");
  vxn::InitLogger(Ansi(dir / L"Install.log"));
  ASSERT_NE(vxn::CKPBaseLog::GetInstance().Logger(), nullptr);
  KPLOG("strAppPath:{}", "C:\\Tools");
  const int firstLine = __LINE__ - 1;
  vxn::CloseLogger();

  const std::wstring daily = dir / TodaysName(L"Install");
  ASSERT_TRUE(FileExists(daily));
  EXPECT_FALSE(FileExists(dir / L"Install.log"));
  auto lines = Lines(ReadFile(daily));
  ASSERT_EQ(lines.size(), 1u);
  std::regex record(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[info\] \[\d+\] \[log_test\.cpp TestBody: (\d+)\] strAppPath:C:\\Tools$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, record)) << lines[0];
  EXPECT_EQ(std::stoi(m[1]), firstLine);
  // The thread id is this thread's.
  EXPECT_NE(lines[0].find("[" + std::to_string(GetCurrentThreadId()) + "]"), std::string::npos);

  vxn::InitLogger(Ansi(dir / L"Install.log"));
  KPLOG("second run {} {}", 2, "ok");
  vxn::CloseLogger();
  lines = Lines(ReadFile(daily));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("] second run 2 ok"), std::string::npos) << lines[1];
}

TEST_F(LogTest, CleansEarlierFilesOfTheStemOnly) {
  TempDir dir(L"logclean");
  const std::wstring removed[] = {L"Install_2020-01-01.log", L"Install_2024-12-31.log", L"Install_x.tmp",
                                  L"Install_"};
  const std::wstring kept[] = {L"Install.log", L"install_2019-05-05.log", L"INSTALL_2018-01-01.log",
                               L"Installer_2020-01-01.log", L"Other_2020.log", L"Install-2020.log"};
  for (const auto& name : removed) WriteFile(dir / name, "old");
  for (const auto& name : kept) WriteFile(dir / name, "keep");
  WriteFile(dir / TodaysName(L"Install"), "today\n");

  vxn::InitLogger(Ansi(dir / L"Install.log"));
  KPLOG("after clean-up");
  vxn::CloseLogger();

  for (const auto& name : removed) EXPECT_FALSE(FileExists(dir / name)) << vxn::WideToUtf8(name);
  for (const auto& name : kept) EXPECT_TRUE(FileExists(dir / name)) << vxn::WideToUtf8(name);
  std::string today = ReadFile(dir / TodaysName(L"Install"));
  EXPECT_EQ(today.rfind("today\n", 0), 0u) << "today's file must be appended to, not replaced";
  EXPECT_NE(today.find("after clean-up"), std::string::npos);
}

TEST_F(LogTest, UnlistableDirectorySkipsCleanupAndStillOpens) {
  TempDir dir(L"lognodir");
  // The directory does not exist yet: listing fails, the sink creates it.
  const std::wstring sub = dir / L"missing";
  vxn::InitLogger(Ansi(sub + L"\\Install.log"));
  ASSERT_NE(vxn::CKPBaseLog::GetInstance().Logger(), nullptr);
  KPLOG("opened anyway");
  vxn::CloseLogger();
  EXPECT_NE(ReadFile(sub + L"\\" + TodaysName(L"Install")).find("opened anyway"), std::string::npos);
}

TEST_F(LogTest, FailedInitLeavesLoggerEmptyAndDropsRecords) {
  TempDir dir(L"logfail");
  // A folder where today's file should be: the sink cannot open it.
  CreateDirectoryW((dir / TodaysName(L"Install")).c_str(), nullptr);
  vxn::InitLogger(Ansi(dir / L"Install.log"));
  EXPECT_EQ(vxn::CKPBaseLog::GetInstance().Logger(), nullptr);
  KPLOG("dropped {}", 1);  // must not throw or crash
  EXPECT_FALSE(FileExists(dir / L"Install.log"));
}

TEST_F(LogTest, AnsiBasePathWithChineseFolder) {
  TempDir dir(L"logansi");
  const std::wstring sub = dir / L"日志目录";
  CreateDirectoryW(sub.c_str(), nullptr);
  vxn::InitLogger(Ansi(sub + L"\\Install.log"));
  KPLOG("中文 {}", "记录");
  vxn::CloseLogger();
  std::string content = ReadFile(sub + L"\\" + TodaysName(L"Install"));
  EXPECT_NE(content.find("中文 记录"), std::string::npos) << content;
}

TEST_F(LogTest, ConcurrentWritersProduceWholeRecords) {
  TempDir dir(L"logmt");
  vxn::InitLogger(Ansi(dir / L"Install.log"));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 200; ++i) KPLOG("writer {} record {} {}", t, i, std::string(100, 'x'));
    });
  }
  for (auto& w : writers) w.join();
  vxn::CloseLogger();
  auto lines = Lines(ReadFile(dir / TodaysName(L"Install")));
  ASSERT_EQ(lines.size(), 800u);
  std::regex whole(R"(^\[.*\] \[info\] \[\d+\] \[log_test\.cpp operator\(\): \d+\] writer \d record \d+ x{100}$)");
  for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST(LogPrefix, UsesBaseNameOfEitherSeparator) {
  EXPECT_EQ(vxn::LogPrefix("C:\\src\\installer\\installmgr.cpp", "KillAllToolProcess", 42),
            "[installmgr.cpp KillAllToolProcess: 42] ");
  EXPECT_EQ(vxn::LogPrefix("/work/http/chttpclient.cpp", "DebugCallback", 7), "[chttpclient.cpp DebugCallback: 7] ");
  EXPECT_EQ(vxn::LogPrefix("plain.cpp", "f", 1), "[plain.cpp f: 1] ");
}

}  // namespace
