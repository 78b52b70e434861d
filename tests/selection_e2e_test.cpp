// The whole job through real clicks and keys: pick a host, report it.
#include "tests/e2e.h"

#include <cstdio>

namespace {

class Selection : public EndToEnd {
  protected:
    void OneWillingHost() {
        OneHost({WillingReply("alpha", "idle")});
    }
    // Starts hostpick with `args`, waits for its query to the one host, and
    // picks the host's row with Return.
    Program PickTheHost(const std::vector<std::string> &args) {
        size_t before = net.Arrivals().size();
        Program p = Start(args);
        AwaitArrivals(before + 1);
        PickRow(0);
        return p;
    }
};

TEST_F(Selection, ReturnOnASelectedLinePrintsTypeAndAddress) {
    OneWillingHost();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    EXPECT_EQ(AcceptRow(p, 0), "0\n10 55 0 11\n");
    EXPECT_EQ(p.Stderr(), "");
}

TEST_F(Selection, DoubleClickAndAcceptButtonBothAccept) {
    OneWillingHost();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    x.ClickRow(window, 0, 2);
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), Printed(11));

    Program q = Start({"BROADCAST"});
    AwaitRows(1);
    x.ClickRow(window, 0);
    x.ClickButton(window, "Accept");
    EXPECT_EQ(q.Wait(5000), 0);
    EXPECT_EQ(q.Stdout(), Printed(11));
}

TEST_F(Selection, ReportReachesTheDisplayManagerByteForByte) {
    OneWillingHost();
    int port = net.ListenForReport();
    Program p = Start({"-vornaddress", VornAddress(port), "-clientaddress",
                       "0a000005", "-connectionType", "0", "BROADCAST"});
    AwaitArrivals(1);
    EXPECT_EQ(AcceptRow(p, 0), "");
    EXPECT_EQ(net.Reports(3000), (std::vector<Bytes>{{0, 4, 0x0a, 0, 0, 5, 0, 0,
                                                      0, 4, 10, 55, 0, 11}}));
}

TEST_F(Selection, ConnectionTypeIsSentAsItsLowSixteenBits) {
    OneWillingHost();
    int port = net.ListenForReport();
    Program p = Start({"-vornaddress", VornAddress(port), "-clientaddress",
                       "0a000005", "-connectionType", "65537", "BROADCAST"});
    AwaitArrivals(1);
    AcceptRow(p, 0);
    std::vector<Bytes> reports = net.Reports(3000);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][6], 0x00);
    EXPECT_EQ(reports[0][7], 0x01);
}

TEST_F(Selection, OverlongReportIsCutAt1024BytesAndStillSucceeds) {
    OneWillingHost();
    int port = net.ListenForReport();
    Program p = Start({"-vornaddress", VornAddress(port), "-clientaddress",
                       Hex(Bytes(1015, 0xab)), "BROADCAST"});
    AwaitArrivals(1);
    AcceptRow(p, 0);
    std::vector<Bytes> reports = net.Reports(3000);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].size(), 1024u);
}

TEST_F(Selection, CancelByKeyOrButtonExitsWithoutReporting) {
    OneWillingHost();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    x.ClickRow(window, 0);
    x.Key(window, "Escape");
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), "");

    Program q = Start({"BROADCAST"});
    x.ClickButton(window, "Cancel");
    EXPECT_EQ(q.Wait(5000), 0);
    EXPECT_EQ(q.Stdout(), "");
}

TEST_F(Selection, AcceptWithNothingSelectedKeepsRunning) {
    OneWillingHost();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    x.Key(window, "Return");
    EXPECT_EQ(p.Wait(700), -1);
    EXPECT_EQ(p.Stdout(), "");
}

TEST_F(Selection, UnwillingHostsLineCannotStaySelected) {
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply("alpha", "idle")});
    net.AddHost(0, 12, {UnwillingReply("beta", "too busy")});
    net.Start();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2);
    x.ClickRow(window, 1); // beta: the click selects it, CheckWilling undoes it
    x.ClickButton(window, "Accept");
    EXPECT_EQ(p.Wait(700), -1) << "nothing was selected";
    EXPECT_EQ(AcceptRow(p, 0), Printed(11)) << "a willing line stays selected";
}

// The name service names both 10.55.0.12 and 10.55.0.11 "twin.lab": one
// host, one row, both its addresses reported, in the order they answered.
TEST_F(Selection, OneHostAtTwoAddressesIsOneRowAndTwoReports) {
    net.AddLan(0);
    net.AddHost(0, 12, {WillingReply("a", "same")});
    net.AddHost(0, 11, {WillingReply("b", "same")});
    net.AddName("10.55.0.11 twin.lab");
    net.AddName("10.55.0.12 twin.lab");
    net.Start();
    std::vector<Bytes> reports = AcceptTheOnlyRow({"10.55.0.12", "10.55.0.11"});
    ASSERT_EQ(reports.size(), 2u) << "one connection per address";
    EXPECT_EQ(reports[0].back(), 12);
    EXPECT_EQ(reports[1].back(), 11);
}

// A neighbour answers with the name and status of a host the name service
// names: two rows, each with its address, each reporting its own host.
TEST_F(Selection, ANeighbourCopyingAHostIsShownApart) {
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply("x", "idle")});
    net.AddHost(0, 12, {WillingReply("alpha.lab", "idle")});
    net.AddName("10.55.0.11 alpha.lab");
    net.Start();
    for (int row : {0, 1}) {
        size_t before = net.Arrivals().size();
        Program p = Start({"BROADCAST"});
        AwaitArrivals(before + 2);
        EXPECT_EQ(AcceptRow(p, row), Printed(11 + row)) << row;
    }
}

