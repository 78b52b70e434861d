// Name and address look-ups away from the event loop, on the workers of
// hosts/pool.  They ask the system's resolver (NSS: the hosts file, DNS
// and whatever else nsswitch.conf names).  Each answer is handed to the
// caller's procedure on the main thread, when the event loop finds the
// pool's descriptor readable (DeliverJobs).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

/// Called on the main thread with what the look-up of `address` found, in
/// two steps.  First `name`, the host's official name, with `settled`
/// false; then, once the name's own addresses of the family of `address`
/// have been looked up, the same name again, `confirmed` when they include
/// `address`, and `settled` true.  When there is no name (`name` null), or
/// no memory to tell the first step apart, only the settled call comes.
/// `address` and `name` are valid only during the call.
using AddressLookedUp = void (*)(void *clientData, const sockaddr *address,
                                 const char *name, bool confirmed,
                                 bool settled);

/// Called on the main thread with the answer of a name look-up: its
/// `count` addresses, IPv4 and IPv6, valid only during the call; none when
/// it has none, or when `unanswered`: the name service did not answer (it
/// timed out or failed), so the name may yet exist.
using NameLookedUp = void (*)(void *clientData,
                              const sockaddr_storage *addresses, int count,
                              bool unanswered);

/// Starts the reverse look-up of the `length` bytes of `address` (IPv4 or
/// IPv6), and the forward look-up of the name it finds.  Either that a
/// worker cannot begin before `deadlineMs` (NowMs) is not made: the
/// answer then has no name, or is not confirmed.  Forward look-ups wait
/// while reverse ones are queued, so that names come first.  True when it
/// is under way: `done` is then called as AddressLookedUp says, unless
/// DiscardAddressLookUps comes first.  False when no look-up could be
/// started (no memory, no worker); `done` is never called then.
bool LookUpAddress(const sockaddr *address, socklen_t length, long deadlineMs,
                   AddressLookedUp done, void *clientData);

/// Starts the look-up of the addresses of `name`; as LookUpAddress, but
/// without a deadline.
bool LookUpName(const char *name, NameLookedUp done, void *clientData);

/// Drops every address look-up started so far: those not yet begun are not
/// made, and no answer of any of them is handed over.  Name look-ups go on.
void DiscardAddressLookUps();
