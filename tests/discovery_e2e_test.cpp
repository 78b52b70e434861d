// Discovery through the real program: every query target and every
// broadcast runs inside the namespaces that the test builds.
#include "tests/e2e.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

class Discovery : public EndToEnd {
  protected:
    // Datagrams per host, each as its destination and bytes.
    std::map<int, std::vector<std::pair<std::string, Bytes>>> ByHost() {
        std::map<int, std::vector<std::pair<std::string, Bytes>>> all;
        for (const Arrival &a : net.Arrivals())
            all[a.host].emplace_back(a.to, a.bytes);
        return all;
    }
    // Once the hosts have had their names (each waits at most 1 s), End
    // selects the last row, which is clicked where the view shows it and
    // accepted; returns what the program printed.
    std::string AcceptTheLastByEnd(Program &p) {
        AwaitArrivals(1);
        // No one drawn row tells that the whole crowd is listed: this is
        // the time its names take, each at most 1 s, and more.
        usleep(2500 * 1000);
        std::vector<unsigned long> before = x.ListImage(window);
        x.KeysOutside("End");
        PollUntil([&] { return x.ListImage(window) != before; }, 3000);
        EXPECT_TRUE(x.ClickHighlightedLine(window)) << "the last is not shown";
        x.KeysOutside("Return");
        EXPECT_EQ(p.Wait(5000), 0);
        return p.Stdout();
    }
};

TEST_F(Discovery, QueryAndBroadcastQueryAreSevenBytesToPort177) {
    int host = OneHost();
    Program p = Start({"BROADCAST", "10.55.0.11"});
    AwaitArrivals(2);
    auto got = ByHost()[host];
    ASSERT_EQ(got.size(), 2u);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got[0], std::make_pair(std::string("10.55.0.11"), kQuery));
    EXPECT_EQ(got[1],
              std::make_pair(std::string("10.55.0.255"), kBroadcastQuery));
}

TEST_F(Discovery, OneBroadcastPerUpBroadcastInterfaceNoneForLoopbackOrDown) {
    net.AddLan(0);
    net.AddLan(1);
    net.AddLan(2, false);
    // A second address in the first LAN's subnet: still one broadcast.
    ASSERT_EQ(net.Exec("ip addr add 10.55.0.2/24 brd + dev lan0"), 0);
    int a = net.AddHost(0, 11, {});
    int b = net.AddHost(1, 11, {});
    net.ListenInClient();
    net.Start();
    long noRoutes = net.Snmp("Ip", "OutNoRoutes");
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2);
    auto got = ByHost();
    EXPECT_EQ(got[a], (std::vector<std::pair<std::string, Bytes>>{
                          {"10.55.0.255", kBroadcastQuery}}));
    EXPECT_EQ(got[b], (std::vector<std::pair<std::string, Bytes>>{
                          {"10.56.0.255", kBroadcastQuery}}));
    std::vector<std::string> sentTo;
    for (const Arrival &c : net.ClientArrivals())
        sentTo.push_back(c.to);
    std::sort(sentTo.begin(), sentTo.end());
    EXPECT_EQ(sentTo, (std::vector<std::string>{"10.55.0.255", "10.56.0.255"}))
        << "the program's own copies: nothing for loopback or the down LAN";
    EXPECT_EQ(net.Snmp("Ip", "OutNoRoutes"), noRoutes)
        << "no send was even tried through the down interface";
}

TEST_F(Discovery, EveryOneOfEightyInterfacesIsReachedButNoAddressWithoutBrd) {
    constexpr int kLans = 80;
    for (int lan = 0; lan < kLans; lan++)
        net.AddLan(lan);
    ASSERT_EQ(net.Exec("ip addr add 10.50.0.1/32 dev lan0"), 0);
    ASSERT_EQ(net.Exec("ip addr add 10.51.0.1 peer 10.51.0.2 dev lan1"), 0);
    net.ListenInClient();
    net.Start();
    Program p = Start({"BROADCAST"});
    std::set<std::string> sentTo;
    PollUntil(
        [&] {
            for (const Arrival &a : net.ClientArrivals())
                sentTo.insert(a.to);
            return sentTo.size() >= size_t{kLans};
        },
        3000);
    EXPECT_EQ(sentTo.size(), size_t{kLans});
    for (int lan = 0; lan < kLans; lan++)
        EXPECT_EQ(sentTo.count("10." + std::to_string(55 + lan) + ".0.255"), 1u)
            << lan;
}