// The Accept button acts when it is released, while the selected host's
// status changes every 5 ms: the host is reported every time.
TEST_F(Selection, TheAcceptButtonDeliversAHostWhoseStatusKeepsChanging) {
    int host = OneHost();
    net.Chatter(host, "busy", 5);
    for (int trial = 0; trial < 20; trial++) {
        Program p = Start({"BROADCAST"});
        AwaitArrivals(trial + 1, 3000);
        x.ClickRow(window, 0);
        x.ClickButton(window, "Accept", 50);
        EXPECT_EQ(p.Wait(5000), 0) << trial;
        EXPECT_EQ(p.Stdout(), Printed(11)) << trial;
    }
}

TEST_F(Selection, AChoiceThatCannotBePrintedFailsWithStatusOne) {
    OneWillingHost();
    net.StdoutTo("/dev/full");
    Program p = PickTheHost({"BROADCAST"});
    EXPECT_EQ(p.Wait(5000), 1);
    EXPECT_EQ(p.Stderr(), "Cannot write the choice to standard output\n");
}

TEST_F(Selection, UnreachableDisplayManagerFailsWithStatusOne) {
    OneWillingHost();
    int closed = net.ListenForReport() + 1; // nothing listens there
    Program p = PickTheHost({"-vornaddress", VornAddress(closed), "BROADCAST"});
    EXPECT_EQ(p.Wait(5000), 1);
    EXPECT_EQ(p.Stderr(), "Cannot connect to vorn\n");

    Program q = PickTheHost({"-vornaddress", "000a00507f000001", "BROADCAST"});
    EXPECT_EQ(q.Wait(5000), 1);
    EXPECT_TRUE(q.Stderr() == "Cannot connect to vorn\n" ||
                q.Stderr() == "Cannot create response socket\n")
        << q.Stderr();

    Program r = PickTheHost({"-vornaddress", "0002", "BROADCAST"});
    EXPECT_EQ(r.Wait(5000), 1) << "a short address is unreachable";
    EXPECT_EQ(r.Stderr(), "Cannot connect to vorn\n");
}

TEST_F(Selection, ADisplayManagerBehindALostRouteFailsWithinFiveSeconds) {
    OneWillingHost();
    // The host forwards nothing: whatever is routed through it is lost.
    ASSERT_EQ(net.Exec("ip route add 10.99.0.1/32 via 10.55.0.11"), 0);
    Program p = Start({"-vornaddress", "00021f900a630001", "BROADCAST"});
    AwaitArrivals(1);
    x.ClickRow(window, 0);
    double accepted = net.Now();
    x.Key(window, "Return");
    EXPECT_EQ(p.Wait(8000), 1);
    EXPECT_NEAR(net.Now() - accepted, 5000, 700);
    EXPECT_EQ(p.Stderr(), "Cannot connect to vorn\n");
}

TEST_F(Selection, PingEmptiesTheListAndRefillsFromTheNewSeries) {
    net.AddLan(0);
    int once = net.AddHost(0, 11, {WillingReply("early", "idle")});
    net.AddHost(0, 12, {WillingReply("steady", "idle")});
    net.AnswerOnly(once, 1);
    net.Start();
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2);
    x.Key(window, "F5");
    AwaitArrivals(4, 3000, 0);
    PollUntil([&] { return x.DrawnRows(window) == 1; }, 3000);
    // Only "steady" answered the new series: one line, which is its own.
    PickRow(1);
    EXPECT_EQ(p.Wait(500), -1);
    EXPECT_EQ(AcceptRow(p, 0), Printed(12));
}

// The times at which the host received a query, from the first.
std::vector<double> QueryTimes(Network &net) {
    std::vector<double> t;
    for (const Arrival &a : net.Arrivals())
        t.push_back(a.ms - net.Arrivals()[0].ms);
    return t;
}

TEST_F(Selection, PingDuringASeriesLetsTheEarlierTimerRunOn) {
    OneHost();
    Program p = Start({"10.55.0.11"});
    AwaitArrivals(1, 3000);
    double first = net.Arrivals()[0].ms;
    PollUntil([&] { return net.Now() >= first + 1000; }, 3000, 2);
    x.Key(window, "F5");
    AwaitArrivals(5, 8000, 0);
    std::vector<double> t = QueryTimes(net);
    ASSERT_EQ(t.size(), 5u)
        << "three pings from the Ping, one left from start-up";
    const double expected[] = {0, 1000, 2000, 3000, 4000};
    for (int i = 0; i < 5; i++)
        EXPECT_NEAR(t[i], expected[i], 400) << i;
}

TEST_F(Selection, PingAfterTheSeriesGivesThreeMore) {
    OneHost();
    Program p = Start({"10.55.0.11"});
    ASSERT_TRUE(AwaitArrivals(3, 8000, 0));
    double ping = net.Now();
    x.Key(window, "F5");
    AwaitArrivals(6, 8000, 0);
    std::vector<Arrival> got = net.Arrivals();
    ASSERT_EQ(got.size(), 6u);
    EXPECT_NEAR(got[3].ms - ping, 0, 400);
    EXPECT_NEAR(got[4].ms - got[3].ms, 2000, 400);
    EXPECT_NEAR(got[5].ms - got[4].ms, 2000, 400);
}

} // namespace
