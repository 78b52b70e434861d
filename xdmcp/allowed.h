// Which hosts the person at the screen may add by typing them, as the
// site allows ("addAllowed"): name suffixes and address ranges, and the
// addresses never added, whatever the site says, because they would ask
// more than one host.  It sends and looks up nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xdmcp/address.h"

/// An address range: the first `bits` bits of `address`, of its family.
struct AddRange {
    CARD16 connectionType; ///< kFamilyInternet or kFamilyInternet6
    CARD8 address[16];
    int bits;
};

/// The site's limits.  With no suffix, any name; with no range, any
/// address.  A word that could not be read allows nothing at all.
struct AddRules {
    std::vector<std::string> suffixes; ///< ".example.org", lower case
    std::vector<AddRange> ranges;
    bool unreadable = false;
};

/// Reads words parted by blanks: "*.suffix", "address/bits" or an address
/// alone (a range of one), IPv4 or IPv6.  `*unread` gets the first word
/// that is none of these.
AddRules ReadAddRules(std::string_view text, std::string *unread);

/// A name ending in one of the suffixes, in either case, a trailing dot
/// aside.
bool NameAllowed(const AddRules &rules, std::string_view name);
/// An address within one of the ranges (an IPv4-mapped key is IPv4), but
/// never the first or last address of an IPv4 range of /30 or wider.
bool AddressAllowed(const AddRules &rules, const HostKey &key);
/// The addresses that reach more than one host, or none: 255.255.255.255,
/// 0.0.0.0 and ::, multicast (224.0.0.0/4, ff00::/8), and `broadcasts`,
/// the links' broadcast addresses.
bool NeverAdded(const HostKey &key,
                const std::vector<sockaddr_storage> &broadcasts);
