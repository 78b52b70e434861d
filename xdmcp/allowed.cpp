#include "xdmcp/allowed.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!lower.empty() && lower.back() == '.')
        lower.pop_back();
    return lower;
}

// "address" or "address/bits", IPv4 or IPv6.
bool ReadRange(const std::string &word, AddRange *range) {
    std::size_t slash = word.find('/');
    std::string address = word.substr(0, slash);
    *range = {};
    int most = 0;
    if (inet_pton(AF_INET, address.c_str(), range->address) == 1) {
        range->connectionType = kFamilyInternet;
        most = 32;
    } else if (inet_pton(AF_INET6, address.c_str(), range->address) == 1) {
        range->connectionType = kFamilyInternet6;
        most = 128;
    } else {
        return false;
    }
    range->bits = most;
    if (slash == std::string::npos)
        return true;
    std::string bits = word.substr(slash + 1);
    if (bits.empty() || bits.size() > 3 ||
        !std::all_of(bits.begin(), bits.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    range->bits = std::stoi(bits);
    return range->bits <= most;
}

bool SameBits(const CARD8 *a, const CARD8 *b, int bits) {
    int bytes = bits / 8;
    if (std::memcmp(a, b, bytes) != 0)
        return false;
    int rest = bits % 8;
    CARD8 mask = static_cast<CARD8>(0xff << (8 - rest));
    return rest == 0 || ((a[bytes] ^ b[bytes]) & mask) == 0;
}

// The first or last address of an IPv4 range of four addresses or more:
// where a router forwards directed broadcasts, either may reach every
// host of the range's link.
bool RangeEdge(const AddRange &range, const HostKey &key) {
    constexpr int kWidestHostRange = 30; // a /31 or /32 has no such edges
    if (range.connectionType != kFamilyInternet ||
        key.connectionType != kFamilyInternet ||
        range.bits > kWidestHostRange ||
        !SameBits(range.address, key.address, range.bits))
        return false;
    std::uint32_t address = 0;
    for (int i = 0; i < 4; i++)
        address = address << 8 | key.address[i];
    std::uint32_t hosts = range.bits == 0 ? ~0u : ~0u >> range.bits;
    return (address & hosts) == 0 || (address & hosts) == hosts;
}

} // namespace

AddRules ReadAddRules(std::string_view text, std::string *unread) {
    AddRules rules;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t start = text.find_first_not_of(" \t\n", at);
        if (start == std::string_view::npos)
            break;
        std::size_t end =
            std::min(text.find_first_of(" \t\n", start), text.size());
        std::string word(text.substr(start, end - start));
        at = end;
        AddRange range;
        if (word.size() > 2 && word.compare(0, 2, "*.") == 0) {
            rules.suffixes.push_back(Lower(word.substr(1)));
        } else if (ReadRange(word, &range)) {
            rules.ranges.push_back(range);
        } else if (!rules.unreadable) {
            rules.unreadable = true;
            *unread = word;
        }
    }
    return rules;
}

bool NameAllowed(const AddRules &rules, std::string_view name) {
    if (rules.unreadable)
        return false;
    std::string lower = Lower(name);
    return rules.suffixes.empty() ||
           std::any_of(rules.suffixes.begin(), rules.suffixes.end(),
                       [&](const std::string &suffix) {
                           return lower.size() > suffix.size() &&
                                  lower.ends_with(suffix);
                       });
}

bool AddressAllowed(const AddRules &rules, const HostKey &key) {
    if (rules.unreadable)
        return false;
    auto edge = [&](const AddRange &range) { return RangeEdge(range, key); };
    auto within = [&](const AddRange &range) {
        return range.connectionType == key.connectionType &&
               SameBits(range.address, key.address, range.bits);
    };
    return rules.ranges.empty() ||
           (std::none_of(rules.ranges.begin(), rules.ranges.end(), edge) &&
            std::any_of(rules.ranges.begin(), rules.ranges.end(), within));
}

bool NeverAdded(const HostKey &key,
                const std::vector<sockaddr_storage> &broadcasts) {
    if (key.connectionType == kFamilyInternet6) {
        in6_addr a;
        std::memcpy(&a, key.address, sizeof(a));
        return IN6_IS_ADDR_UNSPECIFIED(&a) || IN6_IS_ADDR_MULTICAST(&a);
    }
    if (key.connectionType != kFamilyInternet)
        return true;
    in_addr_t a;
    std::memcpy(&a, key.address, sizeof(a));
    a = ntohl(a);
    if (a == INADDR_ANY || a == INADDR_BROADCAST || IN_MULTICAST(a))
        return true;
    return std::any_of(broadcasts.begin(), broadcasts.end(),
                       [&](const sockaddr_storage &address) {
                           return SenderKey(reinterpret_cast<const sockaddr *>(
                                      &address)) == key;
                       });
}
