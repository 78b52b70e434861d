#include "tests/alloc_fail.h"

#include <cstddef>

extern "C" void *__real_malloc(std::size_t size);
extern "C" void __real_free(void *block);

namespace {
constexpr int kNever = -1;
constexpr int kAlways = -2;
int failIn = kNever;
long count;
long live;
} // namespace

extern "C" void *__wrap_malloc(std::size_t size) {
    count++;
    if (failIn == kAlways)
        return nullptr;
    if (failIn == 0) {
        failIn = kNever;
        return nullptr;
    }
    if (failIn > 0)
        failIn--;
    void *block = __real_malloc(size);
    if (block != nullptr)
        live++;
    return block;
}

extern "C" void __wrap_free(void *block) {
    if (block != nullptr)
        live--;
    __real_free(block);
}

void FailAllocation(int skip) {
    failIn = skip;
}

void FailAllAllocations() {
    failIn = kAlways;
}

void AllowAllocations() {
    failIn = kNever;
}

long AllocationCount() {
    return count;
}

long LiveAllocations() {
    return live;
}
