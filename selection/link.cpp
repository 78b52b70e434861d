#include "selection/link.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kTcpEstablished = 1; // the kernel's TCP_ESTABLISHED
constexpr std::size_t kBytesSentEnd =
    offsetof(tcp_info, tcpi_bytes_sent) + sizeof(__u64);
constexpr long kAnswerUs = 200000; // the kernel answers at once
// A line of /proc/net/tcp: its local port and its state.
constexpr char kTcpLine[] = " %*u: %*[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %x";

// One connection's diagnostics: a message, then its attributes.
Link OneLink(const nlmsghdr *message, unsigned port) {
    if (message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return Link::kNone;
    const auto *diag = static_cast<const inet_diag_msg *>(NLMSG_DATA(message));
    if (ntohs(diag->id.idiag_sport) != port ||
        diag->idiag_state != kTcpEstablished)
        return Link::kNone;
    int left = static_cast<int>(message->nlmsg_len -
                                NLMSG_LENGTH(sizeof(inet_diag_msg)));
    const auto *attribute = reinterpret_cast<const rtattr *>(diag + 1);
    for (; RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
        if (attribute->rta_type != INET_DIAG_INFO ||
            RTA_PAYLOAD(attribute) < kBytesSentEnd)
            continue;
        __u64 sent = 0;
        std::memcpy(&sent,
                    static_cast<const char *>(RTA_DATA(attribute)) +
                        offsetof(tcp_info, tcpi_bytes_sent),
                    sizeof(sent));
        return sent >= kSetupReplyBytes ? Link::kConnected : Link::kEstablished;
    }
    return Link::kUnmeasured; // a kernel older than the count
}

// Adds what `bytes` says to `*link`; true at the end of the answer.
bool Walk(const unsigned char *bytes, std::size_t size, unsigned port,
          Link *link) {
    for (std::size_t at = 0; at + sizeof(nlmsghdr) <= size;) {
        const auto *message = reinterpret_cast<const nlmsghdr *>(bytes + at);
        if (message->nlmsg_len < sizeof(nlmsghdr) ||
            message->nlmsg_len > size - at)
            break;
        if (message->nlmsg_type == NLMSG_DONE ||
            message->nlmsg_type == NLMSG_ERROR)
            return true;
        if (message->nlmsg_type == SOCK_DIAG_BY_FAMILY)
            *link = std::max(*link, OneLink(message, port));
        at += NLMSG_ALIGN(message->nlmsg_len);
    }
    return false;
}

// Asks for the established TCP connections of `family`, with their
// counts; false when the kernel cannot be asked.
bool Ask(int fd, int family, unsigned port, Link *link) {
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } ask{};
    ask.header.nlmsg_len = sizeof(ask);
    ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    ask.request.sdiag_family = static_cast<__u8>(family);
    ask.request.sdiag_protocol = IPPROTO_TCP;
    ask.request.idiag_states = 1U << kTcpEstablished;
    ask.request.idiag_ext = 1U << (INET_DIAG_INFO - 1);
    if (send(fd, &ask, sizeof(ask), 0) != static_cast<ssize_t>(sizeof(ask)))
        return false;
    alignas(nlmsghdr) unsigned char answer[32768];
    for (;;) {
        ssize_t n = recv(fd, answer, sizeof(answer), 0);
        if (n <= 0)
            return false;
        if (Walk(answer, static_cast<std::size_t>(n), port, link))
            return true;
    }
}

// Without the diagnostics, the kernel's table says which connections are
// established, and no more.
Link TableLink(unsigned port) {
    Link link = Link::kNone;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        FILE *file = std::fopen(table, "re");
        if (file == nullptr)
            continue;
        char line[512];
        while (std::fgets(line, sizeof(line), file) != nullptr) {
            unsigned local = 0;
            unsigned state = 0;
            if (std::sscanf(line, kTcpLine, &local, &state) == 2 &&
                local == port && state == kTcpEstablished)
                link = Link::kUnmeasured;
        }
        std::fclose(file);
    }
    return link;
}

} // namespace

Link HostLink(unsigned port) {
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return TableLink(port);
    timeval limit = {0, kAnswerUs};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    Link link = Link::kNone;
    bool asked =
        Ask(fd, AF_INET, port, &link) && Ask(fd, AF_INET6, port, &link);
    close(fd);
    return asked ? link : TableLink(port);
}

Link ReadLinks(const unsigned char *bytes, std::size_t size, unsigned port,
               Link link) {
    Walk(bytes, size, port, &link);
    return link;
}