// Each ping reads the interfaces anew: one that comes up is asked at the
// next Ping, and its host is listed.
TEST_F(Discovery, AnInterfaceThatComesUpLaterIsAskedAtThePing) {
    net.AddLan(1, false);
    net.AddHost(1, 11, {WillingReply("late", "idle")});
    net.Start();
    Program p = Start({"BROADCAST"});
    usleep(500 * 1000); // nothing arrives within it
    EXPECT_TRUE(net.Arrivals().empty()) << "the LAN is down";
    ASSERT_EQ(net.Exec("ip link set lan1 up"), 0);
    x.Key(window, "F5");
    AwaitArrivals(1);
    EXPECT_EQ(AcceptRow(p, 0), Printed(11, 1));
}

TEST_F(Discovery, NoBroadcastInterfaceSendsNothingAndTheWindowStays) {
    net.Start(); // the client namespace has its loopback only
    long sent = net.Snmp("Udp", "OutDatagrams");
    Program p = Start({"BROADCAST"});
    x.Key(window, "F5"); // Ping
    usleep(500000);      // nothing is sent within it
    EXPECT_EQ(net.Snmp("Udp", "OutDatagrams"), sent);
    EXPECT_EQ(p.Wait(0), -1) << "still running: " << p.Stderr();
    EXPECT_EQ(p.Stderr(), "");
    x.Key(window, "Escape");
    EXPECT_EQ(p.Wait(5000), 0);
}

TEST_F(Discovery, HexNumericAndNamedTargetsEachOccurrenceQueried) {
    net.AddLan(0);
    int a = net.AddHost(0, 11, {});
    int b = net.AddHost(0, 12, {});
    int c = net.AddHost(0, 13, {});
    net.AddName("10.55.0.13 gamma.lab");
    net.Start();
    Program p = Start({"0a37000b", "10.55.0.12", "gamma.lab", "10.55.0.12",
                       "C0A8000B", "unknown.lab"});
    AwaitArrivals(4);
    auto got = ByHost();
    EXPECT_EQ(got[a].size(), 1u);
    EXPECT_EQ(got[b].size(), 2u) << "named twice, queried twice per ping";
    EXPECT_EQ(got[c].size(), 1u);
    for (const auto &[host, datagrams] : got)
        for (const auto &[to, bytes] : datagrams)
            EXPECT_EQ(bytes, kQuery);
}

TEST_F(Discovery, ThreePingsTwoSecondsApartAndNoFourth) {
    OneHost();
    Program p = Start({"10.55.0.11"});
    ASSERT_TRUE(AwaitArrivals(3, 10000, 0));
    usleep(2500 * 1000); // no fourth comes within a ping interval and more
    std::vector<Arrival> got = net.Arrivals();
    ASSERT_EQ(got.size(), 3u);
    // The program's own schedule, with room for a loaded machine.
    EXPECT_NEAR(got[1].ms - got[0].ms, 2000, 400);
    EXPECT_NEAR(got[2].ms - got[1].ms, 2000, 400);
}

