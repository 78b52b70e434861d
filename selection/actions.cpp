#include "selection/actions.h"

#include <X11/Xaw/List.h>

#include <algorithm>
#include <cstdlib>
#include <span>

#include "hosts/rows.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/report.h"
#include "selection/session.h"
#include "shell/window.h"
#include "xdmcp/discovery.h"

namespace {

// The hosts of the selected row, traced by the entries behind it and
// never by its text, which may have changed since it was shown; none when
// nothing is selected or a Ping has taken them out of the table.
std::span<HostEntry *const> SelectedListedHosts() {
    std::span<HostEntry *const> row = RowHosts(SelectedRow());
    if (!row.empty() && !row.front()->listed)
        return {};
    return row;
}

} // namespace

void Accept(Widget, XEvent *, String *, Cardinal *) noexcept {
    std::span<HostEntry *const> hosts = SelectedListedHosts();
    if (hosts.empty()) {
        RingBell();
        return;
    }
    if (SessionMode()) {
        OpenSession(hosts.front());
        return;
    }
    for (const HostEntry *host : hosts)
        ReportChoice(host);
    std::exit(0);
}

void Cancel(Widget, XEvent *, String *, Cardinal *) noexcept {
    std::exit(0);
}

void CheckWilling(Widget, XEvent *, String *, Cardinal *) noexcept {
    std::span<HostEntry *const> hosts = SelectedListedHosts();
    if (std::any_of(hosts.begin(), hosts.end(),
                    [](const HostEntry *host) { return !host->willing; }))
        XawListUnhighlight(list);
}

// Timers of an earlier series are left to run: they count against the same
// pingCount, so a Ping while k of them are pending brings 3 + k pings.
void Ping(Widget, XEvent *, String *, Cardinal *) noexcept {
    DropNameWaits();
    ClearHosts();
    RefreshList();
    pingCount = 0;
    SendQueries();
}
