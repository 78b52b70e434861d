#include "tests/e2e.h"

#include <fstream>
#include <sstream>

namespace {

// LAN 0 is reached by BROADCAST and holds alpha and beta; LAN 1 only by a
// route, as a subnet behind a router, and holds far (10.56.0.21), which
// answers, and mute (10.56.0.22), which does not.
class Adding : public EndToEnd {
  protected:
    // With `impostor`, a host at 10.55.0.13 whose reply calls it
    // far.lab.example.
    void Lab(bool nameServer = true, bool impostor = false) {
        net.DisableIPv6();
        net.AddLan(0);
        net.AddLan(1);
        net.RouteOnly(1);
        net.AddHost(0, 11, {WillingReply("alpha", "idle")});
        net.AddHost(0, 12, {WillingReply("beta", "idle")});
        far = net.AddHost(1, 21, {WillingReply("far", "idle")});
        mute = net.AddHost(1, 22, {});
        if (impostor)
            net.AddHost(0, 13, {WillingReply("far.lab.example", "idle")});
        if (nameServer)
            net.AddNameServer(0, 53,
                              {"--local=/lab.example/", "--bogus-priv",
                               "--host-record=far.lab.example,10.56.0.21",
                               "--log-queries", "--log-facility=" + queries});
        else
            net.AddDeadNameServer(0, 53);
        net.Start();
    }

    Program Open(const std::string &allowed = "*.lab.example 10.56.0.0/24",
                 std::vector<std::string> args = {}) {
        args.push_back("BROADCAST");
        Program p = Start(args, {"-xrm", "Hostpick.allowAdd: true", "-xrm",
                                 "Hostpick.addAllowed: " + allowed});
        AwaitArrivals(2);
        return p;
    }

    // Types `text` into the entry and adds it, the keys back on the list
    // with `back` (a key that ends a failure told).
    void Add(const std::string &text, bool back = true) {
        x.KeysOutside("Tab");
        x.TypeOutside(text);
        x.KeysOutside(back ? "Return Tab" : "Return");
    }

    // The heading as it looks saying `text`, in a window of its own.
    std::vector<unsigned long> Saying(const std::string &text) {
        Program p = Start({}, {"-xrm", "Hostpick.noHostLabel: " + text, "-xrm",
                               "Hostpick.allowAdd: true"});
        std::vector<unsigned long> image = x.DrawnHeading(window);
        p.Kill();
        return image;
    }

    // Whether the heading of `top` comes to look like `said` within `ms`.
    bool Says(Window top, const std::vector<unsigned long> &said, int ms) {
        return PollUntil([&] { return x.HeadingImage(top) == said; }, ms, 50);
    }

    // QUERYs (opcode 2) that host `host` received.
    size_t Queries(int host) {
        size_t n = 0;
        for (const Arrival &a : net.Arrivals())
            n += a.host == host && a.bytes.size() > 3 && a.bytes[3] == 2;
        return n;
    }

    std::string queries = "/tmp/hostpick-queries-" + std::to_string(getpid());
    int far = -1;
    int mute = -1;
};

TEST_F(Adding, WhereTheSiteDoesNotAllowItTabChangesNothing) {
    Lab();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2);
    x.KeysOutside("Down Tab Down Return");
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), Printed(12));
}

// far is beyond the broadcast: typed, it is asked, listed, picked by
// type-ahead and reported to the display manager.
TEST_F(Adding, ATypedHostBeyondTheBroadcastIsListedAndReported) {
    Lab();
    Program p = Open("*.lab.example 10.56.0.0/24",
                     {"-vornaddress", VornAddress(net.ListenForReport()),
                      "-clientaddress", "0a000005"});
    EXPECT_EQ(Queries(far), 0u);
    Add("far.lab.example");
    EXPECT_TRUE(PollUntil([&] { return Queries(far) >= 1; }, 3000));
    x.TypeOutside("far");
    x.KeysOutside("Return");
    EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
    std::vector<Bytes> reports = net.Reports(3000);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(Bytes(reports[0].end() - 4, reports[0].end()),
              (Bytes{10, 56, 0, 21}));
}

