#include "selection/actions.h"

#include <X11/StringDefs.h>
#include <X11/Xaw/List.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "hosts/rows.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/command.h"
#include "selection/report.h"
#include "selection/session.h"
#include "shell/heading.h"
#include "shell/options.h"
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

struct Texts {
    String unwilling;
};

Texts texts;
bool textsLoaded;

XtResource resources[] = {
    FILE_RESOURCE(Texts, "unwillingLabel", "UnwillingLabel", XtRString,
                  unwilling),
};

// The host and its status as its row shows them.
void TellUnwilling(const HostEntry *host) {
    if (!textsLoaded)
        XtGetApplicationResources(topLevel, &texts, resources,
                                  XtNumber(resources), nullptr, 0);
    textsLoaded = true;
    std::string_view line = host->displayLine;
    std::string_view status = line.substr(
        std::min<std::size_t>(line.size(), ShownLabel(host).size()));
    status.remove_prefix(
        std::min(status.size(), status.find_first_not_of(' ')));
    const Placeholder values[] = {{"host", ShownLabel(host)},
                                  {"status", status}};
    HeadingTells(
        Expand(texts.unwilling != nullptr ? texts.unwilling : "", values)
            .c_str());
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

// A station has no way out but the one a site binds, Leave.
void Cancel(Widget, XEvent *, String *, Cardinal *) noexcept {
    if (!StationMode())
        std::exit(0);
}

void Leave(Widget, XEvent *, String *, Cardinal *) noexcept {
    std::exit(0);
}

// An unwilling host is no choice, and the heading says why.
void CheckWilling(Widget, XEvent *, String *, Cardinal *) noexcept {
    std::span<HostEntry *const> hosts = SelectedListedHosts();
    auto unwilling =
        std::find_if(hosts.begin(), hosts.end(),
                     [](const HostEntry *host) { return !host->willing; });
    if (unwilling == hosts.end())
        return;
    XawListUnhighlight(list);
    try {
        TellUnwilling(*unwilling);
    } catch (const std::bad_alloc &) {
        // Unhighlighted all the same, untold.
    }
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
