#include "selection/report.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/settings.h"
#include "xdmcp/wire.h"

static void PrintChoice(const HostEntry *entry) {
    std::printf("%u\n", static_cast<unsigned>(entry->connectionType));
    const ARRAY8 *address = &entry->hostAddress;
    for (int i = 0; i < address->length; i++)
        std::printf("%u%s", static_cast<unsigned>(address->data[i]),
                    i + 1 < address->length ? " " : "\n");
}

[[noreturn]] static void Fail(const char *message) {
    std::fputs(message, stderr);
    std::exit(1);
}

// A display manager answers within milliseconds; one behind a route that
// drops packets would otherwise hold the window for minutes of SYN
// retransmissions.
static int ConnectWithin(int fd, const sockaddr_in *address) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return 0;
    if (connect(fd, reinterpret_cast<const sockaddr *>(address),
                sizeof(*address)) < 0) {
        if (errno != EINPROGRESS)
            return 0;
        using Clock = std::chrono::steady_clock;
        auto deadline =
            Clock::now() + std::chrono::milliseconds(kReportTimeoutMs);
        pollfd wait = {fd, POLLOUT, 0};
        int ready;
        do {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            ready = poll(&wait, 1, left.count() > 0 ? left.count() : 0);
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof(error);
        if (ready != 1 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0 ||
            error != 0)
            return 0;
    }
    // The send, too, must not wait longer than the connection may.
    timeval limit = {kReportTimeoutMs / 1000, 0};
    return fcntl(fd, F_SETFL, flags) == 0 &&
           setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) == 0;
}

void ReportChoice(const HostEntry *entry) {
    const ARRAY8 *vorn = settings.vornAddress;
    if (vorn == nullptr) {
        PrintChoice(entry);
        return;
    }
    // An address too short to hold family, port and IPv4 address cannot be
    // reached; its bytes beyond the end are never read.
    if (vorn->length < kVornAddressSize)
        Fail("Cannot connect to vorn\n");
    int family = vorn->data[0] * 256 + vorn->data[1];

    int fd = socket(family, SOCK_STREAM, 0);
    if (fd < 0)
        Fail("Cannot create response socket\n");
    sockaddr_in address;
    std::memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_port, vorn->data + 2, sizeof(address.sin_port));
    std::memcpy(&address.sin_addr, vorn->data + 4, sizeof(address.sin_addr));
    if (family != AF_INET || !ConnectWithin(fd, &address))
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
    // A display manager that has gone away must not turn into a SIGPIPE,
    // nor into a success.
    if (send(fd, report.data, report.pointer, MSG_NOSIGNAL) != report.pointer)
        Fail("Cannot send to vorn\n");
    close(fd);
}
