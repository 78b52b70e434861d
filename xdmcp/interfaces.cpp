// rtnetlink lists any number of interfaces and every family: the ioctl
// interface list has a fixed size and no IPv6, and getifaddrs reports an
// address without a broadcast address under its own or its peer's address.

#include "xdmcp/interfaces.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int kNetlinkPartSize = 32768;

using Interfaces = std::vector<Interface>;

void ReadLink(const nlmsghdr *message, Interfaces *interfaces) {
    const auto *link = static_cast<const ifinfomsg *>(NLMSG_DATA(message));
    Interface found{};
    found.index = link->ifi_index;
    found.flags = link->ifi_flags;
    int length = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr *a = IFLA_RTA(link); RTA_OK(a, length);
         a = RTA_NEXT(a, length)) {
        found.enslaved |= a->rta_type == IFLA_MASTER;
        if (a->rta_type == IFLA_IFNAME)
            std::memcpy(
                found.name, RTA_DATA(a),
                std::min<std::size_t>(RTA_PAYLOAD(a), sizeof(found.name) - 1));
    }
    interfaces->push_back(found);
}

void ReadAddress(const nlmsghdr *message, Interfaces *interfaces) {
    const auto *address = static_cast<const ifaddrmsg *>(NLMSG_DATA(message));
    auto on = std::find_if(
        interfaces->begin(), interfaces->end(), [&](const Interface &i) {
            return i.index == static_cast<int>(address->ifa_index);
        });
    if (on == interfaces->end())
        return;
    on->ipv6 |= address->ifa_family == AF_INET6;
    int length = static_cast<int>(IFA_PAYLOAD(message));
    for (const rtattr *a = IFA_RTA(address); RTA_OK(a, length);
         a = RTA_NEXT(a, length)) {
        in_addr broadcast;
        if (address->ifa_family == AF_INET && a->rta_type == IFA_BROADCAST &&
            RTA_PAYLOAD(a) == sizeof(broadcast)) {
            std::memcpy(&broadcast, RTA_DATA(a), sizeof(broadcast));
            on->broadcasts.push_back(broadcast);
        }
    }
}

// Asks the kernel for a dump (RTM_GETLINK, RTM_GETADDR) of every family
// and hands each of its messages of type `each` (RTM_NEWLINK, RTM_NEWADDR)
// to `read`.  The kernel sends a dump of any length in parts.
void Dump(int fd, int type, int each,
          void (*read)(const nlmsghdr *, Interfaces *),
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
                read(message, interfaces);
        }
    }
}

} // namespace

std::vector<Interface> ReadInterfaces() {
    Interfaces interfaces;
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return interfaces;
    try {
        Dump(fd, RTM_GETLINK, RTM_NEWLINK, ReadLink, &interfaces);
        Dump(fd, RTM_GETADDR, RTM_NEWADDR, ReadAddress, &interfaces);
    } catch (const std::bad_alloc &) {
        // What was read so far is used.
    }
    close(fd);
    return interfaces;
}
