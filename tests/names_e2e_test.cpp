// Names from a real name server (dnsmasq in the lab): a reverse name
// counts only when its forward records lead back to the address, and the
// window never waits for either look-up.
#include "tests/e2e.h"

namespace {

const Bytes kAlphasLine = WillingReply("alpha", "Willing to manage");

class NameService : public EndToEnd {
  protected:
    // Hosts .11 and .12 answer with the names `told`; their reverse names
    // are `named`, whose forward look-ups go to a server that never
    // answers.
    void NamesNeverConfirmed(const char *const told[2],
                             const char *const named[2]) {
        net.AddLan(0);
        for (int i : {0, 1})
            net.AddHost(0, 11 + i, {WillingReply(told[i], "idle")});
        net.AddNameServer(
            0, 53,
            {std::string("--ptr-record=11.0.55.10.in-addr.arpa,") + named[0],
             std::string("--ptr-record=12.0.55.10.in-addr.arpa,") + named[1],
             "--server=/lab.example/10.55.0.99"});
        net.Start();
    }
};

// A sender that got itself the reverse name "alpha" copies alpha's line:
// its name is not confirmed, so the two are two rows, each with its
// address, and alpha's reports alpha alone.
TEST_F(NameService, ACopierOfAHostsNameAndLineIsARowOfItsOwn) {
    net.AddLan(0);
    net.AddHost(0, 11, {kAlphasLine});
    net.AddHost(0, 66, {kAlphasLine});
    net.AddNameServer(0, 53,
                      {"--host-record=alpha,10.55.0.11",
                       "--ptr-record=66.0.55.10.in-addr.arpa,alpha"});
    net.Start();
    for (int row : {0, 1}) {
        size_t before = net.Arrivals().size();
        Program p = Start({"BROADCAST"});
        AwaitArrivals(before + 2); // and the two rows, their names settled
        EXPECT_EQ(AcceptRow(p, row), Printed(row == 0 ? 11 : 66))
            << "alpha [10.55.0.11], then alpha [10.55.0.66], each alone";
    }
}

// Both addresses of a dual-stack host lead back to its name: one row, and
// accepting it reports both.
TEST_F(NameService, AHostWhoseNameLeadsToBothAddressesIsOneRow) {
    net.AddLan(0, true, 24, Stack::kDual);
    net.AddHost(0, 11, {WillingReply("x", "idle")});
    net.AddNameServer(0, 53, {"--host-record=dual.lab,10.55.0.11,fd00:55::11"});
    net.Start();
    ExpectOneRowReportingBoth();
}

// The forward look-up of a reverse name goes to a server that never
// answers: the hosts are listed under the name, not confirmed, so apart,
// each with its address, and the keys work all along.
TEST_F(NameService, ANameWhoseForwardLookUpNeverAnswersIsNotConfirmed) {
    const char *const told[] = {"one", "two"};
    const char *const named[] = {"slow.lab.example", "slow.lab.example"};
    NamesNeverConfirmed(told, named);
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2); // and the two rows, their names settled
    EXPECT_EQ(AcceptRow(p, 1), Printed(12))
        << "two rows, by the replies' names";
}

// A reverse name is shown as soon as it comes, long before the wait for
// its confirmation ends: the rows are in the order of the reverse names,
// not of the replies'.
TEST_F(NameService, AReverseNameIsShownBeforeItIsConfirmed) {
    const char *const told[] = {"a-told", "b-told"};
    const char *const named[] = {"z.lab.example", "y.lab.example"};
    NamesNeverConfirmed(told, named);
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2); // and the rows, well within the second
    EXPECT_EQ(AcceptRow(p, 0), Printed(12)) << "y.lab.example, then z";
}

// Arguments that cannot be asked are told on standard error, one line
// each; when none can be asked the heading says so instead of searching,
// and the window and its exit statuses stay as they were.
TEST_F(NameService, WhenNoTargetCanBeAskedTheHeadingSaysSo) {
    OneHost({WillingReply("alpha", "idle")});
    Program asking = Start({"10.55.0.11"});
    std::vector<unsigned long> searching = x.HeadingImage(window);
    x.KeysOutside("Escape");
    EXPECT_EQ(asking.Wait(2000), 0);
    Program p = Start({"::", "fe80::1%nonexistent"});
    EXPECT_NE(x.HeadingImage(window), searching);
    EXPECT_EQ(p.Stderr(),
              "hostpick: cannot ask ::: not an address that can be sent to\n"
              "hostpick: cannot ask fe80::1%nonexistent: no such interface\n");
    x.KeysOutside("Escape");
    EXPECT_EQ(p.Wait(2000), 0);
}

} // namespace
