// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "xdmcp/intake.h"

#include <string>
#include <vector>

#include "hosts/line.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "tests/alloc_fail.h"
#include "tests/lab/replies.h"
#include "tests/toolkit.h"
#include "tests/udp.h"
#include "xdmcp/discovery.h"

namespace {

// A reply whose header length is off by `lengthDelta`.
Bytes Willing(const std::string &name, const std::string &status,
              int lengthDelta = 0, const std::string &auth = "") {
    return SkewLength(WillingReply(name, status, auth), lengthDelta);
}

Bytes Unwilling(const std::string &name, const std::string &status,
                int lengthDelta = 0) {
    return SkewLength(UnwillingReply(name, status), lengthDelta);
}

class ReplyIntake : public testing::Test {
  protected:
    void SetUp() override {
        EnsureToolkit();
        ClearHosts();
        us = BindUdp();
        host = BindUdp();
        // The receive buffer takes its one body at its first use; take
        // that out of the counts below.
        SendBytes(host, us, {0});
        HandleReply(nullptr, &us.fd, nullptr);
    }
    void TearDown() override {
        CloseUdp(&us);
        CloseUdp(&host);
        ClearHosts();
    }
    // Sends one datagram and lets the intake take it, counting the blocks
    // it leaves allocated and the allocations it made.
    void Deliver(const Bytes &datagram) {
        SendBytes(host, us, datagram);
        long before = LiveAllocations();
        long made = AllocationCount();
        HandleReply(nullptr, &us.fd, nullptr);
        leftAllocated = LiveAllocations() - before;
        allocationsMade = AllocationCount() - made;
        SettleHosts();
    }
    UdpSocket us;
    UdpSocket host;
    long leftAllocated = 0;
    long allocationsMade = 0;
};

TEST_F(ReplyIntake, WillingReplyIsRecorded) {
    Bytes m = {0,   1,   0,   5,   0,   13, 0, 0,   0,  5,
               'a', 'l', 'p', 'h', 'a', 0,  2, 'o', 'k'};
    ASSERT_EQ(m.size(), 19u);
    Deliver(m);
    ASSERT_EQ(hostCount, 1);
    EXPECT_EQ(hostEntries->willing, 1);
    // 127.0.0.1 has a name of its own, which replaces the one sent.
    EXPECT_EQ(std::string(hostEntries->displayLine),
              "localhost" + std::string(21, ' ') + " ok");
    EXPECT_EQ(hostEntries->connectionType, kFamilyInternet);
}

TEST_F(ReplyIntake, UnwillingReplyIsRecordedAsUnwilling) {
    Deliver(Unwilling("beta", "full"));
    ASSERT_EQ(hostCount, 1);
    EXPECT_EQ(hostEntries->willing, 0);
}

TEST_F(ReplyIntake, WrongLengthIsDroppedAndEveryBodyReleased) {
    for (int delta : {-1, 1, 65536 - 17}) {
        Deliver(Willing("alpha", "ok", delta, "auth"));
        EXPECT_EQ(hostCount, 0) << delta;
        EXPECT_EQ(leftAllocated, 0) << delta;
        EXPECT_EQ(allocationsMade, 3) << "auth, name and status were read";
    }
    Deliver(Unwilling("beta", "full", 1));
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(leftAllocated, 0);
}

TEST_F(ReplyIntake, BytesAfterTheDeclaredLengthAreIgnored) {
    Bytes m = Willing("alpha", "ok");
    m.insert(m.end(), {9, 9, 9});
    Deliver(m);
    EXPECT_EQ(hostCount, 1);

    Bytes counted = Willing("beta", "ok", 3);
    counted.insert(counted.end(), {9, 9, 9});
    Deliver(counted);
    EXPECT_EQ(hostCount, 1) << "a length that counts the extra bytes is wrong";
}

TEST_F(ReplyIntake, TruncatedFieldIsDroppedAndEveryBodyReleased) {
    Bytes m = Willing("alpha", "status text");
    m.resize(m.size() - 4);
    Deliver(m);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(leftAllocated, 0);
    EXPECT_EQ(allocationsMade, 2) << "name and partial status; auth was empty";
}

TEST_F(ReplyIntake, LengthClaimingMoreThanTheDatagramHoldsIsDropped) {
    // The status claims 65535 bytes; two follow.
    Bytes m = {0, 1, 0, 6, 0xff, 0xff, 0, 1, 'a', 0xff, 0xff, 's', 't'};
    Deliver(m);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(leftAllocated, 0);
}

TEST_F(ReplyIntake, AnEightThousandByteStatusIsKeptAndShownCut) {
    Deliver(Willing("", std::string(8000, 's')));
    ASSERT_EQ(hostCount, 1);
    EXPECT_EQ(hostEntries->status.length, kMostStatusBytes + 1);
    std::string line = ListLine(0);
    EXPECT_EQ(line.substr(line.size() - 4), "s...");
}

TEST_F(ReplyIntake, ShortWrongVersionAndWrongOpcodeAllocateNothing) {
    Bytes wrongVersion = Willing("alpha", "ok");
    wrongVersion[1] = 2;
    Bytes query = {0, 1, 0, 2, 0, 1, 0};
    Bytes opcode7 = Willing("alpha", "ok");
    opcode7[3] = 7;
    for (const Bytes &m :
         {Bytes{0, 1, 0, 5, 0}, wrongVersion, query, opcode7}) {
        Deliver(m);
        EXPECT_EQ(hostCount, 0);
        EXPECT_EQ(allocationsMade, 0);
    }
}

TEST_F(ReplyIntake, RepeatedStatusIsReleasedByTheIntake) {
    Deliver(Willing("alpha", "ok"));
    Deliver(Willing("alpha", "ok"));
    EXPECT_EQ(hostCount, 1);
    EXPECT_EQ(leftAllocated, 0);
}

TEST_F(ReplyIntake, AllocationFailureDropsTheReply) {
    SendBytes(host, us, Willing("alpha", "ok"));
    long before = LiveAllocations();
    FailAllocation(1); // the host name's body
    HandleReply(nullptr, &us.fd, nullptr);
    AllowAllocations();
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(LiveAllocations(), before);
}

TEST_F(ReplyIntake, OnlyTheFirst8192BytesOfADatagramCount) {
    Bytes fits = Willing("alpha", "ok");
    fits.resize(9000, 0xee);
    Deliver(fits);
    EXPECT_EQ(hostCount, 1);

    Bytes tooLong = Willing("beta", std::string(8192 - 6 - 2 - 6 - 2 + 1, 's'));
    ASSERT_EQ(tooLong.size(), 8193u);
    Deliver(tooLong);
    EXPECT_EQ(hostCount, 1);
    EXPECT_EQ(leftAllocated, 0);
}

TEST_F(ReplyIntake, ValidReplyAfterGarbageIsStillTaken) {
    Deliver({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
    Deliver({});
    Deliver(Willing("alpha", "ok"));
    EXPECT_EQ(hostCount, 1);
}

} // namespace
