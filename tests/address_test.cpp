#include <gtest/gtest.h>

#include "xdmcp/address.h"

#include <arpa/inet.h>
#include <sys/un.h>

#include <string>

namespace {

sockaddr_storage Sender(const char *ip, unsigned scope = 0) {
    sockaddr_storage sender{};
    auto *in = reinterpret_cast<sockaddr_in *>(&sender);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&sender);
    if (inet_pton(AF_INET, ip, &in->sin_addr) == 1) {
        in->sin_family = AF_INET;
    } else if (inet_pton(AF_INET6, ip, &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_scope_id = scope;
    } else {
        sender.ss_family = AF_UNIX;
    }
    return sender;
}

// The loopback of the tests' own namespace is interface 1, "lo"; there is
// no interface 99.
TEST(HostAddress, KeysTellHostsApartAndShowAsPeopleWriteThem) {
    const struct {
        const char *ip;
        unsigned scope;
        CARD16 connectionType;
        const char *text;
    } cases[] = {
        {"10.0.0.5", 0, kFamilyInternet, "10.0.0.5"},
        {"::ffff:10.0.0.5", 0, kFamilyInternet, "10.0.0.5"},
        {"fd00:0:0::1", 2, kFamilyInternet6, "fd00::1"}, // no scope kept
        {"fe80::1", 1, kFamilyInternet6, "fe80::1%lo"},
        {"fe80::1", 99, kFamilyInternet6, "fe80::1%99"},
        {"local", 0, kFamilyLocal, "local"},
    };
    for (const auto &c : cases) {
        sockaddr_storage sender = Sender(c.ip, c.scope);
        HostKey key = SenderKey(reinterpret_cast<sockaddr *>(&sender));
        EXPECT_EQ(key.connectionType, c.connectionType) << c.ip;
        char text[kKeyTextSize];
        KeyText(key, text);
        EXPECT_STREQ(text, c.text) << c.ip;
        sockaddr_storage back;
        socklen_t length = KeyAddress(key, kXdmcpPort, &back);
        if (c.connectionType == kFamilyLocal) {
            EXPECT_EQ(length, 0u);
            continue;
        }
        EXPECT_EQ(length, AddressLength(reinterpret_cast<sockaddr *>(&back)));
        EXPECT_EQ(SenderKey(reinterpret_cast<sockaddr *>(&back)), key)
            << c.ip << ": the key's address is the sender's";
    }
}

} // namespace
