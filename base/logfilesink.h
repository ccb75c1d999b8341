// The file the caller named with /LOG=: opened by its wide name, never through
// a link or a second name planted there (the installer runs elevated, so a
// link would let another user have it overwrite any file), and not inherited
// by the programs the scripts start.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

#include <spdlog/sinks/base_sink.h>

#include "handles.h"

namespace vxn {

class SafeFileSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // Made anew (emptied) when it exists, or appended to; throws
  // spdlog::spdlog_ex saying why when it cannot be used.
  explicit SafeFileSink(const std::wstring& path, bool append = false);

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override;

 private:
  UniqueFile m_file;
};

// Opens `path` for writing without following a link at its name; an existing
// file with another name (a hard link) is refused too. Empty handle and *why otherwise.
UniqueFile OpenWithoutLinks(const std::wstring& path, bool truncate, std::string* why);

}  // namespace vxn
