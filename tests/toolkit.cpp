// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "tests/toolkit.h"

#include <X11/IntrinsicP.h>
#include <X11/StringDefs.h>
#include <X11/Xaw/ListP.h>

#include <cstdlib>

#include "hosts/table.h"
#include "hosts/view.h"
#include "shell/loop.h"
#include "shell/startup.h"
#include "shell/window.h"
#include "tests/lab/poll.h"
#include "tests/table_fixture.h"

void EnsureToolkit() {
    if (topLevel != nullptr)
        return;
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the tests need an X server";
    static int argc = 1;
    static char name[] = "hostpick";
    static char *argv[] = {name, nullptr};
    // The program's own start-up path, so that timers and input registered
    // by the code under test land in the application context run here.
    OpenWindow(&argc, argv);
}

namespace {

void TimeUp(XtPointer over, XtIntervalId *) {
    *static_cast<bool *>(over) = true;
}

} // namespace

// Without a display of its own (a death test's child), the code under test
// has a context made for it.  The timer ends the wait: the loop blocks
// until something is due.
void RunEventLoop(int ms) {
    if (appContext == nullptr)
        appContext = XtCreateApplicationContext();
    bool over = false;
    XtAppAddTimeOut(appContext, ms, TimeUp, &over);
    while (!over)
        XtAppProcessEvent(appContext, XtIMAll);
}

bool RunUntil(const std::function<bool()> &done, int limitMs) {
    return PollUntil(done, limitMs, 5, RunEventLoop);
}

void SettleHosts() {
    SettleNames();
    RefreshList();
}

// Read straight from the widget's instance record: the public interface
// has no call that returns the whole list.
int ListLineCount() {
    return reinterpret_cast<ListWidget>(list)->list.nitems;
}

const char *ListLine(int i) {
    return reinterpret_cast<ListWidget>(list)->list.list[i];
}
