// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "tests/udp.h"

#include "tests/lab/netns.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

UdpSocket BindUdp(int port) {
    UdpSocket s;
    s.fd = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_GE(s.fd, 0);
    int on = 1;
    setsockopt(s.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    s.address.sin_family = AF_INET;
    s.address.sin_port = htons(port);
    s.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(
        bind(s.fd, reinterpret_cast<sockaddr *>(&s.address), sizeof(s.address)),
        0);
    socklen_t length = sizeof(s.address);
    getsockname(s.fd, reinterpret_cast<sockaddr *>(&s.address), &length);
    return s;
}

void CloseUdp(UdpSocket *s) {
    if (s->fd >= 0)
        close(s->fd);
    s->fd = -1;
}

void SendBytes(const UdpSocket &from, const UdpSocket &to,
               const std::vector<unsigned char> &bytes) {
    ssize_t sent = sendto(from.fd, bytes.data(), bytes.size(), 0,
                          reinterpret_cast<const sockaddr *>(&to.address),
                          sizeof(to.address));
    ASSERT_EQ(sent, static_cast<ssize_t>(bytes.size()));
}

std::vector<unsigned char> ReceiveBytes(const UdpSocket &s, int ms,
                                        sockaddr_in *sender) {
    pollfd p = {s.fd, POLLIN, 0};
    if (poll(&p, 1, ms) != 1)
        return {};
    std::vector<unsigned char> bytes(65536);
    sockaddr_in from{};
    socklen_t length = sizeof(from);
    ssize_t n = recvfrom(s.fd, bytes.data(), bytes.size(), 0,
                         reinterpret_cast<sockaddr *>(&from), &length);
    bytes.resize(n < 0 ? 0 : n);
    if (sender != nullptr)
        *sender = from;
    return bytes;
}

void SendBytesAs(in_addr source, const sockaddr_in &to,
                 const std::vector<unsigned char> &bytes) {
    static int fd = socket(AF_INET, SOCK_DGRAM, 0); // unbound: any source
    ASSERT_EQ(SendAs(fd, source, to, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
}
