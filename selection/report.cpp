#include "selection/report.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/settings.h"
#include "xdmcp/wire.h"

namespace {

constexpr int kReportAreaSize = 1024;  // a longer report is cut here
constexpr int kVornAddressSize = 8;    // family, port, IPv4 address
constexpr int kVorn6AddressSize = 24;  // family, port, flow label, address
constexpr int kVorn6ScopedSize = 28;   // and the scope id
constexpr int kReportTimeoutMs = 5000; // for the connection and the send

[[noreturn]] void Fail(const char *message) {
    std::fputs(message, stderr);
    std::exit(1);
}

// Flushed at once: a choice that cannot be written (a full disk, a reader
// gone, whose SIGPIPE start-up ignores) is a failure, not an exit 0.
void PrintChoice(const HostEntry *entry) {
    std::printf("%u\n", static_cast<unsigned>(entry->connectionType));
    const ARRAY8 *address = &entry->hostAddress;
    for (int i = 0; i < address->length; i++)
        std::printf("%u%s", static_cast<unsigned>(address->data[i]),
                    i + 1 < address->length ? " " : "\n");
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        Fail("Cannot write the choice to standard output\n");
}

// A display manager answers within milliseconds; one behind a route that
// drops packets would otherwise hold the window for minutes of SYN
// retransmissions.  Linux bounds connect by the send timeout as well.
bool ConnectWithin(int fd, const sockaddr *address, socklen_t length) {
    timeval limit = {kReportTimeoutMs / 1000, 0};
    return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) ==
               0 &&
           connect(fd, address, length) == 0;
}

// The socket address that vornAddress's bytes give for `family`; its
// length, or 0 when they give none.
socklen_t VornAddress(const ARRAY8 *vorn, int family,
                      sockaddr_storage *address) {
    std::memset(address, 0, sizeof(*address));
    if (family == AF_INET) {
        auto *in = reinterpret_cast<sockaddr_in *>(address);
        in->sin_family = AF_INET;
        std::memcpy(&in->sin_port, vorn->data + 2, sizeof(in->sin_port));
        std::memcpy(&in->sin_addr, vorn->data + 4, sizeof(in->sin_addr));
        return sizeof(*in);
    }
    if (family != AF_INET6 || vorn->length < kVorn6AddressSize)
        return 0;
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(address);
    in6->sin6_family = AF_INET6;
    std::memcpy(&in6->sin6_port, vorn->data + 2, sizeof(in6->sin6_port));
    std::memcpy(&in6->sin6_addr, vorn->data + 8, sizeof(in6->sin6_addr));
    if (vorn->length >= kVorn6ScopedSize)
        std::memcpy(&in6->sin6_scope_id, vorn->data + kVorn6AddressSize,
                    sizeof(in6->sin6_scope_id));
    return sizeof(*in6);
}

} // namespace

void ReportChoice(const HostEntry *entry) {
    const ARRAY8 *vorn = settings.vornAddress;
    if (vorn == nullptr) {
        PrintChoice(entry);
        return;
    }
    // An address too short to hold family, port and IPv4 address (or IPv6
    // address) cannot be reached; its bytes beyond the end are never read.
    if (vorn->length < kVornAddressSize)
        Fail("Cannot connect to vorn\n");
    int family = vorn->data[0] * 256 + vorn->data[1];

    int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Fail("Cannot create response socket\n");
    sockaddr_storage address;
    socklen_t length = VornAddress(vorn, family, &address);
    if (length == 0 ||
        !ConnectWithin(fd, reinterpret_cast<sockaddr *>(&address), length))
        Fail("Cannot connect to vorn\n");

    // Fields that do not fit in the area are cut: exactly its first 1024
    // bytes go out.  An absent client address is sent as an empty one.
    CARD8 area[kReportAreaSize];
    WireBuffer report = {area, kReportAreaSize, 0, 0};
    const ARRAY8 empty = {0, nullptr};
    WriteArray8(&report, settings.clientAddress != nullptr
                             ? settings.clientAddress
                             : &empty);
    WriteCard16(&report, static_cast<unsigned>(settings.connectionType));
    WriteArray8(&report, &entry->hostAddress);
    // A display manager that has gone away must not turn into a success.
    if (send(fd, report.data, report.pointer, MSG_NOSIGNAL) != report.pointer)
        Fail("Cannot send to vorn\n");
    close(fd);
}
