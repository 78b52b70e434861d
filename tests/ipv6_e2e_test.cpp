// IPv6: targets, the link's multicast group, a host on both families,
// and a display manager listening on IPv6, in namespaces whose links
// carry IPv6 (duplicate address detection off).
#include "tests/e2e.h"

#include <arpa/inet.h>

namespace {

// The standard-output form of an IPv6 host, its address's interface
// left out.
std::string Printed6(const std::string &address) {
    unsigned char bytes[16];
    inet_pton(AF_INET6, address.substr(0, address.find('%')).c_str(), bytes);
    std::string text = "6\n";
    for (int i = 0; i < 16; i++)
        text += std::to_string(bytes[i]) + (i < 15 ? " " : "\n");
    return text;
}

class IPv6 : public EndToEnd {
  protected:
    // One host at fd00:55::11 and fe80::55:11 on an IPv6-only link.
    void OneHost6() {
        net.AddLan(0, true, 24, Stack::kIPv6);
        net.AddHost(0, 11, {WillingReply("six", "idle")});
        net.Start();
    }
};

TEST_F(IPv6, GlobalAndLinkLocalTargetsAreListedAndReported) {
    OneHost6();
    for (const char *target : {"fd00:55::11", "fe80::55:11%lan0"}) {
        size_t before = net.Arrivals().size();
        Program p = Start({target});
        AwaitArrivals(before + 1);
        EXPECT_EQ(AcceptRow(p, 0), Printed6(target)) << target;
    }
}

TEST_F(IPv6, BroadcastReachesTheLinkGroupWithHopLimitOne) {
    OneHost6();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    std::vector<Arrival> got = net.Arrivals();
    ASSERT_EQ(got.size(), 1u) << "once, out of the one IPv6-only link";
    EXPECT_EQ(got[0].to, "ff02::12b");
    EXPECT_EQ(got[0].hopLimit, 1);
    EXPECT_EQ(got[0].bytes, kBroadcastQuery);
    EXPECT_EQ(AcceptRow(p, 0), Printed6("fe80::55:11"))
        << "the host, at its link-local address";
}

// The name service names the host "dual.lab" at both its addresses: one
// row, and both reported.
TEST_F(IPv6, ADualStackHostIsOneRowAndBothItsAddressesAreReported) {
    net.AddLan(0, true, 24, Stack::kDual);
    net.AddHost(0, 11, {WillingReply("x", "idle")});
    net.AddName("10.55.0.11 dual.lab");
    net.AddName("fd00:55::11 dual.lab");
    net.Start();
    ExpectOneRowReportingBoth();
}

TEST_F(IPv6, TheReportReachesADisplayManagerOnIPv6) {
    OneHost({WillingReply("alpha", "idle")});
    int port = net.ListenForReport(true);
    // Family 10, the port, a flow label, ::1.
    std::string vorn = Hex({0, 10, static_cast<unsigned char>(port >> 8),
                            static_cast<unsigned char>(port), 0, 0, 0, 0}) +
                       std::string(30, '0') + "01";
    Program p = Start(
        {"-vornaddress", vorn, "-clientaddress", "0a000005", "BROADCAST"});
    AwaitArrivals(1);
    EXPECT_EQ(AcceptRow(p, 0), "");
    EXPECT_EQ(net.Reports(3000), (std::vector<Bytes>{{0, 4, 0x0a, 0, 0, 5, 0, 0,
                                                      0, 4, 10, 55, 0, 11}}));
}

TEST_F(IPv6, WithoutIPv6IPv4GoesAsItAlwaysWent) {
    net.DisableIPv6();
    OneHost({WillingReply("alpha", "idle")});
    Program p = Start({"BROADCAST", "10.55.0.11"});
    AwaitArrivals(2);
    EXPECT_EQ(AcceptRow(p, 0), Printed(11));
    EXPECT_EQ(p.Stderr(), "");
}

} // namespace
