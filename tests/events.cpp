// Without an X server the loop is a poll of the descriptors the headless
// units own: the look-ups' answers and the wait for names.

#include "tests/events.h"

#include <poll.h>

#include "hosts/pool.h"
#include "hosts/rows.h"
#include "shell/clock.h"
#include "tests/lab/poll.h"

void RunEventLoop(int ms) {
    for (long end = NowMs() + ms, left = ms; left >= 0; left = end - NowMs()) {
        pollfd ready[] = {{PoolDescriptor(), POLLIN, 0},
                          {NameWaitDescriptor(), POLLIN, 0}};
        if (poll(ready, 2, static_cast<int>(left)) <= 0)
            continue;
        if (ready[1].revents & POLLIN)
            NameWaitsDue();
        if (ready[0].revents & POLLIN)
            DeliverJobs();
    }
}

bool RunUntil(const std::function<bool()> &done, int limitMs) {
    return PollUntil(done, limitMs, 5, RunEventLoop);
}
