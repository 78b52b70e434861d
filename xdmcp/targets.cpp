#include "xdmcp/targets.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "hosts/resolver.h"
#include "shell/settings.h"
#include "shell/warn.h"

QueryTarget *queryTargets;

namespace {

constexpr char kBroadcastName[] = "BROADCAST";
constexpr int kHexAddressLength = 8;
// The XDMCP multicast group of every link (ff02::12b).
constexpr in6_addr kLinkGroup = {
    {{0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x2b}}};

void (*nameFound)(const QueryTarget *target);
void (*nameUnknown)();
constexpr std::size_t kMostNameBytes = 253;
constexpr std::size_t kMostLabelBytes = 63;

sockaddr_storage XdmcpAddress(const in_addr &address) {
    sockaddr_storage storage{};
    auto *target = reinterpret_cast<sockaddr_in *>(&storage);
    target->sin_family = AF_INET;
    target->sin_port = htons(kXdmcpPort);
    target->sin_addr = address;
    return storage;
}

// Hexadecimal first, so that an argument such as 12345678 is an address
// and never a decimal number or a name.
bool ParseAddress(const char *text, in_addr *address) {
    return (std::strlen(text) == kHexAddressLength &&
            HexToBytes(text, reinterpret_cast<CARD8 *>(address),
                       kHexAddressLength)) ||
           inet_pton(AF_INET, text, address) == 1;
}

// "%interface" names one of `interfaces`, or gives an index.
bool ParseScope(const char *text, const std::vector<Interface> &interfaces,
                uint32_t *scope) {
    for (const Interface &i : interfaces) {
        if (std::strcmp(text, i.name) == 0) {
            *scope = static_cast<uint32_t>(i.index);
            return true;
        }
    }
    char *end = nullptr;
    unsigned long index = std::strtoul(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || index > UINT32_MAX)
        return false;
    *scope = static_cast<uint32_t>(index);
    return true;
}

enum class Parsed { kNot, kAddress, kUnknownInterface };

Parsed ParseAddress6(const char *text, const std::vector<Interface> &interfaces,
                     sockaddr_in6 *address) {
    char bare[INET6_ADDRSTRLEN];
    const char *percent = std::strchr(text, '%');
    std::size_t length = percent != nullptr ? percent - text : strlen(text);
    if (length >= sizeof(bare))
        return Parsed::kNot;
    std::memcpy(bare, text, length);
    bare[length] = '\0';
    *address = sockaddr_in6{};
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(kXdmcpPort);
    if (inet_pton(AF_INET6, bare, &address->sin6_addr) != 1)
        return Parsed::kNot;
    return percent == nullptr ||
                   ParseScope(percent + 1, interfaces, &address->sin6_scope_id)
               ? Parsed::kAddress
               : Parsed::kUnknownInterface;
}

// As the name service takes names: dot-separated labels of letters,
// digits, hyphens and underscores, or bytes of a name beyond ASCII.
bool IsHostName(std::string_view name) {
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > kMostNameBytes)
        return false;
    std::size_t label = 0;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '.'
                ? label == 0
                : !(std::isalnum(byte) || c == '-' || c == '_' || byte >= 0x80))
            return false;
        label = c == '.' ? 0 : label + 1;
        if (label > kMostLabelBytes)
            return false;
    }
    return label > 0;
}

// Interfaces that are up and broadcast-capable reach their links by the
// broadcast address of any of their IPv4 addresses.
bool Broadcasting(const Interface &i) {
    constexpr unsigned kBroadcasting = IFF_UP | IFF_BROADCAST;
    return (i.flags & kBroadcasting) == kBroadcasting &&
           std::any_of(i.broadcasts.begin(), i.broadcasts.end(),
                       [](in_addr b) { return b.s_addr != INADDR_ANY; });
}

bool Multicasting(const Interface &i) {
    constexpr unsigned kMulticasting = IFF_UP | IFF_MULTICAST;
    return (i.flags & kMulticasting) == kMulticasting &&
           (i.flags & IFF_LOOPBACK) == 0 && !i.enslaved && i.ipv6;
}

bool SetAddress(QueryTarget *target, const void *address, int length) {
    target->address = static_cast<sockaddr *>(std::malloc(length));
    if (target->address == nullptr)
        return false;
    std::memcpy(target->address, address, length);
    target->addressLength = length;
    return true;
}

// A new target behind `*at` (the tail, for null), with a copy of `address`
// unless that is null; null when memory runs out, and nothing is added.
QueryTarget *Insert(QueryTarget **at, TargetKind kind, const void *address,
                    int length) {
    auto *target = static_cast<QueryTarget *>(std::malloc(sizeof(QueryTarget)));
    if (target == nullptr)
        return nullptr;
    *target = QueryTarget{};
    target->kind = kind;
    target->queryKind =
        kind == TargetKind::kBroadcast || kind == TargetKind::kGroup
            ? kOpcodeBroadcastQuery
            : kOpcodeQuery;
    if (address != nullptr && !SetAddress(target, address, length)) {
        std::free(target);
        return nullptr;
    }
    // Targets are few (one per argument): walking to the tail costs
    // nothing worth a second pointer to keep in step.
    if (at == nullptr)
        for (at = &queryTargets; *at != nullptr; at = &(*at)->next)
            ;
    target->next = *at;
    *at = target;
    return target;
}

