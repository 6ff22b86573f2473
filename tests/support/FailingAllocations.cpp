#include "FailingAllocations.h"

#include <cstdlib>
#include <new>

namespace {

std::size_t refuseFrom = 0;  // 0: no size is refused
long refuseAfter = -1;       // -1: no count is set
bool refused = false;

}  // namespace

void* operator new(std::size_t size) {
    const bool byCount = refuseAfter >= 0 && refuseAfter-- == 0;
    if (byCount || (refuseFrom != 0 && size >= refuseFrom)) {
        refused = refused || byCount;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// The replaced new takes its blocks from malloc, so free is the matching release.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace MorvaneTest {

void RefuseAllocationsFrom(std::size_t bytes) {
    refuseFrom = bytes;
}

void RefuseAllocationAfter(long count) {
    refused = false;
    refuseAfter = count;
}

void RestoreAllocations() {
    refuseFrom = 0;
    refuseAfter = -1;
}

bool AllocationWasRefused() {
    return refused;
}

}  // namespace MorvaneTest
