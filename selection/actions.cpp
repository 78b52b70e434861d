#include "selection/actions.h"

#include <X11/Xaw/List.h>

#include <cstdlib>
#include <cstring>

#include "hosts/hosts.h"
#include "selection/moves.h"
#include "selection/report.h"
#include "shell/window.h"
#include "xdmcp/discovery.h"

static constexpr int kBaseVolume = 0;

// The widget answers with a record of its own allocation, or with an index
// of XAW_LIST_NONE when nothing is selected.
static XawListReturnStruct *Selection() {
    XawListReturnStruct *current = XawListShowCurrent(list);
    if (current->list_index == XAW_LIST_NONE) {
        XtFree(reinterpret_cast<char *>(current));
        return nullptr;
    }
    return current;
}

void Accept(Widget, XEvent *, String *, Cardinal *) {
    XawListReturnStruct *current = Selection();
    if (current == nullptr) {
        XBell(XtDisplay(topLevel), kBaseVolume);
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
    ClearHosts();
    pingCount = 0;
    SendQueries();
}

XtActionsRec actionTable[kActionCount] = {
    {const_cast<char *>("Accept"), Accept},
    {const_cast<char *>("Cancel"), Cancel},
    {const_cast<char *>("CheckWilling"), CheckWilling},
    {const_cast<char *>("Ping"), Ping},
    {const_cast<char *>("AcceptClick"), AcceptClick},
    {const_cast<char *>("SelectNext"), SelectNext},
    {const_cast<char *>("SelectPrevious"), SelectPrevious},
    {const_cast<char *>("SelectFirst"), SelectFirst},
    {const_cast<char *>("SelectLast"), SelectLast},
    {const_cast<char *>("SelectNextPage"), SelectNextPage},
    {const_cast<char *>("SelectPreviousPage"), SelectPreviousPage},
    {const_cast<char *>("SelectTyped"), SelectTyped},
};
