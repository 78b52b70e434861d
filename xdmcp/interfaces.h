// The machine's network interfaces as the kernel lists them now, read from
// rtnetlink: what it takes to choose where a BROADCAST goes
// (xdmcp/targets) and to name an interface in an address.
#pragma once

#include <net/if.h>
#include <netinet/in.h>

#include <vector>

/// One interface, with what is known of its addresses.
struct Interface {
    int index;
    char name[IF_NAMESIZE];
    unsigned flags; ///< IFF_UP, IFF_LOOPBACK, IFF_BROADCAST, IFF_MULTICAST
    bool enslaved;  ///< a port of a bridge or bond, which is asked instead
    bool ipv6;      ///< has an IPv6 address
    /// The broadcast address of each of its IPv4 addresses that has one,
    /// in the kernel's order, repeats included.
    std::vector<in_addr> broadcasts;
};

/// Every interface, in the kernel's order.  Those read before the kernel
/// stops answering or memory runs out; none when it cannot be asked.
std::vector<Interface> ReadInterfaces();
