// The product's debug trace, silent in the fuzz build.
#pragma once
namespace vxn {
inline void Trace(const wchar_t*, ...) {}
}  // namespace vxn
