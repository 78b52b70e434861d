#include "shell/loop.h"

#include <poll.h>

XtAppContext appContext;

XtInputId WatchReadable(int fd, XtInputCallbackProc proc,
                        XtPointer clientData) {
    // Xt takes the input condition in a pointer-typed argument.
    return XtAppAddInput(appContext, fd,
                         // NOLINTNEXTLINE(performance-no-int-to-ptr)
                         reinterpret_cast<XtPointer>(XtInputReadMask), proc,
                         clientData);
}

XtIntervalId StartTimer(unsigned long ms, XtTimerCallbackProc proc,
                        XtPointer clientData) {
    return XtAppAddTimeOut(appContext, ms, proc, clientData);
}

namespace {

constexpr Cardinal kMostDisplays = 7;

} // namespace

// The displays are those start-up opened, read once.  Their connections
// and `descriptor` are asked in one poll: under a flood, this is paid for
// every reply.
Waiting WhatWaits(int descriptor) {
    static Display **displays;
    static Cardinal count;
    if (displays == nullptr)
        XtGetDisplays(appContext, &displays, &count);
    Waiting waiting = {false, false};
    pollfd ready[kMostDisplays + 1];
    nfds_t n = 0;
    ready[n++] = {descriptor, POLLIN, 0};
    for (Cardinal i = 0; i < count && i < kMostDisplays; i++) {
        waiting.windowEvent |= XEventsQueued(displays[i], QueuedAlready) > 0;
        ready[n++] = {ConnectionNumber(displays[i]), POLLIN, 0};
    }
    if (poll(ready, n, 0) > 0) {
        waiting.readable = (ready[0].revents & POLLIN) != 0;
        for (nfds_t i = 1; i < n; i++)
            waiting.windowEvent |= (ready[i].revents & POLLIN) != 0;
    }
    return waiting;
}
