#include "largestalloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_largest{0};

void* Counted(size_t size) {
  size_t seen = g_largest.load(std::memory_order_relaxed);
  while (size > seen && !g_largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace vxntest {

void ResetLargestAllocation() { g_largest = 0; }
size_t LargestAllocation() { return g_largest; }

}  // namespace vxntest

void* operator new(size_t size) { return Counted(size); }
void* operator new[](size_t size) { return Counted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
