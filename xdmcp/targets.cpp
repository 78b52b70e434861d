#include "xdmcp/targets.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/ioctl.h>
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

// A new target at the tail of the list, with a copy of `address` unless
// that is null; null when memory runs out, and nothing is appended.
QueryTarget *Append(int queryKind, const void *address, int length) {
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
    QueryTarget **tail = &queryTargets;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = target;
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

void NameResolved(void *clientData, const in_addr *address,
                  const char * /*name*/) {
    auto *target = static_cast<QueryTarget *>(clientData);
    target->lookingUp = false;
    if (address == nullptr)
        return;
    sockaddr_in found = XdmcpAddress(address);
    if (SetAddress(target, &found, sizeof(found)))
        nameFound(target);
}

// The broadcast address of one address from the kernel's list, when it
// has one and its interface is up and broadcast-capable; else 0.0.0.0,
// which would reach only this machine (a /32 or a peer address).
in_addr BroadcastAddress(int fd, const nlmsghdr *message) {
    const auto *address = static_cast<const ifaddrmsg *>(NLMSG_DATA(message));
    in_addr broadcast = {INADDR_ANY};
    if (address->ifa_family != AF_INET)
        return broadcast;
    int length = static_cast<int>(IFA_PAYLOAD(message));
    for (const rtattr *a = IFA_RTA(address); RTA_OK(a, length);
         a = RTA_NEXT(a, length))
        if (a->rta_type == IFA_BROADCAST && RTA_PAYLOAD(a) == sizeof(broadcast))
            std::memcpy(&broadcast, RTA_DATA(a), sizeof(broadcast));
    ifreq request;
    std::memset(&request, 0, sizeof(request));
    if (if_indextoname(address->ifa_index, request.ifr_name) == nullptr ||
        ioctl(fd, SIOCGIFFLAGS, &request) == -1 ||
        !(request.ifr_flags & IFF_BROADCAST) || !(request.ifr_flags & IFF_UP))
        broadcast.s_addr = INADDR_ANY;
    return broadcast;
}

} // namespace

void AddTargetsForName(const char *name) {
    in_addr address;
    if (std::strcmp(name, kBroadcastName) == 0) {
        Append(kOpcodeBroadcastQuery, nullptr, 0);
    } else if (ParseAddress(name, &address)) {
        sockaddr_in target = XdmcpAddress(&address);
        AddQueryTarget(&target, sizeof(target), kOpcodeQuery);
    } else if (char *copy = strdup(name)) {
        QueryTarget *target = Append(kOpcodeQuery, nullptr, 0);
        if (target != nullptr)
            target->name = copy;
        else
            std::free(copy);
    }
}

void AddQueryTarget(const void *address, int addressLength, int queryKind) {
    Append(queryKind, address, addressLength);
}

void LookUpTargetNames(void (*found)(const QueryTarget *target)) {
    nameFound = found;
    for (QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->name != nullptr && t->address == nullptr && !t->lookingUp)
            t->lookingUp = LookUpName(t->name, NameResolved, t);
}

// The addresses come from rtnetlink, as a dump of any length: the ioctl
// interface list has a fixed size, and getifaddrs reports an address
// without a broadcast address under its own or its peer's address.
void ForEachBroadcastAddress(void (*send)(const sockaddr_in *address)) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return;
    struct {
        nlmsghdr header;
        ifaddrmsg address;
    } request;
    std::memset(&request, 0, sizeof(request));
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.address.ifa_family = AF_INET;
    // Each interface's broadcast addresses sent to so far.
    std::vector<std::pair<int, in_addr_t>> sent;
    // The kernel sends the dump in parts no larger than this.
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
            if (message->nlmsg_type != RTM_NEWADDR)
                continue;
            in_addr broadcast = BroadcastAddress(fd, message);
            std::pair<int, in_addr_t> key = {
                static_cast<const ifaddrmsg *>(NLMSG_DATA(message))->ifa_index,
                broadcast.s_addr};
            if (broadcast.s_addr == INADDR_ANY ||
                std::find(sent.begin(), sent.end(), key) != sent.end())
                continue;
            try {
                sent.push_back(key);
            } catch (const std::bad_alloc &) {
                // Sent all the same: a copy too many beats none.
            }
            sockaddr_in target = XdmcpAddress(&broadcast);
            send(&target);
        }
    }
    close(fd);
}

bool IsQueryTarget(const sockaddr_in *sender) {
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next) {
        const auto *address = reinterpret_cast<const sockaddr_in *>(t->address);
        if (t->queryKind == kOpcodeQuery && address != nullptr &&
            address->sin_addr.s_addr == sender->sin_addr.s_addr)
            return true;
    }
    return false;
}
