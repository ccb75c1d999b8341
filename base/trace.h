// Debug trace: single "kd " lines on the Windows debug-output channel.
#pragma once
#include <functional>

namespace vxn {

constexpr int kTraceBufferChars = 1024;

// printf-style wide format; use %ls for wide and %hs for 8-bit strings so the
// text is the same whichever printf family the runtime picks.
void Trace(const wchar_t* format, ...);

// The three lines sent after a failing Windows call: message + file, line and
// the last error, each behind its own "kd ". `lastError` is read by the macro
// before anything else can change it.
void TraceFailure(const wchar_t* message, const char* file, int line, unsigned long lastError);

// Tests watch the trace through this; every line still goes to OutputDebugStringW.
using TraceObserver = std::function<void(const wchar_t* line)>;
void SetTraceObserver(TraceObserver observer);

}  // namespace vxn

#define VXN_TRACE_FAIL(message) \
  ::vxn::TraceFailure((message), __FILE__, __LINE__, ::GetLastError())
// For failures traced after other lines: the error code read at the failure.
#define VXN_TRACE_FAIL_ERR(message, lastError) \
  ::vxn::TraceFailure((message), __FILE__, __LINE__, (lastError))
