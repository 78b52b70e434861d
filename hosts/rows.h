// What a row shows: the one owner of the rule.  The table (hosts/table)
// stores the entries; this unit decides when a new one is listed, under
// which name, and whether its address follows the name.
//
// A new host whose reply gave a name is listed under the name the name
// service gives its address, as soon as it gives one within 1 s of the
// host's first reply, and otherwise, at that deadline, under the name its
// reply gave.  The name counts as the service's (Naming::kConfirmed) once
// its forward look-up leads back to the address within the same second.
// A host whose name a listed host shows is listed only when both names
// are settled, so that the rule below sees what it decides on.  The
// look-ups run on the workers of hosts/pool, and one that has not begun by
// the deadline is not made: a slow name server holds up nothing but the
// line, and a flood of forged senders does not become a flood of queries.
//
// Two listed entries that show one name stand for one host only when the
// name service gave it to both; otherwise every entry that shows it shows
// its address too, until the table is cleared.
#pragma once

#include "hosts/table.h"

constexpr long kNameWaitMs = 1000; ///< longest wait for a reverse look-up

/// Takes a new entry, just recorded: into the wait for its name when its
/// reply gave a name and its address can be looked up, listing it when the
/// name is settled; otherwise it is listed at once.
void TakeNewHost(HostEntry *entry);

/// Lists an entry that is not listed yet under the name it has, its
/// address following the name where a listed entry shows the name too.
void ListHost(HostEntry *entry);

/// Readable when the first wait's deadline has passed: a timer descriptor,
/// opened at the first call (start-up's, for the event loop to watch it);
/// -1 when it cannot be opened, and then no host waits for its name.
int NameWaitDescriptor();
/// When NameWaitDescriptor is readable: lists the entries whose wait is
/// over under the names they have.
void NameWaitsDue();

/// Called after entries were listed by a name that came or a wait that
/// ended; `lastName` when the name of the last host that waited came just
/// now.  Set once by start-up (to have the list shown soon).
void SetListedHook(void (*listed)(bool lastName));

/// Forgets every wait and drops the look-ups under way: the entries of a
/// table about to be cleared are never listed.
void DropNameWaits();

/// Two listed entries that stand for one host, which the list shows as one
/// row: identical lines, both named by the name service.
bool SameRow(const HostEntry *a, const HostEntry *b);
