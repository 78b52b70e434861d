// The host table: one entry per answering host, keyed by connection type
// and address, and the sorted lines that the list widget shows.
//
// A new host's reverse look-up runs in the background (hosts/resolver):
// its entry takes its place in the table at once, and its line joins the
// list when the look-up settles, or at the latest 1 s after its first
// reply, under the name the reply gave.  Changes reach the widget in
// batches: RefreshSoon after a batch, RefreshList before anything that
// reads the list.
#pragma once

#include <netinet/in.h>

#include "xdmcp/wire.h"

constexpr CARD16 kFamilyInternet = 0; ///< IPv4 sender
constexpr CARD16 kFamilyLocal = 256;  ///< any other sender
constexpr int kNameColumns = 30;      ///< names are filled out to this width
constexpr long kNameWaitMs = 1000;    ///< longest wait for a reverse look-up

/// One answering host.  The entry owns the bodies of hostname, status and
/// hostAddress, and displayLine unless that is the constant "Unknown".
struct HostEntry {
    HostEntry *next;
    char *displayLine; ///< the list's text; also the key of a selection
    int willing;       ///< 1 if the latest recorded reply was WILLING
    ARRAY8 hostname;   ///< from the first reply, or the reverse look-up
    ARRAY8 status;     ///< from the latest reply
    CARD16 connectionType;
    ARRAY8 hostAddress; ///< 4 bytes for kFamilyInternet, empty otherwise
    // The table's own bookkeeping.
    int listed;             ///< 1 once its name settled: its line is shown
    HostEntry *sameHash;    ///< next entry in the same hash bucket
    HostEntry *nextUnnamed; ///< next entry that waited for its name
    long answeredMs;        ///< when its first reply came, monotonic
};

/// Entries in the order in which their hosts first answered.
extern HostEntry *hostEntries;
extern int hostCount;
/// The lineCount lines of the listed entries, kept sorted by byte value.
/// Owned by the table; the widget is handed a copy.  Null when empty.
extern char **displayLines;
extern int lineCount;

/// Adds an entry for a new sender or updates the status of a known one.
/// Returns 1 when the table changed: both bodies have then been taken
/// over.  Returns 0 when nothing was recorded (the same status again, or no
/// memory): both bodies are still the caller's.  The widget learns of the
/// change through RefreshSoon or RefreshList.
int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const sockaddr_in *sender,
               int willing);

/// After a batch of changes: hands the widget the lines now, or within
/// 20 ms when `idle` (no more changes are waiting), else within 100 ms, so
/// that a long burst costs one widget update per batch.
void RefreshSoon(int idle);

/// Hands the list widget the current lines if they changed, keeping the
/// selected host selected.  If memory runs out, the widget keeps showing
/// the lines it has, every one of them alive, until a later call succeeds.
void RefreshList();

/// Hands the list widget n lines (an empty list for n = 0) without
/// touching the table.
void ShowLines(char **lines, int n);

/// The entries behind the lines the widget shows: the entry at `index`
/// (null outside the list), and the index of `entry` (-1 if not shown).
int ShownCount();
HostEntry *ShownEntry(int index);
int ShownIndex(const HostEntry *entry);
/// The host of the widget's selected line; null when none is selected.
HostEntry *SelectedHost();

/// qsort comparison of two text pointers by byte value.
int CompareLines(const void *a, const void *b);

/// Releases an entry and everything it owns; does not unlink it.
void FreeHostEntry(HostEntry *entry);

/// Empties the table and the list, and drops the look-ups under way.
void ClearHosts();
