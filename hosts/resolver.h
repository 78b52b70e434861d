// Name look-ups away from the event loop.  Worker threads ask the system's
// resolver (NSS: the hosts file, DNS and whatever else nsswitch.conf
// names), so a slow or dead name server never holds up the window.  Each
// answer comes back to the event loop, woken through a pipe that the
// toolkit watches, and is handed to the caller's procedure there, on the
// main thread; nothing else of the program runs on the workers.
#pragma once

#include <netinet/in.h>

/// Called on the main thread with one answer.  For an address look-up,
/// `address` is the address asked about and `name` the host's official
/// name, or null when it has none.  For a name look-up, `name` is the name
/// asked about and `address` its first IPv4 address, or null when it has
/// none.  Both are valid only during the call.
using LookUpDone = void (*)(void *clientData, const in_addr *address,
                            const char *name);

/// Starts the reverse look-up of `address`, unless a worker cannot begin it
/// before `deadlineMs` (NowMs), when it answers with no name.  True when it
/// is under way: `done` is then called once, unless DiscardAddressLookUps
/// comes first.  False when no look-up could be started (no memory, no
/// thread, no pipe); `done` is never called then.
bool LookUpAddress(const in_addr *address, long deadlineMs, LookUpDone done,
                   void *clientData);

/// Starts the look-up of the IPv4 address of `name`; as LookUpAddress.
bool LookUpName(const char *name, LookUpDone done, void *clientData);

/// Drops every address look-up started so far: those not yet begun are not
/// made, and no answer of any of them is handed over.  Name look-ups go on.
void DiscardAddressLookUps();
