// The host table: one entry per answering host, found by connection type
// and address, and the listed entries sorted by their lines.  It touches
// no socket and no X.  The name wait (hosts/names) decides when a new
// entry is listed; the list view (hosts/view) hands the listed lines to
// the widget and tells the table when it has, so that the lines the
// widget held before can be released.
#pragma once

#include <vector>

#include "xdmcp/address.h"
#include "xdmcp/wire.h"

/// Hosts in the table, so that a flood of forged senders cannot take the
/// program's memory; replies from the query targets' own addresses are
/// taken beyond it.
constexpr int kMostHosts = 10000;

/// One answering host.  The entry owns the bodies of hostname, status and
/// hostAddress, and its lines unless they are the constant "Unknown".
///
/// Its line is made by FormatLine (hosts/line).  When another listed
/// entry shows the same name and
/// the two were not both named by the name service, both show their
/// addresses after their names, until the table is cleared: two rows never
/// look alike unless the name service gave both their name.
struct HostEntry {
    HostEntry *next;
    char *displayLine; ///< the line; "Unknown" when it could not be made
    int willing;       ///< 1 if the latest recorded reply was WILLING
    ARRAY8 hostname;   ///< from the first reply, or the name service
    ARRAY8 status;     ///< from the latest reply
    CARD16 connectionType;
    ARRAY8 hostAddress; ///< 4 bytes for kFamilyInternet, 16 for
                        ///< kFamilyInternet6, empty otherwise
    unsigned scope;     ///< the interface of a link-local IPv6 address
    // The table's own bookkeeping.
    unsigned long order; ///< when it first answered, counted from the first
    bool listed;         ///< its line is among the listed ones
    bool namedByService; ///< its name came from the name service, which
                         ///< confirmed it
    bool confirming;     ///< its name came from the name service, which
                         ///< has yet to confirm it (hosts/names)
    bool showsAddress;   ///< its address follows its name
    int nameLength;      ///< bytes of its line that show its name
    char *handedLine;    ///< the line the widget was last handed, or null
    int lineWidth;       ///< pixels of displayLine as the list draws it; 0
                         ///< until the view measures it
};

/// Entries in the order in which their hosts first answered.
extern HostEntry *hostEntries;
extern int hostCount;

/// Adds an entry for a new sender, `key`, or gives a known one the new
/// status; a known host keeps the name it has.  Takes charge of both bodies
/// whatever it returns, keeping or releasing them, and leaves both records
/// empty. Returns 1 when the table changed, 0 when it did not (the same status
/// again, or no memory: the reply is dropped).  A name and a status are
/// kept up to one byte beyond their limits, which marks them as cut.
int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const HostKey &key,
               int willing);

/// Has `wait` see every new entry before it is listed.  When it returns
/// true it has taken charge of the entry, which stays unlisted until it
/// calls ListHost; otherwise, or with no wait set, the entry is listed at
/// once.
void SetNameWait(bool (*wait)(HostEntry *entry));
/// Gives an entry that is not listed yet the name the name service gave
/// its address; only a `confirmed` one (whose forward look-up leads back
/// to the address) makes the entry named by the service.
void NameHost(HostEntry *entry, const char *name, bool confirmed);
/// Lists an entry that is not listed yet.
void ListHost(HostEntry *entry);
/// A listed entry that shows the name that `entry` shows, or null.
const HostEntry *ListedNamesake(const HostEntry *entry);

HostKey KeyOf(const HostEntry *entry);
/// The entry with that key, or null.
HostEntry *FindHost(const HostKey &key);

/// The listed entries, sorted by the byte value of their lines, equal lines
/// in the order in which their hosts first answered.
const std::vector<HostEntry *> &ListedHosts();
/// Two listed entries that stand for one host, which the list shows as one
/// row: identical lines, both named by the name service.
bool SameRow(const HostEntry *a, const HostEntry *b);
/// True when the listed lines changed since the last LinesHanded; and
/// when, beyond their texts, the entries listed or their order did.
bool LinesChanged();
bool RowsChanged();
/// The widget has been handed the listed lines: the lines it held before,
/// and the entries ClearHosts took out, are released now.
void LinesHanded();

/// Empties the table.  Entries whose lines the widget may still show stay
/// allocated, unlisted, until the next LinesHanded.
void ClearHosts();
