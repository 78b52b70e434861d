#include "xdmcp/targets.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "hosts/resolver.h"
#include "shell/settings.h"

QueryTarget *queryTargets;

namespace {

constexpr int kNetlinkPartSize = 32768;
constexpr int kHexAddressLength = 8;

void (*nameFound)(const QueryTarget *target);

sockaddr_in XdmcpAddress(const in_addr *address) {
    sockaddr_in target;
    std::memset(&target, 0, sizeof(target));
    target.sin_family = AF_INET;
    target.sin_port = htons(kXdmcpPort);
    target.sin_addr = *address;
    return target;
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
QueryTarget *Insert(QueryTarget **at, int queryKind, const void *address,
                    int length) {
    auto *target = static_cast<QueryTarget *>(std::malloc(sizeof(QueryTarget)));
    if (target == nullptr)
        return nullptr;
    *target = QueryTarget{};
    target->queryKind = queryKind;
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

// Hexadecimal first, so that an argument such as 12345678 is an address
// and never a decimal number or a name.
bool ParseAddress(const char *name, in_addr *address) {
    if (std::strlen(name) == kHexAddressLength &&
        HexToBytes(name, reinterpret_cast<CARD8 *>(address),
                   kHexAddressLength) == 0)
        return true;
    in_addr_t numeric = inet_addr(name);
    if (numeric == INADDR_NONE)
        return false;
    address->s_addr = numeric;
    return true;
}

// A numeric IPv6 address, "%interface" and all, at the XDMCP port.
bool ParseAddress6(const char *name, sockaddr_in6 *address) {
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return false;
    std::memcpy(address, found->ai_addr, sizeof(*address));
    address->sin6_port = htons(kXdmcpPort);
    freeaddrinfo(found);
    return true;
}

// The first address fills the name's record, the others follow it, in
// the order the resolver gave them.
void NameResolved(void *clientData, const sockaddr_storage *addresses,
                  int count) {
    auto *target = static_cast<QueryTarget *>(clientData);
    target->lookingUp = false;
    QueryTarget *last = target;
    for (int i = 0; i < count; i++) {
        sockaddr_storage address = addresses[i];
        int length = address.ss_family == AF_INET ? sizeof(sockaddr_in)
                                                  : sizeof(sockaddr_in6);
        reinterpret_cast<sockaddr_in *>(&address)->sin_port =
            htons(kXdmcpPort); // at the same place in both families
        QueryTarget *added =
            i == 0 ? (SetAddress(target, &address, length) ? target : nullptr)
                   : Insert(&last->next, kOpcodeQuery, &address, length);
        if (added == nullptr)
            continue;
        last = added;
        nameFound(added);
    }
}

// What a ping needs to know of an interface.
struct Interface {
    int index;
    unsigned flags; ///< IFF_UP, IFF_LOOPBACK, IFF_BROADCAST, IFF_MULTICAST
    bool enslaved;  ///< a port of a bridge or bond, which is asked instead
    bool broadcast; ///< has an IPv4 address with a broadcast address
    bool ipv6;      ///< has an IPv6 address
};

struct Interfaces {
    std::vector<Interface> all;
    std::vector<std::pair<int, in_addr_t>> sent; ///< IPv4 broadcasts
    void (*send)(const sockaddr *address, socklen_t length);
};

Interface *Find(Interfaces *interfaces, int index) {
    for (Interface &i : interfaces->all)
        if (i.index == index)
            return &i;
    return nullptr;
}

void TakeLink(const nlmsghdr *message, Interfaces *interfaces) {
    const auto *link = static_cast<const ifinfomsg *>(NLMSG_DATA(message));
    Interface found = {link->ifi_index, link->ifi_flags, false, false, false};
    int length = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr *a = IFLA_RTA(link); RTA_OK(a, length);
         a = RTA_NEXT(a, length))
        found.enslaved |= a->rta_type == IFLA_MASTER;
    interfaces->all.push_back(found);
}

// An IPv4 address with a broadcast address, on an interface that is up and
// broadcast-capable, sends its broadcast, once per interface; 0.0.0.0
// would reach only this machine (a /32, a peer address).
void TakeAddress(const nlmsghdr *message, Interfaces *interfaces) {
    const auto *address = static_cast<const ifaddrmsg *>(NLMSG_DATA(message));
    Interface *on = Find(interfaces, static_cast<int>(address->ifa_index));
    if (on == nullptr)
        return;
    on->ipv6 |= address->ifa_family == AF_INET6;
    in_addr broadcast = {INADDR_ANY};
    int length = static_cast<int>(IFA_PAYLOAD(message));
    for (const rtattr *a = IFA_RTA(address); RTA_OK(a, length);
         a = RTA_NEXT(a, length))
        if (address->ifa_family == AF_INET && a->rta_type == IFA_BROADCAST &&
            RTA_PAYLOAD(a) == sizeof(broadcast))
            std::memcpy(&broadcast, RTA_DATA(a), sizeof(broadcast));
    constexpr unsigned kBroadcasting = IFF_UP | IFF_BROADCAST;
    if (broadcast.s_addr == INADDR_ANY ||
        (on->flags & kBroadcasting) != kBroadcasting)
        return;
    on->broadcast = true;
    std::pair<int, in_addr_t> key = {on->index, broadcast.s_addr};
    auto &sent = interfaces->sent;
    if (std::find(sent.begin(), sent.end(), key) != sent.end())
        return;
    sent.push_back(key);
    sockaddr_in target = XdmcpAddress(&broadcast);
    interfaces->send(reinterpret_cast<sockaddr *>(&target), sizeof(target));
}

// Asks the kernel for a dump (RTM_GETLINK, RTM_GETADDR) of every family
// and hands each of its messages of type `each` (RTM_NEWLINK, RTM_NEWADDR)
// to `take`.  The kernel sends a dump of any length in parts.
void Dump(int fd, int type, int each,
          void (*take)(const nlmsghdr *, Interfaces *),
          Interfaces *interfaces) {
    struct {
        nlmsghdr header;
        rtgenmsg general;
    } request;
    std::memset(&request, 0, sizeof(request));
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = static_cast<unsigned short>(type);
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.general.rtgen_family = AF_UNSPEC;
    alignas(nlmsghdr) static char reply[kNetlinkPartSize];
    bool done = ::send(fd, &request, sizeof(request), 0) < 0;
    while (!done) {
        ssize_t left = recv(fd, reply, sizeof(reply), 0);
        if (left <= 0)
            break;
        auto *message = reinterpret_cast<nlmsghdr *>(reply);
        for (; NLMSG_OK(message, left); message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == NLMSG_DONE ||
                message->nlmsg_type == NLMSG_ERROR)
                done = true;
            else if (message->nlmsg_type == each)
                take(message, interfaces);
        }
    }
}

} // namespace

