#include "selection/actions.h"

#include <X11/Xaw/List.h>

#include <cstdlib>
#include <cstring>

#include "hosts/names.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/report.h"
#include "shell/window.h"
#include "xdmcp/discovery.h"

namespace {

// The widget answers with a record of its own allocation, or with an index
// of XAW_LIST_NONE when nothing is selected.
XawListReturnStruct *Selection() {
    XawListReturnStruct *current = XawListShowCurrent(list);
    if (current->list_index == XAW_LIST_NONE) {
        XtFree(reinterpret_cast<char *>(current));
        return nullptr;
    }
    return current;
}

} // namespace

void Accept(Widget, XEvent *, String *, Cardinal *) {
    XawListReturnStruct *current = Selection();
    if (current == nullptr) {
        RingBell();
        return;
    }
    // Several hosts can share one line; each of them is reported.
    for (const HostEntry *e = hostEntries; e != nullptr; e = e->next)
        if (e->listed && std::strcmp(e->displayLine, current->string) == 0)
            ReportChoice(e);
    std::exit(0);
}

void Cancel(Widget, XEvent *, String *, Cardinal *) {
    std::exit(0);
}

void CheckWilling(Widget, XEvent *, String *, Cardinal *) {
    XawListReturnStruct *current = Selection();
    if (current == nullptr)
        return;
    for (const HostEntry *e = hostEntries; e != nullptr; e = e->next)
        if (e->listed && !e->willing &&
            std::strcmp(e->displayLine, current->string) == 0)
            XawListUnhighlight(list);
    XtFree(reinterpret_cast<char *>(current));
}

// Timers of an earlier series are left to run: they count against the same
// pingCount, so a Ping while k of them are pending brings 3 + k pings.
void Ping(Widget, XEvent *, String *, Cardinal *) {
    DropNameWaits();
    ClearHosts();
    RefreshList();
    pingCount = 0;
    SendQueries();
}
