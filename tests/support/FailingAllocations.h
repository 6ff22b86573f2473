// Replaces operator new for the test program that links it, so that a test can make
// allocations fail: those of at least some size, or the Nth one from now.
#pragma once

#include <cstddef>

namespace MorvaneTest {

// Refuses every allocation of `bytes` or more until RestoreAllocations().
void RefuseAllocationsFrom(std::size_t bytes);
// Refuses the allocation `count` allocations from now (0: the next one), and only that one.
void RefuseAllocationAfter(long count);
void RestoreAllocations();
// Whether the refusal set by RefuseAllocationAfter has happened.
bool AllocationWasRefused();

}  // namespace MorvaneTest