void AddTargetsForName(const char *name) {
    in_addr address;
    sockaddr_in6 address6;
    if (std::strcmp(name, kBroadcastName) == 0) {
        Insert(nullptr, kOpcodeBroadcastQuery, nullptr, 0);
    } else if (ParseAddress(name, &address)) {
        sockaddr_in target = XdmcpAddress(&address);
        AddQueryTarget(&target, sizeof(target), kOpcodeQuery);
    } else if (ParseAddress6(name, &address6)) {
        AddQueryTarget(&address6, sizeof(address6),
                       IN6_IS_ADDR_MULTICAST(&address6.sin6_addr)
                           ? kOpcodeBroadcastQuery
                           : kOpcodeQuery);
    } else if (char *copy = strdup(name)) {
        QueryTarget *target = Insert(nullptr, kOpcodeQuery, nullptr, 0);
        if (target != nullptr)
            target->name = copy;
        else
            std::free(copy);
    }
}

void AddQueryTarget(const void *address, int addressLength, int queryKind) {
    Insert(nullptr, queryKind, address, addressLength);
}

void LookUpTargetNames(void (*found)(const QueryTarget *target)) {
    nameFound = found;
    for (QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->name != nullptr && t->address == nullptr && !t->lookingUp)
            t->lookingUp = LookUpName(t->name, NameResolved, t);
}

// The interfaces and their addresses come from rtnetlink, which lists any
// number of them: the ioctl interface list has a fixed size and no IPv6,
// and getifaddrs reports an address without a broadcast address under its
// own or its peer's address.
void ForEachBroadcastAddress(void (*send)(const sockaddr *address,
                                          socklen_t length)) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return;
    Interfaces interfaces;
    interfaces.send = send;
    try {
        Dump(fd, RTM_GETLINK, RTM_NEWLINK, TakeLink, &interfaces);
        Dump(fd, RTM_GETADDR, RTM_NEWADDR, TakeAddress, &interfaces);
    } catch (const std::bad_alloc &) {
        // What was found so far is sent to.
    }
    close(fd);
    constexpr unsigned kMulticasting = IFF_UP | IFF_MULTICAST;
    for (const Interface &i : interfaces.all) {
        if (i.broadcast || !i.ipv6 || i.enslaved ||
            (i.flags & kMulticasting) != kMulticasting ||
            (i.flags & IFF_LOOPBACK) != 0)
            continue;
        sockaddr_in6 group{};
        group.sin6_family = AF_INET6;
        group.sin6_port = htons(kXdmcpPort);
        group.sin6_addr = kLinkGroup;
        group.sin6_scope_id = static_cast<uint32_t>(i.index);
        send(reinterpret_cast<sockaddr *>(&group), sizeof(group));
    }
}

bool IsQueryTarget(const HostKey &sender) {
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->queryKind == kOpcodeQuery && t->address != nullptr &&
            SenderKey(t->address) == sender)
            return true;
    return false;
}
