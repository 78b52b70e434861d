// The list view: hands the listed lines of the host table to the list
// widget, in batches, one row for each host (entries that stand for one
// host share a row), and keeps the entries behind the rows the widget
// shows, so that a selected row is traced to its hosts.  The widget is
// handed the lines before a key or button press, so that what the person
// acts on is what the table holds, unless it was handed them less than
// 100 ms before.
#pragma once

#include <X11/Intrinsic.h>

#include <span>

#include "hosts/table.h"

/// The lines last handed to the widget, a row each; null when it shows
/// none.
extern char **displayLines;

/// How soon a batch of changes is shown.
enum class Pace {
    kBurst,   ///< more are waiting: within 100 ms
    kIdle,    ///< no more are waiting: within 10 ms
    kSettled, ///< nor does any host wait for its name: within 5 ms
};

/// After a batch of changes: hands the widget the lines at `pace`, so that
/// a long burst costs one hand-over per batch, and never sooner than four
/// times the last hand-over took.  When only the texts of rows shown
/// changed, within 50 ms whatever comes.
void RefreshSoon(Pace pace);

/// Hands the widget the listed lines if they changed, keeping the selected
/// host selected.  With the same rows, only the new texts, and only those
/// in view are drawn.  If memory runs out, the widget keeps the lines it has,
/// every one of them alive, until a later call succeeds.
void RefreshList();

/// Called after every hand-over of changed lines, where set.
extern void (*afterRefresh)();

/// Hands the widget n lines (an empty list for n = 0), the widest
/// `longest` pixels wide (0: the widget measures them).
void HandLines(char **lines, int n, int longest = 0);

/// The rows the widget shows; the line of row `row` (null outside the
/// list), the entries behind it in the order in which they first replied
/// (none outside the list), and the row of `entry` (-1 if not shown).
int RowCount();
const char *RowLine(int row);
std::span<HostEntry *const> RowHosts(int row);
int RowOf(const HostEntry *entry);
/// The widget's selected row, or -1.
int SelectedRow();
/// The first host of the selected row; null when none is selected.
HostEntry *SelectedHost();

/// From now on every key or button press of `display` first brings the
/// widget up to date (unless it was within the last 100 ms) and notes the
/// host selected at that moment.
void WatchPresses(Display *display);
/// The host that was selected when the last key or button went down.
HostEntry *HostAtPress();
