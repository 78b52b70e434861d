#include "tests/lab/poll.h"

#include <time.h>
#include <unistd.h>

namespace {

long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

} // namespace

bool PollUntil(const std::function<bool()> &done, int limitMs, int stepMs,
               void (*between)(int ms)) {
    long end = NowMs() + limitMs;
    for (;;) {
        if (done())
            return true;
        if (NowMs() >= end)
            return false;
        if (between != nullptr)
            between(stepMs);
        else
            usleep(stepMs * 1000);
    }
}
