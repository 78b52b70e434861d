#include "tests/events.h"

#include <unistd.h>

#include "shell/loop.h"

void EnsureEventLoop() {
    if (appContext == nullptr)
        appContext = XtCreateApplicationContext();
}

void RunEventLoop(int ms) {
    long end = NowMs() + ms;
    while (NowMs() < end) {
        if (XtAppPending(appContext) != 0)
            XtAppProcessEvent(appContext, XtIMAll);
        else
            usleep(1000);
    }
}
