#include "selection/report.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/settings.h"
#include "xdmcp/wire.h"

namespace {

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
bool ConnectWithin(int fd, const sockaddr_in *address) {
    timeval limit = {kReportTimeoutMs / 1000, 0};
    return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) ==
               0 &&
           connect(fd, reinterpret_cast<const sockaddr *>(address),
                   sizeof(*address)) == 0;
}

} // namespace

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
    // A display manager that has gone away must not turn into a success.
    if (send(fd, report.data, report.pointer, MSG_NOSIGNAL) != report.pointer)
        Fail("Cannot send to vorn\n");
    close(fd);
}
