#include <gtest/gtest.h>

#include "selection/link.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tests/lab/poll.h"

namespace {

constexpr unsigned kPort = 6001;

// One connection's diagnostics as the kernel gives them: local port
// `port`, state `state`, and a tcp_info of `infoBytes` bytes (none for 0)
// that counts `sent` bytes sent.
std::vector<unsigned char> Message(unsigned port, unsigned char state,
                                   std::size_t infoBytes,
                                   unsigned long long sent) {
    std::size_t length = NLMSG_LENGTH(sizeof(inet_diag_msg)) +
                         (infoBytes > 0 ? RTA_SPACE(infoBytes) : 0);
    std::vector<unsigned char> bytes(NLMSG_ALIGN(length));
    auto *header = reinterpret_cast<nlmsghdr *>(bytes.data());
    header->nlmsg_len = static_cast<__u32>(length);
    header->nlmsg_type = SOCK_DIAG_BY_FAMILY;
    auto *diag = static_cast<inet_diag_msg *>(NLMSG_DATA(header));
    diag->idiag_state = state;
    diag->id.idiag_sport = htons(port);
    if (infoBytes > 0) {
        auto *attribute = reinterpret_cast<rtattr *>(diag + 1);
        attribute->rta_type = INET_DIAG_INFO;
        attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(infoBytes));
        tcp_info info{};
        info.tcpi_bytes_sent = sent;
        std::memcpy(RTA_DATA(attribute), &info,
                    std::min(infoBytes, sizeof(info)));
    }
    return bytes;
}

TEST(HostLink, TheSetUpReplyIsToldByTheBytesTheDisplaysSideSent) {
    const std::size_t full = sizeof(tcp_info);
    const std::size_t old = offsetof(tcp_info, tcpi_bytes_sent);
    const struct {
        std::vector<unsigned char> message;
        Link link;
    } rows[] = {
        {Message(kPort, 1, full, 812), Link::kConnected},
        {Message(kPort, 1, full, kSetupReplyBytes - 1), Link::kEstablished},
        {Message(kPort, 1, full, 0), Link::kEstablished},
        {Message(kPort + 1, 1, full, 812), Link::kNone},
        {Message(kPort, 8, full, 812), Link::kNone}, // closing
        {Message(kPort, 1, old, 812), Link::kUnmeasured},
        {Message(kPort, 1, 0, 0), Link::kUnmeasured},
    };
    for (const auto &r : rows)
        EXPECT_EQ(
            ReadLinks(r.message.data(), r.message.size(), kPort, Link::kNone),
            r.link)
            << &r - rows;
    // The furthest connection counts, and the answer ends at its end.
    std::vector<unsigned char> two = Message(kPort, 1, full, 40);
    std::vector<unsigned char> more = Message(kPort, 1, full, 900);
    two.insert(two.end(), more.begin(), more.end());
    EXPECT_EQ(ReadLinks(two.data(), two.size(), kPort, Link::kNone),
              Link::kConnected);
    nlmsghdr done{NLMSG_LENGTH(0), NLMSG_DONE, 0, 0, 0};
    std::vector<unsigned char> ended(sizeof(done));
    std::memcpy(ended.data(), &done, sizeof(done));
    ended.insert(ended.end(), more.begin(), more.end());
    EXPECT_EQ(ReadLinks(ended.data(), ended.size(), kPort, Link::kNone),
              Link::kNone);
}

// The kernel's own count, on a loopback connection of the test's.
TEST(HostLink, TheKernelCountsWhatTheListeningSideSent) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length),
              0);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    unsigned port = ntohs(address.sin_port);
    EXPECT_EQ(HostLink(port), Link::kNone);

    int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr *>(&address), length),
              0);
    int accepted = accept(listener, nullptr, nullptr);
    EXPECT_EQ(HostLink(port), Link::kEstablished);
    std::vector<char> refusal(40, 'r');
    send(accepted, refusal.data(), refusal.size(), 0);
    EXPECT_EQ(HostLink(port), Link::kEstablished);
    std::vector<char> reply(kSetupReplyBytes, 'g');
    send(accepted, reply.data(), reply.size(), 0);
    EXPECT_TRUE(
        PollUntil([&] { return HostLink(port) == Link::kConnected; }, 5000));
    for (int fd : {accepted, client, listener})
        close(fd);
}

} // namespace
