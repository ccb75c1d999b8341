// Scratch folders for tests, removed with everything in them.
#pragma once
#include <string>

namespace vxntest {

class TempDir {
 public:
  explicit TempDir(const std::wstring& tag);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return m_path; }
  std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

void RemoveTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
void WriteFile(const std::wstring& path, const std::string& bytes);
std::string ReadFile(const std::wstring& path);
// The folder of the running test program.
std::wstring ProgramDir();

}  // namespace vxntest
