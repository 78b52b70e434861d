// Query targets: where the program's QUERY and BROADCAST_QUERY messages
// go.  Each argument becomes a target once.  A BROADCAST target stands for
// the broadcast address of every interface as the interfaces are at each
// ping; a host name's target gets its address from a look-up in the
// background, tried again with each series of pings until one succeeds.
#pragma once

#include <netinet/in.h>

#include "xdmcp/wire.h"

constexpr in_port_t kXdmcpPort = 177;
constexpr char kBroadcastName[] = "BROADCAST";

static_assert(sizeof(sockaddr_in) == 16, "targets are 16-byte addresses");

/// One destination of queries.  Records are appended at the tail of
/// `queryTargets` and live until the process ends.
struct QueryTarget {
    QueryTarget *next;
    sockaddr *address; ///< own copy; null for BROADCAST, and for a name
                       ///< until its look-up succeeds
    int addressLength; ///< 16, an IPv4 socket address; 0 without one
    int queryKind;     ///< kOpcodeBroadcastQuery or kOpcodeQuery
    char *name;        ///< the host name to look up, or null
    bool lookingUp;    ///< a look-up of the name is under way
};

extern QueryTarget *queryTargets;

/// Registers a target for one argument: "BROADCAST" (exactly), 8
/// lower-case hexadecimal digits, a numeric IPv4 address, or a host name.
/// Dropped silently when memory runs out.
void AddTargetsForName(const char *name);

/// Appends a target holding a copy of the address; dropped silently when
/// memory runs out.
void AddQueryTarget(const void *address, int addressLength, int queryKind);

/// Starts the look-up of every name whose address is not known and whose
/// look-up is not under way.  `found` is called with each target whose
/// address comes.
void LookUpTargetNames(void (*found)(const QueryTarget *target));

/// Calls `send` with the broadcast address, at the XDMCP port, of every
/// IPv4 address whose interface is up and broadcast-capable, as the kernel
/// lists them now: once per interface, however many of its addresses
/// share it.  An address without a broadcast address is passed over.
void ForEachBroadcastAddress(void (*send)(const sockaddr_in *address));

/// True when `sender` has the address of a target the arguments named.
bool IsQueryTarget(const sockaddr_in *sender);
