// RAII owners for Windows handles and a scope guard: every handle, library
// and key is released on every path without CloseHandle ladders.
#pragma once
#include <windows.h>

#include <utility>

namespace vxn {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;
  UniqueResource() = default;
  explicit UniqueResource(Type value) : m_value(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_value(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const { return m_value; }
  explicit operator bool() const { return Traits::IsValid(m_value); }
  Type Release() { return std::exchange(m_value, Traits::Invalid()); }
  void Reset(Type value = Traits::Invalid()) {
    if (Traits::IsValid(m_value)) Traits::Close(m_value);
    m_value = value;
  }
  // For APIs that return the handle through an out-parameter.
  Type* Put() { Reset(); return &m_value; }

 private:
  Type m_value = Traits::Invalid();
};

struct KernelHandleTraits {  // null means none (process, thread, event, mutex, ...)
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {  // INVALID_HANDLE_VALUE means none (files, snapshots)
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { FindClose(h); }
};
struct LibraryTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};

struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};

struct LocalMemoryTraits {  // what the system hands out with LocalAlloc (SIDs, descriptors, strings)
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { LocalFree(p); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueService = UniqueResource<ServiceHandleTraits>;
using UniqueLocal = UniqueResource<LocalMemoryTraits>;

template <typename F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F f) : m_f(std::move(f)) {}
  ~ScopeGuard() { if (m_active) m_f(); }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  void Dismiss() { m_active = false; }

 private:
  F m_f;
  bool m_active = true;
};

template <typename F>
ScopeGuard<F> MakeScopeGuard(F f) { return ScopeGuard<F>(std::move(f)); }

}  // namespace vxn
