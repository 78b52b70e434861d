// Query targets: where the program's QUERY and BROADCAST_QUERY messages
// go.  Each argument becomes a target once.  A BROADCAST target stands for
// the interfaces as they are at each ping; a host name's target gets its
// addresses from a look-up in the background, tried again with each series
// of pings until one succeeds.  Which target an argument makes, and where
// a BROADCAST goes on given interfaces, are chosen without I/O.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <vector>

#include "xdmcp/address.h"
#include "xdmcp/interfaces.h"

/// What one argument asks: the interfaces' broadcast addresses as they are
/// at each ping, an IPv6 multicast group (sent a BROADCAST_QUERY), one
/// address, or a name to look up; or nothing.
enum class TargetKind { kBroadcast, kGroup, kAddress, kName, kRefused };

/// One destination of queries.  Records are appended at the tail of
/// `queryTargets`, but for a name's further addresses, which follow it,
/// and live until the process ends.
struct QueryTarget {
    QueryTarget *next;
    sockaddr *address; ///< own copy; null for BROADCAST, and for a name
                       ///< until its look-up succeeds
    int addressLength; ///< 16 for IPv4, 28 for IPv6; 0 without one
    int queryKind;     ///< kOpcodeBroadcastQuery or kOpcodeQuery, of `kind`
    TargetKind kind;   ///< kRefused never; a name's further addresses are
                       ///< kAddress
    char *name;        ///< the host name to look up, or null
    bool lookingUp;    ///< a look-up of the name is under way
    bool unknown;      ///< its look-up found no address, and it was told
};

extern QueryTarget *queryTargets;

/// What one argument asks for, and why nothing (`refusal`).
struct TargetChoice {
    TargetKind kind;
    sockaddr_storage address; ///< of kGroup and kAddress, at the XDMCP port
    socklen_t addressLength;  ///< 0 without an address
    const char *refusal;      ///< why it is kRefused; null otherwise
};

/// Reads one argument: "BROADCAST" (exactly), 8 lower-case hexadecimal
/// digits, a numeric IPv4 address (dotted decimal), a numeric IPv6 address
/// (with "%interface", a name among `interfaces` or an index, for a
/// link-local one; a multicast group is sent a BROADCAST_QUERY), or a host
/// name (at most 253 bytes, labels of 1 to 63 letters, digits, "-", "_" or
/// bytes beyond ASCII).  Refused: anything else, an unknown interface, and
/// the IPv6 addresses nothing can be sent to from an IPv6 socket (::, and
/// the IPv4-mapped ones).
TargetChoice ChooseTarget(const char *argument,
                          const std::vector<Interface> &interfaces);

/// Where a BROADCAST goes on `interfaces`, at the XDMCP port: the broadcast
/// address of every IPv4 address whose interface is up and
/// broadcast-capable, once per interface however many of its addresses
/// share it (0.0.0.0, which would reach only this machine, passed over);
/// and ff02::12b on every interface that is up, not loopback, not
/// enslaved, multicast-capable, and has an IPv6 address but no such IPv4
/// broadcast address (where there is one, IPv4's broadcast reaches every
/// host of the link already).  Those found before memory ran out.
std::vector<sockaddr_storage>
BroadcastAddresses(const std::vector<Interface> &interfaces);

/// Registers the target ChooseTarget makes of one argument, reading the
/// interfaces only when it names one; one that cannot be asked is one
/// line on standard error, naming it and why.  Dropped silently when
/// memory runs out.
void AddTargetsForName(const char *name);

/// Appends a target holding a copy of the address; dropped silently when
/// memory runs out.
void AddQueryTarget(const void *address, int addressLength, int queryKind);

/// Starts the look-up of every name whose address is not known and whose
/// look-up is not under way.  `found` is called with each target of an
/// address that comes: the name's own record holds the first, records
/// behind it the others.  A name that the name service does not know, the
/// first time, is one line on standard error, and `unknown` is called.
void LookUpTargetNames(void (*found)(const QueryTarget *target),
                       void (*unknown)());

/// True when some target can be asked: an address, a BROADCAST, or a name
/// that is not known to be unknown.
bool CanAskAny();

/// True when `sender` is the host of a target the arguments named.
bool IsQueryTarget(const HostKey &sender);
