// Query targets and pings: where the program's QUERY and BROADCAST_QUERY
// messages go, and when.  A ping sends every target its message once;
// pings come in series of three, 2000 ms apart.
#pragma once

#include <X11/Intrinsic.h>
#include <netinet/in.h>

#include "xdmcp/wire.h"

constexpr in_port_t kXdmcpPort = 177;
constexpr unsigned long kPingIntervalMs = 2000;
constexpr char kBroadcastName[] = "BROADCAST";

static_assert(sizeof(sockaddr_in) == 16, "targets are 16-byte addresses");

/// One destination of queries.  Records are appended at the tail of
/// `queryTargets` and live until the process ends.
struct QueryTarget {
    QueryTarget *next;
    sockaddr *address; ///< own copy, addressLength bytes
    int addressLength; ///< always 16: an IPv4 socket address
    int queryKind;     ///< kOpcodeBroadcastQuery or kOpcodeQuery
};

extern QueryTarget *queryTargets;
/// The one UDP socket for queries and replies; negative if it could not be
/// opened.
extern int querySocket;
/// Pings sent since the last reset; the Ping action resets it.
extern int pingCount;

/// Prepares both query messages, opens `querySocket`, registers HandleReply
/// on it, registers targets for each of `arguments` (a null-terminated
/// vector; host names join later) and sends the first ping.  Returns 0, having
/// done nothing else, when the socket cannot be opened.
int StartDiscovery(char **arguments);

/// Registers zero or more targets for one argument: "BROADCAST" (exactly)
/// for the broadcast address of every IPv4 address, however many, whose
/// interface is up and broadcast-capable (an address without a broadcast
/// address is passed over); otherwise 8 lower-case hexadecimal digits, a
/// numeric IPv4 address or a host name.  A host name is resolved in the
/// background: its target joins the list when the answer comes and is sent
/// its query at once.  An argument that yields no address is dropped
/// silently.
void AddTargetsForName(const char *name);

/// Appends a target holding a copy of the address; dropped silently when
/// memory runs out.
void AddQueryTarget(const void *address, int addressLength, int queryKind);

/// Sends one ping and, while the series lasts, arms the timer for the next.
/// Also the toolkit timer callback; both arguments are ignored.
void SendQueries(XtPointer clientData = nullptr, XtIntervalId *id = nullptr);
