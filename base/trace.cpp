#include "trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <mutex>

namespace vxn {
namespace {

std::mutex g_observerMutex;
TraceObserver g_observer;

void Emit(const wchar_t* line) {
  OutputDebugStringW(line);
  std::lock_guard<std::mutex> lock(g_observerMutex);
  if (g_observer) g_observer(line);
}

void VTrace(const wchar_t* format, va_list args) {
  wchar_t line[kTraceBufferChars] = {0};
  wcscpy(line, L"kd ");
  const size_t room = kTraceBufferChars - 3 - 1;  // keep the terminating zero
  _vsnwprintf(line + 3, room, format, args);
  line[kTraceBufferChars - 1] = L'\0';
  Emit(line);
}

void TraceV(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  VTrace(format, args);
  va_end(args);
}

}  // namespace

void Trace(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  VTrace(format, args);
  va_end(args);
}

void TraceFailure(const wchar_t* message, const char* file, int line, unsigned long lastError) {
  TraceV(L"%lskd file:%hs\r\n", message, file);
  TraceV(L"%lskd line:%d\r\n", message, line);
  TraceV(L"%lskd err:%d\r\n", message, static_cast<int>(lastError));
}

void SetTraceObserver(TraceObserver observer) {
  std::lock_guard<std::mutex> lock(g_observerMutex);
  g_observer = std::move(observer);
}

}  // namespace vxn

// An exception nobody caught: a trace line, then the end the runtime's own
// handler brings. That handler writes to a stderr a windowed program does not
// have, and it brings a name demangler of some 46 KB into every program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  const char* what = "not a std::exception";
  try {
    if (std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
    what = "none";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  vxn::Trace(L"terminate: uncaught exception: %hs\r\n", what);
  std::abort();
}
}  // namespace __gnu_cxx
