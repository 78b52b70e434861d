#include "shell/clock.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

int OpenTimer() {
    return timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
}

// A zero it_value would disarm the timer: "at once" is one nanosecond.
void ArmTimer(int timer, long ms) {
    itimerspec when{};
    if (ms > 0) {
        when.it_value.tv_sec = ms / 1000;
        when.it_value.tv_nsec = (ms % 1000) * 1000000L;
    } else {
        when.it_value.tv_nsec = 1;
    }
    timerfd_settime(timer, 0, &when, nullptr);
}

void DrainTimer(int timer) {
    std::uint64_t expirations;
    while (read(timer, &expirations, sizeof(expirations)) < 0 && errno == EINTR)
        ;
}
