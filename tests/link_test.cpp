#include <gtest/gtest.h>

#include "selection/link.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tests/lab/poll.h"

namespace {

// One connection as the kernel reports it: local port 6001, `state`, and
// a tcp_info of `info` bytes (none for 0) that counts `sent` bytes sent.
std::vector<unsigned char> Message(unsigned char state, std::size_t info,
                                   unsigned long long sent,
                                   unsigned port = 6001) {
    std::size_t length =
        NLMSG_LENGTH(sizeof(inet_diag_msg)) + (info > 0 ? RTA_SPACE(info) : 0);
    std::vector<unsigned char> bytes(NLMSG_ALIGN(length));
    auto *header = reinterpret_cast<nlmsghdr *>(bytes.data());
    *header = {static_cast<__u32>(length), SOCK_DIAG_BY_FAMILY, 0, 0, 0};
    auto *diag = static_cast<inet_diag_msg *>(NLMSG_DATA(header));
    diag->idiag_state = state;
    diag->id.idiag_sport = htons(port);
    auto *attribute = reinterpret_cast<rtattr *>(diag + 1);
    tcp_info counts{};
    counts.tcpi_bytes_sent = sent;
    if (info > 0) {
        *attribute = {static_cast<unsigned short>(RTA_LENGTH(info)),
                      INET_DIAG_INFO};
        std::memcpy(RTA_DATA(attribute), &counts, info);
    }
    return bytes;
}

TEST(HostLink, TheSetUpReplyIsToldByTheBytesTheDisplaysSideSent) {
    const std::size_t all = sizeof(tcp_info);
    const std::size_t old = offsetof(tcp_info, tcpi_bytes_sent);
    const struct {
        std::vector<unsigned char> message;
        Link link;
    } rows[] = {
        {Message(1, all, 812), Link::kConnected},
        {Message(1, all, kSetupReplyBytes - 1), Link::kEstablished},
        {Message(1, all, 812, 6002), Link::kNone},
        {Message(8, all, 812), Link::kNone}, // closing
        {Message(1, old, 812), Link::kUnmeasured},
        {Message(1, 0, 0), Link::kUnmeasured},
    };
    for (const auto &r : rows)
        EXPECT_EQ(
            ReadLinks(r.message.data(), r.message.size(), 6001, Link::kNone),
            r.link)
            << &r - rows;
    // The furthest counts; the answer ends at NLMSG_DONE.
    std::vector<unsigned char> two = Message(1, all, 40);
    std::vector<unsigned char> more = Message(1, all, 900);
    two.insert(two.end(), more.begin(), more.end());
    EXPECT_EQ(ReadLinks(two.data(), two.size(), 6001, Link::kNone),
              Link::kConnected);
    nlmsghdr done{NLMSG_LENGTH(0), NLMSG_DONE, 0, 0, 0};
    more.insert(more.begin(), reinterpret_cast<unsigned char *>(&done),
                reinterpret_cast<unsigned char *>(&done + 1));
    EXPECT_EQ(ReadLinks(more.data(), more.size(), 6001, Link::kNone),
              Link::kNone);
}

// The kernel's own count, on a loopback connection of the test's.
TEST(HostLink, TheKernelCountsWhatTheListeningSideSent) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof(address);
    auto *a = reinterpret_cast<sockaddr *>(&address);
    ASSERT_EQ(bind(listener, a, length), 0);
    listen(listener, 1);
    getsockname(listener, a, &length);
    unsigned port = ntohs(address.sin_port);
    EXPECT_EQ(HostLink(port), Link::kNone);
    int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, a, length), 0);
    int accepted = accept(listener, nullptr, nullptr);
    std::vector<char> bytes(kSetupReplyBytes - 1, 'r'); // a refusal's few
    send(accepted, bytes.data(), bytes.size(), 0);
    EXPECT_EQ(HostLink(port), Link::kEstablished);
    send(accepted, "g", 1, 0);
    EXPECT_TRUE(
        PollUntil([&] { return HostLink(port) == Link::kConnected; }, 5000));
    for (int fd : {accepted, client, listener})
        close(fd);
}

} // namespace
