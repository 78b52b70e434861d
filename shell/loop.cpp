#include "shell/loop.h"

#include <poll.h>

#include <ctime>

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

// The displays are those start-up opened, read once.
bool WindowEventsWaiting() {
    static Display **displays;
    static Cardinal count;
    if (displays == nullptr)
        XtGetDisplays(appContext, &displays, &count);
    bool waiting = false;
    for (Cardinal i = 0; i < count && !waiting; i++) {
        pollfd connection = {ConnectionNumber(displays[i]), POLLIN, 0};
        waiting = XEventsQueued(displays[i], QueuedAlready) > 0 ||
                  poll(&connection, 1, 0) == 1;
    }
    return waiting;
}

long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}