TEST_F(Discovery, BadDatagramsChangeNothingAndTheNextReplyCounts) {
    Bytes truncated = WillingReply("bad", "status");
    truncated.resize(truncated.size() - 3);
    Bytes version2 = WillingReply("bad", "v2");
    version2[1] = 2;
    Bytes queryOpcode = WillingReply("bad", "op");
    queryOpcode[3] = 2;
    Bytes longer = WillingReply("bad", "len");
    longer[5]++;
    Bytes shorter = UnwillingReply("bad", "len");
    shorter[5]--;
    Bytes arrayTooLong = WillingReply("bad", "x");
    arrayTooLong[6] = 0xff; // auth name claims 65280 bytes
    arrayTooLong[7] = 0x00;
    std::vector<Bytes> garbage = {
        truncated,        version2,     queryOpcode,          longer,
        shorter,          arrayTooLong, Bytes{0, 1, 0, 5, 0}, Bytes{},
        Bytes(3000, 0xff)};
    net.AddLan(0);
    std::vector<Bytes> thenValid = garbage;
    thenValid.push_back(WillingReply("good", "ok"));
    net.AddHost(0, 11, garbage);
    net.AddHost(0, 12, thenValid);
    net.Start();

    Program p = Start({"BROADCAST"});
    AwaitRows(1);
    PickRow(1);
    EXPECT_EQ(p.Wait(500), -1)
        << "only one line: nothing selected, still running";
    EXPECT_EQ(AcceptRow(p, 0), Printed(12));
}

// Past about 2500 lines of the test's font, one column would reach beyond
// the 16-bit coordinates of X.
TEST_F(Discovery, TheLastOfFiveThousandHostsCanBeScrolledToClickedAndAccepted) {
    net.AddLan(0, true, 16);
    net.AddCrowd(0, 11, NumberedReplies(5000, "host%04d", "idle"));
    net.Start();
    Program p = Start({"BROADCAST"});
    EXPECT_EQ(AcceptTheLastByEnd(p), "0\n10 55 19 146\n")
        << "10.55.0.11 + 4999";
}

// With the program's own fonts in a UTF-8 locale, 2000 lines take two
// columns, as wide as the longest line, one 8000-byte status included:
// End shows the last host's name.
TEST_F(Discovery, EndAmongTwoThousandHostsShowsTheLastOnScreen) {
    net.SetEnv("LANG", "C.UTF-8");
    net.AddLan(0, true, 16);
    std::vector<Bytes> replies = NumberedReplies(
        2000, "host%04d", "load 0.%02d, sixty characters or so");
    replies[500] = WillingReply("host0500", std::string(8000, 's'));
    net.AddCrowd(0, 11, replies);
    net.Start();
    std::string title = "hostpick-end-" + std::to_string(getpid());
    Program p = net.Run({"-title", title, "BROADCAST"});
    window = x.WaitForWindow(title);
    EXPECT_EQ(AcceptTheLastByEnd(p), "0\n10 55 7 218\n") << "10.55.0.11 + 1999";
}

// Five hosts whose names only a name server could give, and that server
// never answers.
class DeadNameServer : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        net.AddLan(0);
        for (int i = 0; i < 5; i++)
            net.AddHost(0, 11 + i,
                        {WillingReply("host" + std::to_string(i), "idle")});
        net.AddDeadNameServer(0, 53);
        net.Start();
    }
};

TEST_F(DeadNameServer, HostsAreListedWithinTwoSecondsAndCanBeAccepted) {
    Program p = Start({"BROADCAST"});
    double shown = net.Now();
    AwaitRows(5);
    EXPECT_EQ(AcceptRow(p, 4), Printed(15)) << "host4, the last of five";
    EXPECT_LT(net.Now() - shown, 3000);
}

TEST_F(DeadNameServer, AnUnresolvableTargetNeitherDelaysTheWindowNorCancel) {
    double started = net.Now();
    Program p = Start({"BROADCAST", "nowhere.lab"});
    EXPECT_LT(net.Now() - started, 1500) << "the window came late";
    // The look-ups are under way, and hang.
    EXPECT_TRUE(PollUntil([&] { return net.DeadNameServerAsked(); }, 3000));
    double pressed = net.Now();
    x.Key(window, "Escape");
    EXPECT_EQ(p.Wait(1000), 0);
    EXPECT_LT(net.Now() - pressed, 1000);
}

} // namespace
