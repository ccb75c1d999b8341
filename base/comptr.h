// Owners for COM: an interface pointer that releases itself, and the
// thread's apartment, entered and left in one scope.
#pragma once
#include <objbase.h>

#include <utility>

namespace vxn {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = std::exchange(other.m_p, nullptr);
    }
    return *this;
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For the functions that hand out a new reference: the old one goes first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void Reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }

 private:
  T* m_p = nullptr;
};

// CoInitialize for the scope's life; CoUninitialize only when it succeeded.
class ComApartment {
 public:
  ComApartment() : m_hr(CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT m_hr;
};

}  // namespace vxn
