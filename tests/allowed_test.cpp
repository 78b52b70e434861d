#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "xdmcp/allowed.h"

namespace {

HostKey Key(const char *text) {
    sockaddr_storage address{};
    auto *in = reinterpret_cast<sockaddr_in *>(&address);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&address);
    if (inet_pton(AF_INET, text, &in->sin_addr) == 1)
        in->sin_family = AF_INET;
    else if (inet_pton(AF_INET6, text, &in6->sin6_addr) == 1)
        in6->sin6_family = AF_INET6;
    return SenderKey(reinterpret_cast<sockaddr *>(&address));
}

struct Row {
    const char *rules;
    const char *name;    ///< null: the row asks about `address` alone
    const char *address; ///< null: the row asks about `name` alone
    bool allowed;
};

TEST(AddRules, SuffixesAndRangesEachLimitTheirOwn) {
    const Row rows[] = {
        {"", "any.where", "192.0.2.1", true},
        {"*.example.org", "ws1.example.org", "192.0.2.1", true},
        {"*.example.org", "WS1.Example.ORG.", nullptr, true},
        {"*.example.org", "example.org", nullptr, false},
        {"*.example.org", "ws1.example.org.evil", nullptr, false},
        {"*.example.org", "ws1.badexample.org", nullptr, false},
        {"10.0.0.0/8", "any.where", "10.200.1.2", true},
        {"10.0.0.0/8", nullptr, "11.0.0.1", false},
        {"10.0.0.0/8", nullptr, "::ffff:10.0.0.1", true},
        {"10.1.2.3", nullptr, "10.1.2.4", false},
        {"10.1.2.0/23", nullptr, "10.1.3.254", true},
        {"10.78.0.0/24", nullptr, "10.78.0.255", false},
        {"10.78.0.0/24", nullptr, "10.78.0.0", false},
        {"10.78.0.0/24", nullptr, "::ffff:10.78.0.255", false},
        {"10.78.0.0/24 10.78.0.255", nullptr, "10.78.0.255", false},
        {"10.78.0.0/30", nullptr, "10.78.0.3", false},
        {"10.78.0.0/30", nullptr, "10.78.0.2", true},
        {"10.78.0.0/31", nullptr, "10.78.0.1", true},
        {"10.78.0.255", nullptr, "10.78.0.255", true},
        {"2001:db8::/32", nullptr, "2001:db8:1::5", true},
        {"2001:db8::/32", nullptr, "2001:db9::5", false},
        {"2001:db8::/32", nullptr, "10.0.0.1", false},
        {"*.example.org 10.0.0.0/8", "ws1.example.org", "10.0.0.1", true},
        {"*.example.org 10.0.0.0/8", nullptr, "192.0.2.1", false},
        {"*.example.org 10.0.0.0/8", "ws1.example.com", nullptr, false},
        {"*.example.org bogus", "ws1.example.org", "10.0.0.1", false},
        {"10.0.0.0/33", nullptr, "10.0.0.1", false},
    };
    for (const Row &row : rows) {
        std::string unread;
        AddRules rules = ReadAddRules(row.rules, &unread);
        bool allowed =
            (row.name == nullptr || NameAllowed(rules, row.name)) &&
            (row.address == nullptr || AddressAllowed(rules, Key(row.address)));
        EXPECT_EQ(allowed, row.allowed)
            << row.rules << " / " << (row.name ? row.name : "") << " / "
            << (row.address ? row.address : "");
    }
}

TEST(AddRules, AddressesThatReachMoreThanOneHostAreNeverAdded) {
    sockaddr_storage link{};
    auto *in = reinterpret_cast<sockaddr_in *>(&link);
    in->sin_family = AF_INET;
    inet_pton(AF_INET, "10.55.0.255", &in->sin_addr);
    const std::vector<sockaddr_storage> broadcasts = {link};
    for (const char *never : {"255.255.255.255", "::ffff:255.255.255.255",
                              "0.0.0.0", "::", "224.0.0.1", "239.255.255.250",
                              "ff02::12b", "ff05::1", "10.55.0.255"})
        EXPECT_TRUE(NeverAdded(Key(never), broadcasts)) << never;
    for (const char *host : {"10.55.0.11", "10.56.0.255", "2001:db8::1",
                             "fe80::1", "223.255.255.255"})
        EXPECT_FALSE(NeverAdded(Key(host), broadcasts)) << host;
}

} // namespace
