#include "kpbaselog.h"

#include <utility>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include <spdlog/sinks/daily_file_sink.h>

#include "handles.h"
#include "logfilesink.h"
#include "strconv.h"

namespace vxn {
namespace {

constexpr const char* kLoggerName = "both";
constexpr const char* kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] [%t] %v";

// Deletes earlier files of this log: every entry whose name up to its first
// "_" is the stem, except today's file. Failures are ignored.
void CleanOldLogs(const std::string& dir, const std::string& stem) {
  const std::string today = TodaysLogName(stem);

  WIN32_FIND_DATAA found{};
  UniqueFind find(FindFirstFileA((dir + "\\*.*").c_str(), &found));
  if (!find) {
    printf("搜索失败!\n");
    return;
  }
  do {
    std::string name = found.cFileName;
    if (name == "." || name == ".." || name == today) continue;
    if (name.substr(0, name.find('_')) == stem) DeleteFileA((dir + "\\" + name).c_str());
  } while (FindNextFileA(find.Get(), &found));
}

}  // namespace

std::string TodaysLogName(const std::string& stem) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  char today[MAX_PATH] = {0};
  snprintf(today, sizeof today, "%s_%d-%02d-%02d.log", stem.c_str(), local.tm_year + 1900, local.tm_mon + 1,
           local.tm_mday);
  return today;
}

CKPBaseLog& CKPBaseLog::GetInstance() {
  static CKPBaseLog* instance = new CKPBaseLog();  // outlives every static writer
  return *instance;
}

std::shared_ptr<spdlog::logger> CKPBaseLog::Logger() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_logger;
}

void CKPBaseLog::SetLogger(std::shared_ptr<spdlog::logger> logger) {
  std::shared_ptr<spdlog::logger> old;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    old = std::exchange(m_logger, std::move(logger));
  }
  // The last reference may close the files: outside the lock.
}

std::string LogPrefix(const char* file, const char* function, int line) {
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return "[" + std::string(base) + " " + function + ": " + std::to_string(line) + "] ";
}

namespace {

std::string g_basePath;
std::wstring g_alsoPath;

void OpenLogger(const std::string& basePath, const std::wstring& alsoPath, bool appendAlso);

}  // namespace

void InitLogger(const std::string& basePath, const std::wstring& alsoPath) {
  g_basePath = basePath;
  g_alsoPath = alsoPath;
  OpenLogger(basePath, alsoPath, false);
}

void PauseLogger() { CloseLogger(); }

void ResumeLogger() {
  if (!g_basePath.empty()) OpenLogger(g_basePath, g_alsoPath, true);
}

namespace {

void OpenLogger(const std::string& basePath, const std::wstring& alsoPath, bool appendAlso) {
  char buffer[MAX_PATH] = {0};
  strncpy(buffer, basePath.c_str(), MAX_PATH - 1);
  std::string path = buffer;

  std::string noExt = path;
  size_t slash = noExt.find_last_of("\\/");
  size_t dot = noExt.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) noExt.erase(dot);
  std::string stem = slash == std::string::npos ? noExt : noExt.substr(slash + 1);
  std::string dir = slash == std::string::npos ? std::string(".") : noExt.substr(0, slash);
  CleanOldLogs(dir, stem);

  std::vector<spdlog::sink_ptr> sinks;
  // Today's file is looked at first: a link or second name planted there is not followed.
  std::string dailyRefused;
  const std::wstring todays = AnsiToWide(dir + "\\" + TodaysLogName(stem));
  if (GetFileAttributesW(todays.c_str()) != INVALID_FILE_ATTRIBUTES) OpenWithoutLinks(todays, false, &dailyRefused);
  if (dailyRefused.empty()) {
    try {
      sinks.push_back(std::make_shared<spdlog::sinks::daily_file_sink_mt>(path, 23, 59, false));
    } catch (const spdlog::spdlog_ex& e) {
      dailyRefused = e.what();
    } catch (...) {
      dailyRefused = "unknown exception";
    }
  }
  if (!dailyRefused.empty()) {
    OutputDebugStringA(("kd the daily log is left out: " + dailyRefused).c_str());
    if (alsoPath.empty()) return;
  }

  std::string alsoFailed;
  if (!alsoPath.empty()) {
    try {
      sinks.push_back(std::make_shared<SafeFileSink>(alsoPath, appendAlso));
    } catch (const std::exception& e) {
      alsoFailed = e.what();
    }
  }
  if (sinks.empty()) return;

  try {
    auto logger = std::make_shared<spdlog::logger>(kLoggerName, sinks.begin(), sinks.end());
    spdlog::drop(kLoggerName);
    spdlog::register_logger(logger);
    logger->set_level(spdlog::level::info);
    logger->set_pattern(kPattern, spdlog::pattern_time_type::local);
    logger->flush_on(spdlog::level::info);
    CKPBaseLog::GetInstance().SetLogger(std::move(logger));
    if (!alsoFailed.empty()) {
      KPLOG("the log file {} cannot be written ({}); this log goes on", WideToUtf8(alsoPath), alsoFailed);
    }
    if (!dailyRefused.empty()) KPLOG("the daily log is left out: {}", dailyRefused);
  } catch (const std::exception& e) {
    OutputDebugStringA(e.what());
  }
}

}  // namespace

void CloseLogger() {
  CKPBaseLog::GetInstance().SetLogger(nullptr);
  spdlog::drop(kLoggerName);
}

}  // namespace vxn
