// Hosts' addresses: the key that tells one host from another, and the
// conversions between keys, socket addresses and text.  It sends and
// receives nothing, and touches no X.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include "xdmcp/wire.h"

constexpr in_port_t kXdmcpPort = 177;
constexpr CARD16 kFamilyInternet = 0;  ///< IPv4 sender
constexpr CARD16 kFamilyInternet6 = 6; ///< IPv6 sender
constexpr CARD16 kFamilyLocal = 256;   ///< any other sender

static_assert(sizeof(sockaddr_in) == 16, "IPv4 targets are 16 bytes");
static_assert(sizeof(sockaddr_in6) == 28, "IPv6 targets are 28 bytes");

/// What tells hosts apart: connection type and address, and for a
/// link-local IPv6 address its interface (the same address on two links is
/// two hosts).
struct HostKey {
    CARD16 connectionType;
    CARD8 length; ///< of the address: 4, 16, or 0 for kFamilyLocal
    CARD8 address[16];
    unsigned scope; ///< the interface of a link-local address; else 0
    bool operator==(const HostKey &) const = default;
};

/// Room for KeyText: the longest IPv6 address, "%" and an interface name.
constexpr int kKeyTextSize = INET6_ADDRSTRLEN + 1 + 16;

/// The key of a reply's sender.  An IPv4-mapped IPv6 sender (::ffff:a.b.c.d)
/// is the IPv4 host it maps.
HostKey SenderKey(const sockaddr *sender);

/// The socket address of `key`, at `port`; its length, 0 for a local key.
socklen_t KeyAddress(const HostKey &key, in_port_t port,
                     sockaddr_storage *address);

/// The key's address as a person writes it: IPv4 dotted, IPv6 in its
/// shortest form with "%interface" for a link-local one (the interface's
/// index where it has no name now), "local" for a local key.
void KeyText(const HostKey &key, char (&text)[kKeyTextSize]);

/// The length of a socket address of either family: 16 for IPv4, 28 for
/// IPv6, 0 for any other.
socklen_t AddressLength(const sockaddr *address);
