// Query targets: where the program's QUERY and BROADCAST_QUERY messages
// go.  Each argument becomes a target once.  A BROADCAST target stands for
// the interfaces as they are at each ping; a host name's target gets its
// addresses from a look-up in the background, tried again with each series
// of pings until one succeeds.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include "xdmcp/address.h"
#include "xdmcp/wire.h"

constexpr char kBroadcastName[] = "BROADCAST";
/// The XDMCP multicast group of every link (ff02::12b).
constexpr in6_addr kLinkGroup = {
    {{0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x2b}}};

/// One destination of queries.  Records are appended at the tail of
/// `queryTargets`, but for a name's further addresses, which follow it,
/// and live until the process ends.
struct QueryTarget {
    QueryTarget *next;
    sockaddr *address; ///< own copy; null for BROADCAST, and for a name
                       ///< until its look-up succeeds
    int addressLength; ///< 16 for IPv4, 28 for IPv6; 0 without one
    int queryKind;     ///< kOpcodeBroadcastQuery or kOpcodeQuery
    char *name;        ///< the host name to look up, or null
    bool lookingUp;    ///< a look-up of the name is under way
};

extern QueryTarget *queryTargets;

/// Registers a target for one argument: "BROADCAST" (exactly), 8
/// lower-case hexadecimal digits, a numeric IPv4 address, a numeric IPv6
/// address (with "%interface" for a link-local one; a multicast group is
/// sent a BROADCAST_QUERY), or a host name.  Dropped silently when memory
/// runs out.
void AddTargetsForName(const char *name);

/// Appends a target holding a copy of the address; dropped silently when
/// memory runs out.
void AddQueryTarget(const void *address, int addressLength, int queryKind);

/// Starts the look-up of every name whose address is not known and whose
/// look-up is not under way.  `found` is called with each target of an
/// address that comes: the name's own record holds the first, records
/// behind it the others.
void LookUpTargetNames(void (*found)(const QueryTarget *target));

/// Calls `send` with the broadcast address, at the XDMCP port, of every
/// IPv4 address whose interface is up and broadcast-capable, as the kernel
/// lists them now, once per interface however many of its addresses share
/// it (an address without a broadcast address is passed over); and with
/// ff02::12b on every interface that is up, not loopback, multicast-capable,
/// and has an IPv6 address but no IPv4 broadcast address.  On a link with
/// both, IPv4's broadcast reaches every host already.
void ForEachBroadcastAddress(void (*send)(const sockaddr *address,
                                          socklen_t length));

/// True when `sender` is the host of a target the arguments named.
bool IsQueryTarget(const HostKey &sender);
