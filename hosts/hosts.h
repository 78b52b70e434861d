// The host table: one entry per answering host, keyed by connection type
// and address, and the sorted lines that the list widget shows.
#pragma once

#include <netinet/in.h>

#include "xdmcp/wire.h"

constexpr CARD16 kFamilyInternet = 0; ///< IPv4 sender
constexpr CARD16 kFamilyLocal = 256;  ///< any other sender
constexpr int kNameColumns = 30;      ///< names are filled out to this width

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
};

/// Entries in the order in which their hosts first answered.
extern HostEntry *hostEntries;
extern int hostCount;
/// hostCount pointers to the entries' lines, sorted; owned by the table and
/// borrowed by the list widget until the next rebuild.  Null when empty.
extern char **displayLines;

/// Adds an entry for a new sender or updates the status of a known one,
/// then shows the list anew.  Returns 1 when the table changed: both bodies
/// have then been taken over.  Returns 0 when nothing was recorded (the
/// same status again, or no memory): both bodies are still the caller's,
/// and `hostname` may by then hold the resolved name instead.
int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const sockaddr_in *sender,
               int willing);

/// Hands the list widget a fresh sorted array of the n entries' lines.  If
/// the array cannot be allocated, the widget keeps showing the old lines.
void RefreshList(int n);

/// Hands the list widget n lines (an empty list for n = 0) without
/// touching the table.
void ShowLines(char **lines, int n);

/// qsort comparison of two text pointers by byte value.
int CompareLines(const void *a, const void *b);

/// Releases an entry and everything it owns; does not unlink it.
void FreeHostEntry(HostEntry *entry);

/// Empties the table and the list.
void ClearHosts();
