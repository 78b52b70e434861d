#include <gtest/gtest.h>

#include "selection/report.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "shell/settings.h"
#include "tests/alloc_fail.h"
#include "tests/lab/replies.h"
#include "tests/table_fixture.h"

namespace {

// A display manager on loopback that takes one report per connection.
struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
        EXPECT_EQ(listen(fd, 8), 0);
        socklen_t l = sizeof(a);
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &l);
        port = ntohs(a.sin_port);
    }
    ~Listener() {
        close(fd);
    }
    // The bytes of the next connection, read until the sender closes.
    Bytes Next() {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 2000) != 1)
            return {};
        return ReadReport(fd);
    }
};

class ChoiceReport : public testing::Test {
  protected:
    void TearDown() override {
        ClearHosts();
        LinesHanded(); // no widget here holds the lines
        for (ARRAY8 &a : owned)
            ReleaseArray8(&a);
    }
    ARRAY8 *Array(const Bytes &b) {
        owned.push_back({0, nullptr});
        ARRAY8 *a = &owned.back();
        AllocArray8(a, static_cast<int>(b.size()));
        if (!b.empty())
            std::memcpy(a->data, b.data(), b.size());
        return a;
    }
    static void Add(const std::string &name, const std::string &status,
                    const char *ip, int willing) {
        ASSERT_EQ(Record(name, status, ip, willing), 1);
    }
    EmptyChoice choice;
    std::deque<ARRAY8> owned; // stable addresses: settings point into it
};

TEST_F(ChoiceReport, PrintedFormIsTypeThenAddressBytes) {
    Add("alpha", "ok", "10.0.0.7", 1);
    Add("beta", "ok", "fd00::7", 1);
    testing::internal::CaptureStdout();
    ReportChoice(hostEntries);
    ReportChoice(hostEntries->next);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "0\n10 0 0 7\n6\n253 0 0 0 0 0 0 0 0 0 0 0 0 0 0 7\n");
}

// Start-up ignores SIGPIPE, so a reader gone is a failure told.
TEST_F(ChoiceReport, APrintedChoiceWhoseReaderIsGoneFailsWithStatusOne) {
    Add("alpha", "ok", "10.0.0.7", 1);
    auto printToClosedPipe = [] {
        std::signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], 1) < 0)
            std::exit(2);
        ReportChoice(hostEntries);
    };
    EXPECT_EXIT(printToClosedPipe(), testing::ExitedWithCode(1),
                "^Cannot write the choice to standard output\n$");
}

TEST_F(ChoiceReport, PrintedFormOfALocalHostIsItsTypeAlone) {
    ASSERT_EQ(Record("x", "y", "10.0.0.1", 1, 177, AF_UNIX), 1);
    testing::internal::CaptureStdout();
    ReportChoice(hostEntries);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "256\n");
}

TEST_F(ChoiceReport, ReportIsClientAddressTypeAndHostAddress) {
    Listener dm;
    settings.vornAddress =
        Array({0, 2, static_cast<unsigned char>(dm.port >> 8),
               static_cast<unsigned char>(dm.port), 127, 0, 0, 1});
    settings.clientAddress = Array({0x0a, 0, 0, 5});
    Add("alpha", "ok", "10.0.0.7", 1);
    ReportChoice(hostEntries);
    EXPECT_EQ(dm.Next(),
              (Bytes{0, 4, 0x0a, 0, 0, 5, 0, 0, 0, 4, 0x0a, 0, 0, 7}));

    settings.connectionType = 65537;
    settings.clientAddress = nullptr; // sent as an empty address
    ReportChoice(hostEntries);
    EXPECT_EQ(dm.Next(), (Bytes{0, 0, 0, 1, 0, 4, 0x0a, 0, 0, 7}));
}

TEST_F(ChoiceReport, LongReportIsCutAtExactly1024Bytes) {
    Listener dm;
    settings.vornAddress =
        Array({0, 2, static_cast<unsigned char>(dm.port >> 8),
               static_cast<unsigned char>(dm.port), 127, 0, 0, 1});
    settings.clientAddress = Array(Bytes(1015, 0xcc));
    Add("alpha", "ok", "10.0.0.7", 1);
    ReportChoice(hostEntries);
    Bytes got = dm.Next();
    ASSERT_EQ(got.size(), 1024u);
    EXPECT_EQ(got[0], 0x03);
    EXPECT_EQ(got[1], 0xf7);
    EXPECT_EQ(got[1017], 0x00) << "connection type";
    EXPECT_EQ(got[1019], 0x00) << "host address length, high byte";
    EXPECT_EQ(got[1020], 0x04);
    EXPECT_EQ(got[1021], 0x0a);
}

TEST_F(ChoiceReport, UnreachableDisplayManagerExitsWithStatusOne) {
    Add("alpha", "ok", "10.0.0.7", 1);
    int closedPort;
    {
        Listener gone;
        closedPort = gone.port;
    }
    settings.vornAddress =
        Array({0, 2, static_cast<unsigned char>(closedPort >> 8),
               static_cast<unsigned char>(closedPort), 127, 0, 0, 1});
    EXPECT_EXIT(ReportChoice(hostEntries), testing::ExitedWithCode(1),
                "^Cannot connect to vorn\n$");

    settings.vornAddress = Array({0, 10, 0, 80, 127, 0, 0, 1});
    EXPECT_EXIT(ReportChoice(hostEntries), testing::ExitedWithCode(1),
                "^Cannot (connect to vorn|create response socket)\n$");
}

TEST_F(ChoiceReport, AReportThatCannotBeSentIsAFailure) {
    Listener dm;
    settings.vornAddress =
        Array({0, 2, static_cast<unsigned char>(dm.port >> 8),
               static_cast<unsigned char>(dm.port), 127, 0, 0, 1});
    Add("alpha", "ok", "10.0.0.7", 1);
    EXPECT_EXIT((FailNextSend(), ReportChoice(hostEntries)),
                testing::ExitedWithCode(1), "^Cannot send to vorn\n$");
}

TEST_F(ChoiceReport, ShortDisplayManagerAddressIsNeverReadPastItsEnd) {
    Add("alpha", "ok", "10.0.0.7", 1);
    for (const Bytes &shortAddress :
         {Bytes{}, Bytes{0}, Bytes{0, 2, 0, 80, 127}}) {
        settings.vornAddress = Array(shortAddress);
        EXPECT_EXIT(ReportChoice(hostEntries), testing::ExitedWithCode(1),
                    "^Cannot connect to vorn\n$");
    }
}

} // namespace