// A neighbour whose reply takes the name that the name service gives far:
// typing the name asks the name service and far, and far is reported.
TEST_F(Adding, ATypedNameIsTheNameServicesNotAReplysClaim) {
    Lab(true, true);
    Program p = Open("*.lab.example 10.56.0.0/24",
                     {"-vornaddress", VornAddress(net.ListenForReport()),
                      "-clientaddress", "0a000005"});
    ASSERT_TRUE(AwaitRows(3));
    Add("far.lab.example");
    EXPECT_TRUE(PollUntil([&] { return Queries(far) >= 1; }, 3000))
        << "far itself is asked";
    // alpha, beta, then far.lab.example [10.55.0.13] and [10.56.0.21].
    ASSERT_TRUE(AwaitRows(4));
    PickRow(3);
    EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
    std::vector<Bytes> reports = net.Reports(3000);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(Bytes(reports[0].end() - 4, reports[0].end()),
              (Bytes{10, 56, 0, 21}));
}

// Outside the limits nothing is sent, and a name outside the suffixes is
// not even looked up; an unknown name and a silent host are told.
TEST_F(Adding, WhatTheSiteDoesNotAllowIsNeverAskedAndFailuresAreTold) {
    Lab();
    std::vector<unsigned long> unknown =
        Saying("nosuch.lab.example: unknown host");
    std::vector<unsigned long> silent = Saying("10.56.0.22 did not answer.");
    Program p = Open("*.lab.example 10.56.0.0/24");
    for (const char *refused :
         {"beta.elsewhere.example", "10.55.0.11", "BROADCAST", "ffffffff"})
        Add(refused);
    Add("nosuch.lab.example", false);
    EXPECT_TRUE(Says(window, unknown, 3000));
    usleep(5500 * 1000); // nothing ends it within 5.5 s, past a while's 5 s
    EXPECT_TRUE(Says(window, unknown, 0));
    x.KeysOutside("Tab");
    EXPECT_TRUE(PollUntil([&] { return !Says(window, unknown, 0); }, 3000))
        << "a key ends it";
    usleep(500 * 1000); // nothing is asked within it
    EXPECT_EQ(Queries(0) + Queries(1), 0u) << "alpha and beta: broadcasts only";
    std::ifstream log(queries);
    std::stringstream logged;
    logged << log.rdbuf();
    EXPECT_EQ(logged.str().find("elsewhere"), std::string::npos);
    EXPECT_NE(logged.str().find("nosuch.lab.example"), std::string::npos);
    std::remove(queries.c_str());

    p.Kill();
    Program q = Open("*.lab.example 10.56.0.0/24");
    Add("10.56.0.22");
    EXPECT_FALSE(Says(window, silent, 5000)) << "not before the third ask";
    EXPECT_TRUE(Says(window, silent, 3000));
    EXPECT_EQ(Queries(mute), 3u);
}

// With the name server silent, the list answers keys at once, and the
// time-out is told.
TEST_F(Adding, ASilentNameServerNeitherHoldsTheWindowNorGoesUntold) {
    Lab(false);
    std::vector<unsigned long> told =
        Saying("far.lab.example: the name service did not answer");
    Program p = Open("");
    AwaitRows(2, 5000); // past the names' wait: the rows are listed
    Add("far.lab.example");
    Window view = x.ListView(window);
    auto dark = [&] {
        std::vector<unsigned long> list = x.WindowImage(view);
        return std::count(list.begin(), list.end(), 0ul);
    };
    long before = dark();
    double pressed = net.Now();
    x.KeysOutside("Down");
    while (dark() < before + 1000 && net.Now() - pressed < 1000)
        ;
    EXPECT_LT(net.Now() - pressed, 200) << "Down waited";
    EXPECT_TRUE(Says(window, told, 25000));
}

TEST_F(Adding, TheNinthAddedHostIsRefused) {
    Lab();
    Program p = Open("10.56.0.0/24");
    for (int octet = 31; octet < 39; octet++)
        Add("10.56.0." + std::to_string(octet));
    Add("10.56.0.21");
    usleep(1000 * 1000); // nothing is asked within it
    EXPECT_EQ(Queries(far), 0u);
}

} // namespace
