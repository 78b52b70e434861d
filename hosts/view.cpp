#include "hosts/view.h"

#include <X11/Xaw/List.h>

#include <algorithm>
#include <new>
#include <vector>

#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/window.h"

char **displayLines;

namespace {

constexpr long kIdleRefreshMs = 20;
constexpr long kBurstRefreshMs = 100;

// What the widget was last handed: its array of lines, and the entry
// behind each.
std::vector<char *> shownLines;
std::vector<HostEntry *> shownEntries;
long lastRefreshMs;
XtIntervalId refreshTimer;
long refreshDueMs; // 0 when no refresh is due
HostEntry *hostAtPress;
XtEventDispatchProc passKey;
XtEventDispatchProc passButton;

void RefreshDue(XtPointer, XtIntervalId *) {
    refreshDueMs = 0;
    RefreshList();
}

Boolean BringUpToDate(XEvent *event) {
    RefreshList();
    hostAtPress = SelectedHost();
    return event->type == KeyPress ? passKey(event) : passButton(event);
}

} // namespace

void RefreshSoon(bool idle) {
    if (!LinesChanged())
        return;
    long now = NowMs();
    long due = lastRefreshMs + (idle ? kIdleRefreshMs : kBurstRefreshMs);
    if (now >= due) {
        RefreshList();
        return;
    }
    if (refreshDueMs != 0 && refreshDueMs <= due)
        return;
    if (refreshDueMs != 0)
        XtRemoveTimeOut(refreshTimer);
    refreshTimer = StartTimer(due - now, RefreshDue);
    refreshDueMs = due;
}

void RefreshList() {
    if (!LinesChanged())
        return;
    HostEntry *selected = SelectedHost();
    const std::vector<HostEntry *> &hosts = ListedHosts();
    // New arrays, so that the widget's stay whole until it has let go.
    std::vector<char *> lines;
    std::vector<HostEntry *> entries;
    try {
        lines.reserve(hosts.size());
        entries.assign(hosts.begin(), hosts.end());
    } catch (const std::bad_alloc &) {
        return;
    }
    for (HostEntry *entry : hosts)
        lines.push_back(entry->displayLine);
    int n = static_cast<int>(lines.size());
    FitColumns(n);
    ShowLines(lines.data(), n);
    shownLines.swap(lines);
    shownEntries.swap(entries);
    displayLines = n != 0 ? shownLines.data() : nullptr;
    LinesShown();
    lastRefreshMs = NowMs();
    int at = ShownIndex(selected);
    if (at >= 0)
        XawListHighlight(list, at);
    HeadingSeesLines(n);
}

void ShowLines(char **lines, int n) {
    // Given no array, the widget would show its own name as the one line;
    // an array that holds only the terminating null shows nothing.
    static const char *noLines[] = {nullptr};
    XawListChange(list, n == 0 ? noLines : const_cast<const char **>(lines), n,
                  0, True);
}

int ShownCount() {
    return static_cast<int>(shownEntries.size());
}

HostEntry *ShownEntry(int index) {
    return index >= 0 && index < ShownCount() ? shownEntries[index] : nullptr;
}

int ShownIndex(const HostEntry *entry) {
    auto at = std::find(shownEntries.begin(), shownEntries.end(), entry);
    return at != shownEntries.end()
               ? static_cast<int>(at - shownEntries.begin())
               : -1;
}

HostEntry *SelectedHost() {
    XawListReturnStruct *current = XawListShowCurrent(list);
    HostEntry *entry = ShownEntry(current->list_index);
    XtFree(reinterpret_cast<char *>(current));
    return entry;
}

void WatchPresses(Display *display) {
    passKey = XtSetEventDispatcher(display, KeyPress, BringUpToDate);
    passButton = XtSetEventDispatcher(display, ButtonPress, BringUpToDate);
}

HostEntry *HostAtPress() {
    return hostAtPress;
}
