// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "xdmcp/discovery.h"
#include "xdmcp/targets.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "hosts/table.h"
#include "hosts/view.h"
#include "tests/alloc_fail.h"
#include "tests/lab/replies.h"
#include "tests/toolkit.h"
#include "tests/udp.h"

namespace {

// StartDiscovery runs once per process, so each case runs it in a child,
// which starts from an empty target list and exits with 0 when its own
// checks hold.
sockaddr_in Loopback177() {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kXdmcpPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

void FirstPingChild() {
    queryTargets = nullptr;
    char a[] = "7f000001";
    char b[] = "127.0.0.1";
    char c[] = "no.such.invalid";
    char *args[] = {a, b, c, nullptr};
    _exit(StartDiscovery(args) && pingCount == 1 ? 0 : 1);
}

void UnpreparedMessageChild() {
    queryTargets = nullptr;
    char a[] = "7f000001";
    char *args[] = {a, nullptr};
    FailAllocation(0); // the BROADCAST_QUERY's body
    StartDiscovery(args);
    sockaddr_in to = Loopback177();
    AddQueryTarget(&to, sizeof(to), kOpcodeBroadcastQuery);
    SendQueries();
    _exit(0);
}

void BroadcastKindChild() {
    queryTargets = nullptr;
    char *args[] = {nullptr};
    StartDiscovery(args);
    sockaddr_in to = Loopback177();
    AddQueryTarget(&to, sizeof(to), kOpcodeBroadcastQuery);
    SendQueries();
    _exit(pingCount == 2 ? 0 : 1);
}

// Where the system has no IPv6, IPv4 goes as before, and not a word.
void WithoutIPv6Child() {
    queryTargets = nullptr;
    RefuseSockets(AF_INET6);
    char a[] = "7f000001";
    char b[] = "::1";
    char *args[] = {a, b, nullptr};
    _exit(StartDiscovery(args) && querySocket6 < 0 ? 0 : 1);
}

// A lab of 2000 hosts answers before the program reads a single reply:
// every reply must still be waiting on the socket when it does.
void WholeLabChild() {
    constexpr int kLab = 2000;
    queryTargets = nullptr;
    char a[] = "127.0.0.1"; // the query gives the socket its port
    char *args[] = {a, nullptr};
    StartDiscovery(args);
    sockaddr_in self{};
    socklen_t length = sizeof(self);
    getsockname(querySocket, reinterpret_cast<sockaddr *>(&self), &length);
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < kLab; i++) {
        in_addr source;
        source.s_addr = htonl(0x7f010000 + i); // 127.1.0.0 onwards
        // No name, so no look-up: the status tells the hosts apart.
        SendBytesAs(source, self,
                    WillingReply("", "host " + std::to_string(i)));
    }
    for (int waited = 0; hostCount < kLab && waited < 5000; waited += 100)
        RunEventLoop(100);
    _exit(hostCount == kLab ? 0 : 1);
}

class Discovery : public testing::Test {
  protected:
    // A death test's child, started afresh, runs SetUp too; the port stays
    // with the parent, which reads what the child sends.
    void SetUp() override {
        EnsureToolkit();
        if (GTEST_FLAG_GET(internal_run_death_test).empty())
            port177 = BindUdp(kXdmcpPort);
    }
    void TearDown() override {
        CloseUdp(&port177);
    }
    std::vector<Bytes> Received(int ms) {
        std::vector<Bytes> all;
        for (Bytes b; !(b = ReceiveBytes(port177, ms)).empty();)
            all.push_back(b);
        return all;
    }
    UdpSocket port177;
};

TEST_F(Discovery, FirstPingSendsTheQueryToEveryTargetInOrder) {
    EXPECT_EXIT(FirstPingChild(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(Received(500), (std::vector<Bytes>{kQuery, kQuery}));
}

TEST_F(Discovery, AMessageThatCouldNotBePreparedIsLeftOut) {
    EXPECT_EXIT(UnpreparedMessageChild(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(Received(500), (std::vector<Bytes>{kQuery, kQuery}))
        << "no empty datagram in place of the BROADCAST_QUERY";
}

TEST_F(Discovery, BroadcastKindTargetsGetTheBroadcastQuery) {
    EXPECT_EXIT(BroadcastKindChild(), testing::ExitedWithCode(0), "");
    EXPECT_EQ(Received(500), (std::vector<Bytes>{kBroadcastQuery}));
}

TEST_F(Discovery, AWholeLabAnsweringAtOnceIsListedInFull) {
    EXPECT_EXIT(WholeLabChild(), testing::ExitedWithCode(0), "");
}

TEST_F(Discovery, WithoutIPv6SocketsIPv4GoesAsBeforeInSilence) {
    EXPECT_EXIT(WithoutIPv6Child(), testing::ExitedWithCode(0), "^$");
    EXPECT_EQ(Received(500), (std::vector<Bytes>{kQuery}));
}

} // namespace