// The first address fills the name's record, the others follow it, in
// the order the resolver gave them.
void NameResolved(void *clientData, const sockaddr_storage *addresses,
                  int count, bool /*unanswered*/) {
    auto *target = static_cast<QueryTarget *>(clientData);
    target->lookingUp = false;
    QueryTarget *last = target;
    for (int i = 0; i < count; i++) {
        sockaddr_storage address = addresses[i];
        auto *in = reinterpret_cast<sockaddr_in *>(&address);
        in->sin_port = htons(kXdmcpPort); // at the same place in both families
        int length =
            static_cast<int>(AddressLength(reinterpret_cast<sockaddr *>(in)));
        QueryTarget *added =
            i == 0
                ? (SetAddress(target, &address, length) ? target : nullptr)
                : Insert(&last->next, TargetKind::kAddress, &address, length);
        if (added == nullptr)
            continue;
        last = added;
        nameFound(added);
    }
    if (count == 0 && !target->unknown) {
        target->unknown = true;
        Warn("cannot ask %s: the name service does not know it", target->name);
        nameUnknown();
    }
}

} // namespace

TargetChoice ChooseTarget(const char *argument,
                          const std::vector<Interface> &interfaces) {
    TargetChoice choice{};
    in_addr address;
    auto *address6 = reinterpret_cast<sockaddr_in6 *>(&choice.address);
    if (std::strcmp(argument, kBroadcastName) == 0) {
        choice.kind = TargetKind::kBroadcast;
    } else if (ParseAddress(argument, &address)) {
        choice.kind = TargetKind::kAddress;
        choice.address = XdmcpAddress(address);
        choice.addressLength = sizeof(sockaddr_in);
    } else if (Parsed parsed = ParseAddress6(argument, interfaces, address6);
               parsed == Parsed::kUnknownInterface) {
        choice.kind = TargetKind::kRefused;
        choice.refusal = "no such interface";
    } else if (parsed == Parsed::kAddress) {
        const in6_addr *a = &address6->sin6_addr;
        choice.kind = IN6_IS_ADDR_MULTICAST(a) ? TargetKind::kGroup
                                               : TargetKind::kAddress;
        choice.addressLength = sizeof(sockaddr_in6);
        if (IN6_IS_ADDR_UNSPECIFIED(a) || IN6_IS_ADDR_V4MAPPED(a)) {
            choice.kind = TargetKind::kRefused;
            choice.refusal = "not an address that can be sent to";
            choice.addressLength = 0;
        }
    } else if (IsHostName(argument)) {
        choice.kind = TargetKind::kName;
    } else {
        choice.kind = TargetKind::kRefused;
        choice.refusal = "neither an address nor a host name";
    }
    return choice;
}

std::vector<sockaddr_storage>
BroadcastAddresses(const std::vector<Interface> &interfaces) {
    std::vector<sockaddr_storage> addresses;
    try {
        for (const Interface &i : interfaces) {
            if (!Broadcasting(i))
                continue;
            for (auto b = i.broadcasts.begin(); b != i.broadcasts.end(); ++b)
                if (b->s_addr != INADDR_ANY &&
                    std::find_if(i.broadcasts.begin(), b, [&](in_addr a) {
                        return a.s_addr == b->s_addr;
                    }) == b)
                    addresses.push_back(XdmcpAddress(*b));
        }
        for (const Interface &i : interfaces) {
            if (Broadcasting(i) || !Multicasting(i))
                continue;
            sockaddr_storage storage{};
            auto *group = reinterpret_cast<sockaddr_in6 *>(&storage);
            group->sin6_family = AF_INET6;
            group->sin6_port = htons(kXdmcpPort);
            group->sin6_addr = kLinkGroup;
            group->sin6_scope_id = static_cast<uint32_t>(i.index);
            addresses.push_back(storage);
        }
    } catch (const std::bad_alloc &) {
        // What was found so far is sent to.
    }
    return addresses;
}

void AddTargetsForName(const char *name) {
    std::vector<Interface> interfaces;
    if (std::strchr(name, '%') != nullptr)
        interfaces = ReadInterfaces();
    TargetChoice choice = ChooseTarget(name, interfaces);
    switch (choice.kind) {
    case TargetKind::kRefused:
        Warn("cannot ask %s: %s", name, choice.refusal);
        break;
    case TargetKind::kGroup:
    case TargetKind::kAddress:
        Insert(nullptr, choice.kind, &choice.address,
               static_cast<int>(choice.addressLength));
        break;
    case TargetKind::kBroadcast:
        Insert(nullptr, choice.kind, nullptr, 0);
        break;
    case TargetKind::kName:
        if (char *copy = strdup(name)) {
            QueryTarget *target = Insert(nullptr, choice.kind, nullptr, 0);
            if (target != nullptr)
                target->name = copy;
            else
                std::free(copy);
        }
        break;
    }
}

void AddQueryTarget(const void *address, int addressLength, int queryKind) {
    Insert(nullptr,
           queryKind == kOpcodeBroadcastQuery ? TargetKind::kGroup
                                              : TargetKind::kAddress,
           address, addressLength);
}

void LookUpTargetNames(void (*found)(const QueryTarget *target),
                       void (*unknown)()) {
    nameFound = found;
    nameUnknown = unknown;
    for (QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->name != nullptr && t->address == nullptr && !t->lookingUp)
            t->lookingUp = LookUpName(t->name, NameResolved, t);
}

bool CanAskAny() {
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->address != nullptr || t->name == nullptr || !t->unknown)
            return true;
    return false;
}

bool IsQueryTarget(const HostKey &sender) {
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if ((t->kind == TargetKind::kAddress || t->kind == TargetKind::kName) &&
            t->address != nullptr && SenderKey(t->address) == sender)
            return true;
    return false;
}
