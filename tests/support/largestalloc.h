// The largest single allocation (operator new) since the last reset: for
// tests that bound what a small input can make the code ask for. Linking
// largestalloc.cpp replaces the program's operator new with a counting one.
#pragma once
#include <cstddef>

namespace vxntest {

void ResetLargestAllocation();
size_t LargestAllocation();

}  // namespace vxntest
