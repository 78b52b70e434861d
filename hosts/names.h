// The wait for names: a new host whose reply gave a name is listed under
// the name the name service gives its address, as soon as it gives one
// within 1 s of the host's first reply, and otherwise, at that deadline,
// under the name its reply gave.  The name counts as given by the service
// (HostEntry::namedByService) once its forward look-up confirms it within
// the same second; a host whose name a listed host shows is listed only
// when both names are settled, so that the rows rule sees what it
// decides on.  The look-ups run in the background
// (hosts/resolver), a few at a time, and a look-up that has not begun by
// the deadline is not made: a slow name server holds up nothing but the
// line, and a flood of forged senders does not become a flood of queries.
#pragma once

#include "hosts/table.h"

constexpr long kNameWaitMs = 1000; ///< longest wait for a reverse look-up

/// The table's name wait (SetNameWait): takes a new entry into the wait
/// when its reply gave a name and its address can be looked up, and lists
/// it when the name is settled.  False, for the table to list the entry at
/// once, when the name service has nothing to say (no name was given, not
/// an IPv4 or IPv6 sender) or no look-up can start.
bool AwaitName(HostEntry *entry);

/// Forgets every wait and drops the look-ups under way: the entries of a
/// table about to be cleared are never listed.
void DropNameWaits();
