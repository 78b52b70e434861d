#include "xdmcp/discovery.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/warn.h"
#include "xdmcp/address.h"
#include "xdmcp/intake.h"
#include "xdmcp/interfaces.h"
#include "xdmcp/targets.h"
#include "xdmcp/wire.h"

int querySocket = -1;
int querySocket6 = -1;
int pingCount;

namespace {

// Room for the replies of a whole lab answering one broadcast at once: the
// kernel's default buffer holds only a few hundred small datagrams, and a
// reply dropped there is a host missing from the list.  The kernel
// doubles what is asked, and a small reply takes about 830 bytes of it:
// 16 MiB hold a burst of 20000.
constexpr int kReceiveBufferBytes = 8 << 20;
// A query to a link's multicast group stays on that link; one to a group of
// a wider scope (ff05::12b, say) may cross this many routers.
constexpr int kLinkHops = 1;
constexpr int kWiderHops = 8;

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
void EnlargeReceiveBuffer(int socket) {
    int size = kReceiveBufferBytes;
    if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) < 0)
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
}

// IPv6 replies on a socket of their own, so that IPv4 goes as it always
// went; where IPv6 is missing there is simply no such socket.
void OpenSocket6() {
    querySocket6 = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (querySocket6 < 0)
        return;
    int on = 1;
    setsockopt(querySocket6, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    EnlargeReceiveBuffer(querySocket6);
    WatchReadable(querySocket6, HandleReply);
}

// Sends are not checked: a failed one neither stops a ping nor is told.
// A multicast query goes out of the interface its address names, if any.
void Send(const WireBuffer *message, const sockaddr *address,
          socklen_t length) {
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(address);
    if (address->sa_family != AF_INET6) {
        SendMessage(querySocket, message, address, length);
        return;
    }
    if (querySocket6 < 0)
        return;
    if (IN6_IS_ADDR_MULTICAST(&in6->sin6_addr)) {
        int hops =
            IN6_IS_ADDR_MC_LINKLOCAL(&in6->sin6_addr) ? kLinkHops : kWiderHops;
        unsigned interface = in6->sin6_scope_id;
        setsockopt(querySocket6, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &hops,
                   sizeof(hops));
        setsockopt(querySocket6, IPPROTO_IPV6, IPV6_MULTICAST_IF, &interface,
                   sizeof(interface));
    }
    SendMessage(querySocket6, message, address, length);
}

// Whether targets were named at all: without any, nobody is asked, as
// always, and the heading and standard error say so.
bool targetsNamed;

void NameUnknown() {
    HeadingCanAsk(true, CanAskAny());
}

void SendQuery(const QueryTarget *target) {
    if (unicastReady)
        Send(&unicastQuery, target->address, target->addressLength);
}

void SendBroadcastQuery(const sockaddr *address) {
    if (broadcastReady)
        Send(&broadcastQuery, address, AddressLength(address));
}

// Every ping reads the interfaces anew: links come and go while the
// window is up (a late DHCP lease, a cable plugged in).
void SendToInterfaces() {
    for (const sockaddr_storage &address : BroadcastAddresses(ReadInterfaces()))
        SendBroadcastQuery(reinterpret_cast<const sockaddr *>(&address));
}

void AskAgain(XtPointer series, XtIntervalId *) noexcept {
    Ask(static_cast<AskSeries *>(series));
}

// Chains of timers overlap after an ask from 0 during a series, so the
// last of their end timers decides.
void AskingOver(XtPointer data, XtIntervalId *) noexcept {
    auto *series = static_cast<AskSeries *>(data);
    if (--series->endsPending == 0 && *series->asked >= kAsksPerSeries)
        series->over(series->data);
}

void Ping(void *data);
void PingsOver(void *) {
    SeriesEnded();
}
AskSeries pings = {Ping, PingsOver, nullptr, &pingCount, 0};

} // namespace

void Ask(AskSeries *series) {
    series->ask(series->data);
    if (++*series->asked < kAsksPerSeries) {
        StartTimer(kAskIntervalMs, AskAgain, series);
    } else {
        series->endsPending++;
        StartTimer(kAskIntervalMs, AskingOver, series);
    }
}

bool StartDiscovery(char **arguments) {
    broadcastReady = PrepareQuery(&broadcastQuery, kOpcodeBroadcastQuery);
    unicastReady = PrepareQuery(&unicastQuery, kOpcodeQuery);

    querySocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (querySocket < 0)
        return false;
    int on = 1;
    if (setsockopt(querySocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) < 0)
        Warn("cannot broadcast: %s", std::strerror(errno));
    EnlargeReceiveBuffer(querySocket);
    WatchReadable(querySocket, HandleReply);
    OpenSocket6();

    for (; *arguments != nullptr; arguments++) {
        AddTargetsForName(*arguments);
        targetsNamed = true;
    }
    if (!targetsNamed)
        Warn("no host to ask was given (try BROADCAST)");
    pingCount = 0;
    SendQueries();
    return true;
}

void SendQueries() {
    Ask(&pings);
}

namespace {

void Ping(void *) {
    if (pingCount == 0) {
        HeadingCanAsk(targetsNamed, CanAskAny());
        SeriesStarted();
        LookUpTargetNames(SendQuery, NameUnknown);
    }
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next) {
        switch (t->kind) {
        case TargetKind::kBroadcast:
            SendToInterfaces();
            break;
        case TargetKind::kGroup:
            SendBroadcastQuery(t->address);
            break;
        case TargetKind::kAddress:
        case TargetKind::kName: // once its look-up has found an address
            if (t->address != nullptr)
                SendQuery(t);
            break;
        case TargetKind::kRefused:
            break;
        }
    }
}

} // namespace

void SendQueryTo(const sockaddr *address) {
    if (unicastReady)
        Send(&unicastQuery, address, AddressLength(address));
}
