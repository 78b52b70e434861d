#include "xdmcp/discovery.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/resolver.h"
#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/settings.h"
#include "xdmcp/intake.h"
#include "xdmcp/wire.h"

QueryTarget *queryTargets;
int querySocket = -1;
int pingCount;

namespace {

constexpr int kLastArmingPing = 2; // so a series has three pings
constexpr int kNetlinkPartSize = 32768;
constexpr int kHexAddressLength = 8;
// Room for the replies of a whole lab answering one broadcast at once: the
// kernel's default buffer holds only a few hundred small datagrams, and a
// reply dropped there is a host missing from the list.  The kernel
// doubles what is asked, and a small reply takes about 830 bytes of it:
// 16 MiB hold a burst of 20000.
constexpr int kReceiveBufferBytes = 8 << 20;

WireBuffer broadcastQuery;
WireBuffer unicastQuery;
ARRAYofARRAY8 authNames;
// A message whose preparation failed is left out of every ping rather
// than sent as an empty or partial datagram.
bool broadcastReady;
bool unicastReady;

bool PrepareQuery(WireBuffer *message, CARD16 opcode) {
    unsigned length = 1;
    for (int i = 0; i < authNames.count; i++)
        length += 2 + authNames.data[i].length;
    MessageHeader header = {kXdmcpVersion, opcode, static_cast<CARD16>(length)};
    return WriteHeader(message, &header) &&
           WriteArrayOfArray8(message, &authNames);
}

// Beyond the system's limit only with privilege, which a program started
// by a display manager usually has; otherwise as far as the limit allows.
// Either may fail: the socket then keeps the size it has, without a word.
void EnlargeReceiveBuffer() {
    int size = kReceiveBufferBytes;
    if (setsockopt(querySocket, SOL_SOCKET, SO_RCVBUFFORCE, &size,
                   sizeof(size)) < 0)
        setsockopt(querySocket, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

sockaddr_in XdmcpAddress(const in_addr *address) {
    sockaddr_in target;
    std::memset(&target, 0, sizeof(target));
    target.sin_family = AF_INET;
    target.sin_port = htons(kXdmcpPort);
    target.sin_addr = *address;
    return target;
}

// One address from the kernel's list: a target when it has a broadcast
// address and its interface is up and broadcast-capable.
void AddBroadcastTarget(const nlmsghdr *message) {
    const auto *address = static_cast<const ifaddrmsg *>(NLMSG_DATA(message));
    if (address->ifa_family != AF_INET)
        return;
    in_addr broadcast = {INADDR_ANY};
    int length = static_cast<int>(IFA_PAYLOAD(message));
    for (const rtattr *a = IFA_RTA(address); RTA_OK(a, length);
         a = RTA_NEXT(a, length))
        if (a->rta_type == IFA_BROADCAST && RTA_PAYLOAD(a) == sizeof(broadcast))
            std::memcpy(&broadcast, RTA_DATA(a), sizeof(broadcast));
    // Without one (a /32 or a peer address) nothing is sent: 0.0.0.0 would
    // reach only this machine.
    if (broadcast.s_addr == INADDR_ANY)
        return;
    ifreq request;
    std::memset(&request, 0, sizeof(request));
    if (if_indextoname(address->ifa_index, request.ifr_name) == nullptr ||
        ioctl(querySocket, SIOCGIFFLAGS, &request) == -1 ||
        !(request.ifr_flags & IFF_BROADCAST) || !(request.ifr_flags & IFF_UP))
        return;
    sockaddr_in target = XdmcpAddress(&broadcast);
    AddQueryTarget(&target, sizeof(target), kOpcodeBroadcastQuery);
}

// The addresses come from rtnetlink, as a dump of any length: the ioctl
// interface list has a fixed size, and getifaddrs reports an address
// without a broadcast address under its own or its peer's address.
void AddBroadcastTargets() {
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
    // The kernel sends the dump in parts no larger than this.
    alignas(nlmsghdr) static char reply[kNetlinkPartSize];
    bool done = send(fd, &request, sizeof(request), 0) < 0;
    while (!done) {
        ssize_t left = recv(fd, reply, sizeof(reply), 0);
        if (left <= 0)
            break;
        auto *message = reinterpret_cast<nlmsghdr *>(reply);
        for (; NLMSG_OK(message, left); message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == NLMSG_DONE ||
                message->nlmsg_type == NLMSG_ERROR)
                done = true;
            else if (message->nlmsg_type == RTM_NEWADDR)
                AddBroadcastTarget(message);
        }
    }
    close(fd);
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

// A name resolved in the background joins the targets when its answer
// comes, and is asked at once rather than at the next ping of the series,
// if any is left.
void NameResolved(void * /*clientData*/, const in_addr *address,
                  const char * /*name*/) {
    if (address == nullptr)
        return;
    sockaddr_in target = XdmcpAddress(address);
    AddQueryTarget(&target, sizeof(target), kOpcodeQuery);
    if (unicastReady)
        SendMessage(querySocket, &unicastQuery,
                    reinterpret_cast<sockaddr *>(&target), sizeof(target));
}

// The search is over when the last ping of every chain of timers has had
// a ping interval for its answers.  Chains overlap after a Ping during a
// series, so the last of their end timers decides.
int seriesEndTimers;

void SeriesOver(XtPointer, XtIntervalId *) {
    if (--seriesEndTimers == 0 && pingCount > kLastArmingPing)
        SearchEnded();
}

} // namespace

int StartDiscovery(char **arguments) {
    broadcastReady = PrepareQuery(&broadcastQuery, kOpcodeBroadcastQuery);
    unicastReady = PrepareQuery(&unicastQuery, kOpcodeQuery);

    querySocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (querySocket < 0)
        return 0;
    int on = 1;
    if (setsockopt(querySocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) < 0)
        perror("setsockopt");
    EnlargeReceiveBuffer();
    WatchReadable(querySocket, HandleReply);

    // Targets come after the socket: the interface list is read through it.
    for (; *arguments != nullptr; arguments++)
        AddTargetsForName(*arguments);
    pingCount = 0;
    SendQueries();
    return 1;
}

void AddTargetsForName(const char *name) {
    if (std::strcmp(name, kBroadcastName) == 0) {
        AddBroadcastTargets();
        return;
    }
    in_addr address;
    if (ParseAddress(name, &address)) {
        sockaddr_in target = XdmcpAddress(&address);
        AddQueryTarget(&target, sizeof(target), kOpcodeQuery);
        return;
    }
    if (LookUpName(name, NameResolved, nullptr))
        return;
    // Without a worker to ask, the window waits for the answer.
    const hostent *host = gethostbyname(name);
    if (host != nullptr && host->h_addrtype == AF_INET &&
        host->h_length == sizeof(address)) {
        std::memcpy(&address, host->h_addr_list[0], sizeof(address));
        sockaddr_in target = XdmcpAddress(&address);
        AddQueryTarget(&target, sizeof(target), kOpcodeQuery);
    }
}

void AddQueryTarget(const void *address, int addressLength, int queryKind) {
    auto *target = static_cast<QueryTarget *>(std::malloc(sizeof(QueryTarget)));
    if (target == nullptr)
        return;
    target->address = static_cast<sockaddr *>(std::malloc(addressLength));
    if (target->address == nullptr) {
        std::free(target);
        return;
    }
    std::memcpy(target->address, address, addressLength);
    target->addressLength = addressLength;
    target->queryKind = queryKind;
    target->next = nullptr;

    // Targets are few (one per argument or interface): walking to the
    // tail costs nothing worth a second pointer to keep in step.
    QueryTarget **tail = &queryTargets;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = target;
}

// No timer is ever cancelled: a Ping during a series lets the earlier
// timers run on, and they count against the same pingCount.
void SendQueries(XtPointer /*clientData*/, XtIntervalId * /*id*/) {
    if (pingCount == 0)
        SearchStarted();
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next) {
        bool unicast = t->queryKind == kOpcodeQuery;
        if (!(unicast ? unicastReady : broadcastReady))
            continue;
        SendMessage(querySocket, unicast ? &unicastQuery : &broadcastQuery,
                    t->address, t->addressLength);
    }
    if (++pingCount <= kLastArmingPing) {
        StartTimer(kPingIntervalMs, SendQueries);
    } else {
        seriesEndTimers++;
        StartTimer(kPingIntervalMs, SeriesOver);
    }
}
