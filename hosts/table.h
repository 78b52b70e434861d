// The host table: one entry per answering host, found by connection type
// and address, and the listed entries sorted by their lines.  It stores;
// it decides nothing and calls no other unit.  The rows rule
// (hosts/rows) decides when an entry is listed and what its line shows;
// the list view (hosts/view) hands the listed lines to the widget and
// tells the table when it has, so that the lines the widget held before
// can be released.  It touches no socket and no X.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "xdmcp/address.h"
#include "xdmcp/wire.h"

/// Hosts in the table, so that a flood of forged senders cannot take the
/// program's memory; replies from the query targets' own addresses are
/// taken beyond it.
constexpr int kMostHosts = 10000;

/// How far the name service has settled the name an entry shows.
enum class Naming : unsigned char {
    kUnconfirmed, ///< the reply's, or the service's but not confirmed in time
    kConfirming,  ///< the service's, its forward look-up under way
    kConfirmed,   ///< the service's, and its forward look-up leads back
};

/// One answering host.  The entry owns the bodies of hostname, status and
/// hostAddress, and its lines unless they are the constant "Unknown".  Its
/// line is made by FormatLine (hosts/line) of its name, status and, where
/// it shows it, its address.
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
    // Written by the rows rule (hosts/rows) alone; ClearHosts marks the
    // entries it takes out unlisted.
    bool listed;       ///< its line is among the listed ones
    Naming naming;     ///< where its name came from
    bool showsAddress; ///< its address follows its name
    // The table's own bookkeeping.
    unsigned long order; ///< when it first replied, counted from the first
    int nameLength;      ///< bytes of its line that show its name
    int labelLength;     ///< bytes of its line that show name and address
    int statusAt;        ///< byte of its line where the status's field begins
    char *handedLine;    ///< the line the widget was last handed, or null
    int lineWidth;       ///< pixels of displayLine as the list draws it; 0
                         ///< until the view measures it
};

/// Entries in the order in which their hosts first replied.
extern HostEntry *hostEntries;
extern int hostCount;

/// Adds an entry for a new sender, `key`, unlisted, or gives a known one
/// the new status; a known host keeps the name it has.  Takes charge of
/// both bodies whatever it returns, keeping or releasing them, and leaves
/// both records empty. Returns 1 when the table changed, 0 when it did not
/// (the same status again, or no memory: the reply is dropped).  A name
/// and a status are kept up to one byte beyond their limits, which marks
/// them as cut.  `*added`, where given, is the new entry, or null.
int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const HostKey &key,
               int willing, HostEntry **added = nullptr);

/// Gives an entry that is not listed yet another name, and the line it
/// makes.
void RenameHost(HostEntry *entry, const char *name);
/// Puts an entry that has just been marked listed among the listed ones,
/// in its place.
void InsertListed(HostEntry *entry);
/// Gives the entry the line that its name, status and address make now.
void RemakeLine(HostEntry *entry);
/// A listed entry other than `entry` that shows the name that `entry`
/// shows, or null; and all of them, valid until the next call.
const HostEntry *ListedNamesake(const HostEntry *entry);
std::span<HostEntry *const> ListedNamesakes(const HostEntry *entry);

/// False when the entry's line could not be made: it shows "Unknown".
bool HasLine(const HostEntry *entry);
/// The name as the entry's line shows it (what would not show for what it
/// is as "?", a long one cut); empty when it has no line.  Valid while the
/// line is.
std::string_view ShownName(const HostEntry *entry);
/// The same, followed by the address where the line shows it.
std::string_view ShownLabel(const HostEntry *entry);

HostKey KeyOf(const HostEntry *entry);
/// The entry with that key, or null.
HostEntry *FindHost(const HostKey &key);

/// The listed entries, sorted by the byte value of their lines, equal lines
/// in the order in which their hosts first replied.
const std::vector<HostEntry *> &ListedHosts();
/// True when the listed lines changed since the last LinesHanded; and
/// when, beyond their texts, the entries listed or their order did.
bool LinesChanged();
bool RowsChanged();
/// The widget has been handed the listed lines: the lines it held before,
/// and the entries ClearHosts took out, are released now.
void LinesHanded();

/// Has the rows of host `key` show `word` before their status (none when
/// empty), the line remade at once; it lasts until it is changed, or with
/// `untilCleared` until ClearHosts.
void MarkHost(const HostKey &key, std::string_view word, bool untilCleared);

/// Empties the table.  Entries whose lines the widget may still show stay
/// allocated, marked unlisted, until the next LinesHanded.
void ClearHosts();
