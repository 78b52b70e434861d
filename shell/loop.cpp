#include "shell/loop.h"

#include <ctime>

XtAppContext appContext;

XtInputId WatchReadable(int fd, XtInputCallbackProc proc) {
    // Xt takes the input condition in a pointer-typed argument.
    return XtAppAddInput(appContext, fd,
                         // NOLINTNEXTLINE(performance-no-int-to-ptr)
                         reinterpret_cast<XtPointer>(XtInputReadMask), proc,
                         nullptr);
}

XtIntervalId StartTimer(unsigned long ms, XtTimerCallbackProc proc) {
    return XtAppAddTimeOut(appContext, ms, proc, nullptr);
}

long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}
