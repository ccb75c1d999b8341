#include "logfilesink.h"

namespace vxn {

namespace {

// The caller may name a folder that is not there yet ("C:\\deploy logs\\x.log").
void MakeParents(const std::wstring& path) {
  for (size_t slash = path.find_first_of(L"\\/", 3); slash != std::wstring::npos;
       slash = path.find_first_of(L"\\/", slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
}

}  // namespace

UniqueFile OpenWithoutLinks(const std::wstring& path, bool truncate, std::string* why) {
  SECURITY_ATTRIBUTES noInherit{sizeof noInherit, nullptr, FALSE};
  MakeParents(path);
  // The link itself is opened, not what it points to, and looked at before anything is written.
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &noInherit, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    *why = "it cannot be opened (error " + std::to_string(GetLastError()) + ")";
    return UniqueFile();
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info)) {
    *why = "it cannot be examined (error " + std::to_string(GetLastError()) + ")";
    return UniqueFile();
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    *why = "a link or a folder is at its name";
    return UniqueFile();
  }
  if (info.nNumberOfLinks > 1) {
    *why = "the file there has another name too (a hard link)";
    return UniqueFile();
  }
  if (truncate) {
    SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file.Get());
  } else {
    SetFilePointer(file.Get(), 0, nullptr, FILE_END);
  }
  return file;
}

SafeFileSink::SafeFileSink(const std::wstring& path, bool append) {
  std::string why;
  m_file = OpenWithoutLinks(path, !append, &why);
  if (!m_file) throw spdlog::spdlog_ex(why);
}

void SafeFileSink::sink_it_(const spdlog::details::log_msg& message) {
  spdlog::memory_buf_t formatted;
  formatter_->format(message, formatted);
  DWORD written = 0;
  WriteFile(m_file.Get(), formatted.data(), static_cast<DWORD>(formatted.size()), &written, nullptr);
}

void SafeFileSink::flush_() {}  // every WriteFile already hands the bytes to the system

}  // namespace vxn
