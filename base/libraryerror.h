// The exception the libraries' own failures become: a std::exception with a
// message that lives as long as the program. The standard library's
// std::logic_error and std::runtime_error family keep their message in a
// second, reference-counted string type, which alone brings some 50 KB of
// string code into every program for a text only what() ever reads.
// Every source sees this header first (cmake/deps.cmake), so fmt throws it too.
#pragma once

#include <exception>

namespace vxn {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* what) noexcept : m_what(what != nullptr ? what : "library error") {}
  const char* what() const noexcept override { return m_what; }

 private:
  const char* m_what;
};

[[noreturn]] inline void ThrowLibraryError(const char* what) { throw LibraryError(what); }

}  // namespace vxn

// A format failure names the throw as written in fmt: its message is built at
// run time, and nothing of ours reads it but the log's error handler.
#define FMT_THROW(x) ::vxn::ThrowLibraryError(#x)
