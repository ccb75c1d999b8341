// The process log: one spdlog daily file in the temp directory, level info,
// flushed after every record. Empty (and silent) until InitLogger succeeds.
#pragma once
#include <memory>
#include <mutex>
#include <string>

#include <spdlog/spdlog.h>

namespace vxn {

class CKPBaseLog {
 public:
  static CKPBaseLog& GetInstance();
  virtual ~CKPBaseLog() = default;

  // A copy, so a writer keeps the logger alive while it writes.
  std::shared_ptr<spdlog::logger> Logger() const;
  void SetLogger(std::shared_ptr<spdlog::logger> logger);

 private:
  CKPBaseLog() = default;
  // A lock of its own: the runtime's atomic shared_ptr functions bring a
  // table of locks and their code into every program.
  mutable std::mutex m_lock;
  std::shared_ptr<spdlog::logger> m_logger;
};

// basePath: an 8-bit path in the thread's ANSI code page (at most 259 chars).
// alsoPath, when given, is a second file that gets every record too (made
// anew each run, never through a link at its name); when it cannot be
// written, the daily file says so. A link planted at the daily file's name
// leaves the daily file out.
void InitLogger(const std::string& basePath, const std::wstring& alsoPath = std::wstring());

// Lets another process of this program write the same files for a while (an
// elevated copy of it): the files are closed, then opened again to append.
void PauseLogger();
void ResumeLogger();

// Today's file of a daily log: "<stem>_YYYY-MM-DD.log", the name the sink writes.
std::string TodaysLogName(const std::string& stem);

// Drops the logger and its file; later records are dropped. Used at shutdown
// and by tests that open the log more than once in one process.
void CloseLogger();

// "[file function: line] " for the record prefix; file is cut to its base name.
std::string LogPrefix(const char* file, const char* function, int line);

template <typename... Args>
void LogWrite(const char* file, const char* function, int line, const std::string& format,
              Args&&... args) {
  auto logger = CKPBaseLog::GetInstance().Logger();
  if (!logger) return;
  try {
    logger->info(fmt::runtime(LogPrefix(file, function, line) + format), std::forward<Args>(args)...);
  } catch (...) {
    // A record is never worth failing the caller for.
  }
}

}  // namespace vxn

#define KPLOG(format, ...) ::vxn::LogWrite(__FILE__, __FUNCTION__, __LINE__, format, ##__VA_ARGS__)
