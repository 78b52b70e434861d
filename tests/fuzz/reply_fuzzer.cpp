// Feeds arbitrary datagrams to the program's reply intake as the network
// would: each input is sent over loopback from one of ten sender
// addresses, IPv4, IPv6 and IPv4-mapped IPv6, to the query socket of its
// family, and HandleReply takes it into the real host table and list
// widget.  The same bytes then go through the codec's
// readers on their own.
//
// Beyond crashes and sanitizer reports, each input is checked against an
// independent reading of the protocol: a well-formed reply must leave its
// sender's entry with exactly the status it carried, anything else must
// leave the table as it was, exactly one datagram is taken per call, and
// the list stays sorted and holds exactly the listed entries.
//
// Runs in a network namespace of its own, on the X server named by
// $DISPLAY.
#include <X11/Intrinsic.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "hosts/line.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "shell/loop.h"
#include "shell/startup.h"
#include "shell/window.h"
#include "tests/lab/isolate.h"
#include "xdmcp/address.h"
#include "xdmcp/discovery.h"
#include "xdmcp/intake.h"
#include "xdmcp/wire.h"

namespace {

// 127.0.0.1 (which resolves) to .8, and ::1 and the IPv4-mapped
// ::ffff:127.0.0.9 on the IPv6 socket.
constexpr int kSenders = 10;
constexpr const char *kSenderAddresses[kSenders] = {
    "127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5",
    "127.0.0.6", "127.0.0.7", "127.0.0.8", "::1",       "::ffff:127.0.0.9"};
constexpr int kClearEvery = 256; // inputs between two ClearHosts
int senderSockets[kSenders];
sockaddr_storage senderAddresses[kSenders];
sockaddr_storage intakeAddresses[kSenders]; // where each sender sends
int inputsRun;

void Fail(const char *what) {
    std::fprintf(stderr, "reply_fuzzer: %s\n", what);
    std::abort();
}

// A socket bound to `address`, IPv4 or IPv6; an IPv4-mapped one on a
// dual-stack IPv6 socket.
int BoundUdpSocket(const char *address, sockaddr_storage *bound) {
    sockaddr_storage local{};
    auto *in = reinterpret_cast<sockaddr_in *>(&local);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&local);
    bool v6 = inet_pton(AF_INET6, address, &in6->sin6_addr) == 1;
    local.ss_family = v6 ? AF_INET6 : AF_INET;
    if (!v6)
        inet_pton(AF_INET, address, &in->sin_addr);
    int fd = socket(local.ss_family, SOCK_DGRAM, 0);
    int off = 0;
    if (v6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
    socklen_t length = v6 ? sizeof(*in6) : sizeof(*in);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&local), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(bound), &length) != 0)
        Fail("cannot bind a loopback socket");
    return fd;
}

socklen_t Length(const sockaddr_storage &address) {
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6)
                                         : sizeof(sockaddr_in);
}

// What a reply should do, read without the program's codec.
struct Expected {
    bool wellFormed;
    bool willing;
    std::span<const uint8_t> status;
};

unsigned Card16(std::span<const uint8_t> bytes, std::size_t at) {
    return (bytes[at] << 8) | bytes[at + 1];
}

// Reads one counted field at `at`; false when it runs past the end.
bool Field(std::span<const uint8_t> bytes, std::size_t *at,
           std::span<const uint8_t> *field) {
    if (*at + 2 > bytes.size())
        return false;
    std::size_t length = Card16(bytes, *at);
    if (*at + 2 + length > bytes.size())
        return false;
    *field = bytes.subspan(*at + 2, length);
    *at += 2 + length;
    return true;
}

Expected Expect(std::span<const uint8_t> datagram) {
    Expected expected{false, false, {}};
    if (datagram.size() > static_cast<std::size_t>(kStandardBodySize))
        datagram = datagram.first(kStandardBodySize);
    if (datagram.size() < static_cast<std::size_t>(kHeaderSize) ||
        Card16(datagram, 0) != kXdmcpVersion)
        return expected;
    unsigned opcode = Card16(datagram, 2);
    std::size_t at = kHeaderSize;
    std::span<const uint8_t> field;
    if (opcode == kOpcodeWilling) {
        if (!Field(datagram, &at, &field)) // authentication name
            return expected;
        expected.willing = true;
    } else if (opcode != kOpcodeUnwilling) {
        return expected;
    }
    if (!Field(datagram, &at, &field) || // hostname
        !Field(datagram, &at, &expected.status))
        return expected;
    expected.wellFormed = at - kHeaderSize == Card16(datagram, 4);
    // The table keeps one byte beyond its limit, which marks the cut.
    expected.status = expected.status.first(
        std::min<std::size_t>(expected.status.size(), kMostStatusBytes + 1));
    return expected;
}

HostEntry *EntryFor(const sockaddr_storage &sender) {
    return FindHost(SenderKey(reinterpret_cast<const sockaddr *>(&sender)));
}

bool HasStatus(const HostEntry *entry, std::span<const uint8_t> status) {
    return entry->status.length == status.size() &&
           (status.empty() ||
            std::memcmp(entry->status.data, status.data(), status.size()) == 0);
}

