#include "hosts/view.h"

#include <X11/Xaw/List.h>

#include <algorithm>
#include <new>
#include <vector>

#include "hosts/rows.h"
#include "shell/drawing.h"
#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/window.h"

char **displayLines;
void (*afterRefresh)();

namespace {

constexpr long kIdleRefreshMs = 10;
constexpr long kSettledRefreshMs = 5;
constexpr long kBurstRefreshMs = 100;
// New texts of rows already shown, such as statuses that keep changing:
// at most 20 times a second, as often as a person can see them change.
constexpr long kTextRefreshMs = 50;
// A hand-over makes the widget lay out every line: the next waits at least
// this many times as long as the last took, so that the window has time
// for keys between them.
constexpr long kHandOverShare = 4;

// What the widget was last handed: its array of lines, a row each, the
// entries behind them, and where each row's entries begin (and, last, where
// they end).
std::vector<char *> rowLines;
std::vector<HostEntry *> rowHosts;
std::vector<int> rowStarts = {0};
long lastRefreshMs;
long lastHandOverMs; // how long the last hand-over took
XtIntervalId refreshTimer;
long refreshDueMs; // 0 when no refresh is due
HostEntry *hostAtPress;
XtEventDispatchProc passKey;
XtEventDispatchProc passButton;

LineParts PartsOf(const HostEntry *host) {
    return {host->labelLength, host->statusAt, host->willing == 0};
}

LineParts PartsOfRow(int row) {
    std::span<HostEntry *const> hosts = RowHosts(row);
    if (hosts.empty())
        return {0, 0, false};
    return PartsOf(hosts.front());
}

void RefreshDue(XtPointer, XtIntervalId *) noexcept {
    refreshDueMs = 0;
    RefreshList();
}

// A press acts on the lines as the table holds them, unless the widget was
// handed them so lately that a changing list would be handed over at every
// key: then on the lines it shows.
Boolean BringUpToDate(XEvent *event) noexcept {
    if (NowMs() - lastRefreshMs >= kBurstRefreshMs)
        RefreshList();
    hostAtPress = SelectedHost();
    return event->type == KeyPress ? passKey(event) : passButton(event);
}

// With the same rows as the widget shows: gives it the rows' new texts in
// its own array, and has it draw again those of them in view, unless one is
// wider than it has room for.  False, having changed nothing, then.
bool NewTexts(const std::vector<char *> &lines, int longest) {
    if (longest > LongestLine())
        return false;
    for (std::size_t row = 0; row < lines.size(); row++)
        if (lines[row] != rowLines[row]) {
            rowLines[row] = lines[row];
            RedrawLine(static_cast<int>(row));
        }
    return true;
}

} // namespace

void RefreshSoon(Pace pace) {
    if (!LinesChanged())
        return;
    long now = NowMs();
    long least = pace == Pace::kBurst  ? kBurstRefreshMs
                 : pace == Pace::kIdle ? kIdleRefreshMs
                                       : kSettledRefreshMs;
    long due =
        lastRefreshMs +
        (!RowsChanged() ? kTextRefreshMs
                        : std::max(least, kHandOverShare * lastHandOverMs));
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
    std::vector<int> starts;
    try {
        lines.reserve(hosts.size());
        entries.assign(hosts.begin(), hosts.end());
        starts.reserve(hosts.size() + 1);
    } catch (const std::bad_alloc &) {
        return;
    }
    for (std::size_t i = 0; i < hosts.size(); i++) {
        if (i > 0 && SameRow(hosts[i - 1], hosts[i]))
            continue;
        starts.push_back(static_cast<int>(i));
        lines.push_back(hosts[i]->displayLine);
    }
    starts.push_back(static_cast<int>(hosts.size()));
    // Each line is measured once, so that a hand-over need not measure all.
    int longest = 0;
    for (std::size_t row = 0; row < lines.size(); row++) {
        HostEntry *host = hosts[starts[row]];
        if (host->lineWidth == 0)
            host->lineWidth = LineWidth(host->displayLine, PartsOf(host));
        longest = std::max(longest, host->lineWidth);
    }
    if (entries == rowHosts && starts == rowStarts &&
        NewTexts(lines, longest)) {
        LinesHanded();
        lastRefreshMs = NowMs();
        return;
    }
    int n = static_cast<int>(lines.size());
    long start = NowMs();
    FitColumns(n);
    HandLines(lines.data(), n, longest);
    rowLines.swap(lines);
    rowHosts.swap(entries);
    rowStarts.swap(starts);
    displayLines = n != 0 ? rowLines.data() : nullptr;
    LinesHanded();
    lastRefreshMs = NowMs();
    lastHandOverMs = lastRefreshMs - start;
    int at = RowOf(selected);
    if (at >= 0)
        XawListHighlight(list, at);
    PaintSelectionSoon();
    HeadingSeesLines(n);
    if (afterRefresh != nullptr)
        afterRefresh();
}

void HandLines(char **lines, int n, int longest) {
    // Given no array, the widget would show its own name as the one line;
    // an array that holds only the terminating null shows nothing.
    static const char *noLines[] = {nullptr};
    partsOfLine = PartsOfRow;
    ShowLines(n == 0 ? noLines : const_cast<const char **>(lines), n, longest);
}

int RowCount() {
    return static_cast<int>(rowLines.size());
}

const char *RowLine(int row) {
    return row >= 0 && row < RowCount() ? rowLines[row] : nullptr;
}

std::span<HostEntry *const> RowHosts(int row) {
    if (row < 0 || row >= RowCount())
        return {};
    return {rowHosts.data() + rowStarts[row],
            static_cast<std::size_t>(rowStarts[row + 1] - rowStarts[row])};
}

int RowOf(const HostEntry *entry) {
    auto at = std::find(rowHosts.begin(), rowHosts.end(), entry);
    if (at == rowHosts.end())
        return -1;
    int index = static_cast<int>(at - rowHosts.begin());
    return static_cast<int>(
               std::upper_bound(rowStarts.begin(), rowStarts.end(), index) -
               rowStarts.begin()) -
           1;
}

int SelectedRow() {
    XawListReturnStruct *current = XawListShowCurrent(list);
    int row = current->list_index;
    XtFree(reinterpret_cast<char *>(current));
    return row >= 0 && row < RowCount() ? row : -1;
}

HostEntry *SelectedHost() {
    std::span<HostEntry *const> entries = RowHosts(SelectedRow());
    return entries.empty() ? nullptr : entries.front();
}

void WatchPresses(Display *display) {
    passKey = XtSetEventDispatcher(display, KeyPress, BringUpToDate);
    passButton = XtSetEventDispatcher(display, ButtonPress, BringUpToDate);
}

HostEntry *HostAtPress() {
    return hostAtPress;
}
