#include "tests/alloc_fail.h"

#include <pthread.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <new>

extern "C" void *__real_malloc(std::size_t size);
extern "C" void __real_free(void *block);
extern "C" ssize_t __real_send(int fd, const void *bytes, std::size_t size,
                               int flags);
extern "C" int __real_socket(int family, int type, int protocol);

namespace {
constexpr int kNever = -1;
constexpr int kAlways = -2;
int failIn = kNever;
long count;
long live;
bool failSend;
int refusedFamily = AF_UNSPEC;
} // namespace

// Only the main thread's allocations count and fail: the name look-up
// workers allocate at times of their own.
bool OnMainThread() {
    static const pthread_t main = pthread_self();
    return pthread_equal(pthread_self(), main) != 0;
}

extern "C" void *__wrap_malloc(std::size_t size) {
    if (!OnMainThread())
        return __real_malloc(size);
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
    if (block != nullptr && OnMainThread())
        live--;
    __real_free(block);
}

extern "C" ssize_t __wrap_send(int fd, const void *bytes, std::size_t size,
                               int flags) {
    if (failSend) {
        failSend = false;
        errno = ECONNRESET;
        return -1;
    }
    return __real_send(fd, bytes, size, flags);
}

// The standard containers allocate through operator new, which would
// otherwise reach malloc past the wrapper.
void *operator new(std::size_t size) {
    void *block = __wrap_malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void *operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void *block) noexcept {
    __wrap_free(block);
}

void operator delete(void *block, std::size_t) noexcept {
    __wrap_free(block);
}

void operator delete[](void *block) noexcept {
    __wrap_free(block);
}

void operator delete[](void *block, std::size_t) noexcept {
    __wrap_free(block);
}

extern "C" int __wrap_socket(int family, int type, int protocol) {
    if (family == refusedFamily) {
        errno = EAFNOSUPPORT;
        return -1;
    }
    return __real_socket(family, type, protocol);
}

void RefuseSockets(int family) {
    refusedFamily = family;
}

void FailNextSend() {
    failSend = true;
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