void CheckTable() {
    int entries = 0;
    for (HostEntry *entry = hostEntries; entry != nullptr;
         entry = entry->next) {
        if (entry->displayLine == nullptr)
            Fail("an entry without a display line");
        for (HostEntry *other = entry->next; other != nullptr;
             other = other->next)
            if (other->connectionType == entry->connectionType &&
                Array8Equal(&other->hostAddress, &entry->hostAddress))
                Fail("two entries for one sender");
        entries++;
    }
    if (entries != hostCount)
        Fail("hostCount disagrees with the table");
    int listed = 0;
    for (HostEntry *entry = hostEntries; entry != nullptr; entry = entry->next)
        listed += entry->listed;
    const std::vector<HostEntry *> &lines = ListedHosts();
    if (listed != static_cast<int>(lines.size()))
        Fail("the lines are not those of the listed entries");
    for (std::size_t i = 1; i < lines.size(); i++)
        if (std::strcmp(lines[i - 1]->displayLine, lines[i]->displayLine) > 0)
            Fail("the list is not sorted");
}

void CheckCodecReaders(std::span<const uint8_t> bytes) {
    static CARD8 copy[65536];
    if (bytes.size() > sizeof(copy))
        bytes = bytes.first(sizeof(copy));
    std::memcpy(copy, bytes.data(), bytes.size());
    WireBuffer buffer{copy, static_cast<int>(bytes.size()), 0,
                      static_cast<int>(bytes.size())};
    MessageHeader header;
    if (!ReadHeader(&buffer, &header))
        return;
    for (int step = 0;; step++) {
        CARD8 card8;
        CARD16 card16;
        ARRAY8 array = {0, nullptr};
        int read = step % 3 == 0   ? ReadArray8(&buffer, &array)
                   : step % 3 == 1 ? ReadCard16(&buffer, &card16)
                                   : ReadCard8(&buffer, &card8);
        if (buffer.pointer > buffer.count)
            Fail("a reader went past the end of the buffer");
        if (!read && (array.data != nullptr || array.length != 0))
            Fail("a failed ReadArray8 left a body");
        ReleaseArray8(&array);
        if (!read)
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
    if (!IsolateNetwork())
        std::exit(1);
    static int xtArgc = 1;
    static char name[] = "hostpick";
    static char *xtArgv[] = {name, nullptr};
    OpenWindow(&xtArgc, xtArgv);

    // The IPv6 socket takes IPv4 as well, as IPv4-mapped senders.
    sockaddr_storage intake;
    sockaddr_storage intake6;
    querySocket = BoundUdpSocket("127.0.0.1", &intake);
    querySocket6 = BoundUdpSocket("::", &intake6);
    for (int i = 0; i < kSenders; i++) {
        senderSockets[i] =
            BoundUdpSocket(kSenderAddresses[i], &senderAddresses[i]);
        intakeAddresses[i] = intake;
        if (senderAddresses[i].ss_family == AF_INET6) {
            auto *to = reinterpret_cast<sockaddr_in6 *>(&intakeAddresses[i]);
            *to = *reinterpret_cast<sockaddr_in6 *>(&intake6);
            inet_pton(AF_INET6, i == kSenders - 1 ? "::ffff:127.0.0.1" : "::1",
                      &to->sin6_addr);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    std::span<const uint8_t> datagram(data, size);
    unsigned hash = 0;
    for (uint8_t byte : datagram)
        hash = hash * 31 + byte;
    int sender = static_cast<int>(hash % kSenders);

    if (++inputsRun % kClearEvery == 0)
        ClearHosts();
    int countBefore = hostCount;
    HostEntry *entry = EntryFor(senderAddresses[sender]);
    ARRAY8 statusBefore = {0, nullptr};
    int willingBefore = 0;
    if (entry != nullptr) {
        AllocArray8(&statusBefore, entry->status.length);
        if (entry->status.length != 0)
            std::memcpy(statusBefore.data, entry->status.data,
                        entry->status.length);
        willingBefore = entry->willing;
    }

    const sockaddr_storage &intake = intakeAddresses[sender];
    int *socket = intake.ss_family == AF_INET6 ? &querySocket6 : &querySocket;
    if (sendto(senderSockets[sender], data, size, 0,
               reinterpret_cast<const sockaddr *>(&intake),
               Length(intake)) != static_cast<ssize_t>(size))
        return 0; // too large for one datagram: nothing to take in
    HandleReply(nullptr, socket, nullptr);
    // Answers of name look-ups and the list's timers, as the event loop
    // would take them.
    while (XtAppPending(appContext) != 0)
        XtAppProcessEvent(appContext, XtIMAll);
    char leftover;
    if (recv(*socket, &leftover, 1, MSG_DONTWAIT) >= 0)
        Fail("a datagram was left on the socket");

    Expected expected = Expect(datagram);
    HostEntry *after = EntryFor(senderAddresses[sender]);
    if (expected.wellFormed) {
        if (after == nullptr || !HasStatus(after, expected.status))
            Fail("a well-formed reply was not recorded");
        bool statusChanged =
            entry == nullptr ||
            !HasStatus(after, {statusBefore.data, statusBefore.length});
        if (statusChanged && after->willing != (expected.willing ? 1 : 0))
            Fail("a recorded reply has the wrong willing flag");
    } else {
        if (hostCount != countBefore || after != entry ||
            (entry != nullptr &&
             (!HasStatus(entry, {statusBefore.data, statusBefore.length}) ||
              entry->willing != willingBefore)))
            Fail("a malformed datagram changed the table");
    }
    ReleaseArray8(&statusBefore);
    CheckTable();
    CheckCodecReaders(datagram);
    return 0;
}
