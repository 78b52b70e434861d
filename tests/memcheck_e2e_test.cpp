// A whole session under valgrind's memcheck: start-up, replies from many
// hosts, updates, malformed and oversized datagrams, a Ping and the
// replies after it, then Accept and the report.  Passes only when memcheck
// finds no invalid access and no definitely or indirectly lost bytes.
// (Not built with the sanitizers, which cannot run under valgrind.)
#include "tests/e2e.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr int kValgrindErrorStatus = 97;
constexpr int kWillingHosts = 16;

std::string ReadAll(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Datagrams the intake must drop, one of each kind.
std::vector<Bytes> Malformed() {
    Bytes willing = WillingReply("mallory", "up");
    Bytes shortDatagram(willing.begin(), willing.begin() + 5);
    Bytes version2 = willing;
    version2[1] = 2;
    Bytes query = {0, 1, 0, 2, 0, 1, 0};
    Bytes truncated(willing.begin(), willing.end() - 1);
    Bytes claims65535 = {0, 1, 0, 5, 0xff, 0xff, 0, 0, 0xff, 0xff, 'x', 'y'};
    Bytes oversized = WillingReply("mallory", std::string(9000, 's'));
    return {shortDatagram,
            version2,
            query,
            truncated,
            claims65535,
            oversized,
            SkewLength(willing, 1)};
}

class Memcheck : public EndToEnd {};

TEST_F(Memcheck, AWholeSessionHasNoInvalidAccessAndLosesNothing) {
    net.AddLan(0);
    for (int i = 0; i < kWillingHosts; i++)
        net.AddHost(0, 11 + i,
                    {WillingReply("host" + std::to_string(i), "idle")});
    // Answers twice with different statuses: an update on every query.
    net.AddHost(
        0, 40,
        {WillingReply("changer", "busy"), WillingReply("changer", "idle")});
    net.AddHost(0, 41, {UnwillingReply("refuser", "full")});
    // Everything malformed, then a status of 8000 bytes, which is valid.
    std::vector<Bytes> hostile = Malformed();
    hostile.push_back(WillingReply("large", std::string(8000, 'L')));
    net.AddHost(0, 42, hostile);
    net.Start();
    int port = net.ListenForReport();

    std::string log = "/tmp/" + net.client() + "-memcheck.log";
    // Deep enough to see that fontconfig's blocks are a face's.
    net.RunUnder({"valgrind", "--tool=memcheck", "--leak-check=full",
                  "--num-callers=100", "--show-leak-kinds=definite,indirect",
                  "--errors-for-leak-kinds=definite,indirect",
                  "--error-exitcode=" + std::to_string(kValgrindErrorStatus),
                  "--suppressions=" HOSTPICK_SOURCE_DIR "/tests/memcheck.supp",
                  "--log-file=" + log});
    Program p = Start({"-vornaddress", VornAddress(port), "-clientaddress",
                       "0a000005", "BROADCAST"});
    ASSERT_NE(window, 0u) << ReadAll(log);
    const size_t hosts = kWillingHosts + 3;
    AwaitArrivals(hosts, 10000); // and the rows, slow under valgrind

    x.ClickButton(window, "Ping");
    AwaitArrivals(net.Arrivals().size() + hosts, 10000);
    // A row shown before the Ping may still be drawn, and accepting it
    // reports nothing; after it the rows come as their names do, and the
    // window's layout may still settle under valgrind.  So changer's row
    // is picked by typing its first letter, the only row's that begins
    // so (two letters may come a second apart under valgrind, and start
    // afresh), while every row is drawn, until a report comes.
    EXPECT_TRUE(PollUntil(
        [&] {
            if (x.DrawnRows(window) < static_cast<int>(hosts))
                return false;
            x.TypeOutside("c");
            x.KeysOutside("Return");
            return !net.Reports(1000).empty();
        },
        30000, 0));

    int status = p.Wait(60000);
    std::string report = ReadAll(log);
    EXPECT_EQ(status, 0) << report;
    // The first line, "changer", is the host whose entry was updated.
    std::vector<Bytes> reports = net.Reports(1000);
    ASSERT_EQ(reports.size(), 1u) << "Accept reported nothing";
    Bytes changer = {10, 55, 0, 40};
    EXPECT_TRUE(
        std::equal(changer.rbegin(), changer.rend(), reports[0].rbegin()))
        << Hex(reports[0]);
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos)
        << report;
    // Leaks summarised as lost, or none at all.
    for (const char *kind : {"definitely lost: ", "indirectly lost: "}) {
        size_t at = report.find(kind);
        if (at != std::string::npos) {
            EXPECT_EQ(report.compare(at + std::strlen(kind), 2, "0 "), 0)
                << report;
        }
    }
    unlink(log.c_str());
}

} // namespace
