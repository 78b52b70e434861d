// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "selection/actions.h"

#include <X11/Xaw/List.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/report.h"
#include "tests/alloc_fail.h"
#include "shell/settings.h"
#include "shell/window.h"
#include "tests/lab/replies.h"
#include "tests/table_fixture.h"
#include "tests/toolkit.h"
#include "xdmcp/discovery.h"

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

class Selection : public testing::Test {
  protected:
    void SetUp() override {
        EnsureToolkit();
        ClearHosts();
        saved = settings;
        settings = {nullptr, nullptr, 0};
    }
    void TearDown() override {
        settings = saved;
        ClearHosts();
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
    // Records a reply, and with `settle`, lets the event loop show it.
    static void Add(const std::string &name, const std::string &status,
                    const char *ip, int willing, bool settle = true) {
        ASSERT_EQ(Record(name, status, ip, willing), 1);
        if (settle)
            SettleHosts();
    }
    // Highlights the list line that shows host `name`.
    static void Select(const std::string &name) {
        for (int i = 0; i < RowCount(); i++)
            if (std::strncmp(displayLines[i], name.c_str(), name.size()) == 0)
                XawListHighlight(list, i);
    }
    static int SelectedIndex() {
        XawListReturnStruct *r = XawListShowCurrent(list);
        int index = r->list_index;
        XtFree(reinterpret_cast<char *>(r));
        return index;
    }
    LaunchSettings saved{};
    std::deque<ARRAY8> owned; // stable addresses: settings point into it
};

TEST_F(Selection, PrintedFormIsTypeThenAddressBytes) {
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
TEST_F(Selection, APrintedChoiceWhoseReaderIsGoneFailsWithStatusOne) {
    Add("alpha", "ok", "10.0.0.7", 1);
    auto printToClosedPipe = [] {
        int ends[2];
        if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], 1) < 0)
            std::exit(2);
        ReportChoice(hostEntries);
    };
    EXPECT_EXIT(printToClosedPipe(), testing::ExitedWithCode(1),
                "^Cannot write the choice to standard output\n$");
}

TEST_F(Selection, PrintedFormOfALocalHostIsItsTypeAlone) {
    ASSERT_EQ(Record("x", "y", "10.0.0.1", 1, 177, AF_UNIX), 1);
    testing::internal::CaptureStdout();
    ReportChoice(hostEntries);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "256\n");
}

TEST_F(Selection, ReportIsClientAddressTypeAndHostAddress) {
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

TEST_F(Selection, LongReportIsCutAtExactly1024Bytes) {
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

TEST_F(Selection, UnreachableDisplayManagerExitsWithStatusOne) {
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

TEST_F(Selection, AReportThatCannotBeSentIsAFailure) {
    Listener dm;
    settings.vornAddress =
        Array({0, 2, static_cast<unsigned char>(dm.port >> 8),
               static_cast<unsigned char>(dm.port), 127, 0, 0, 1});
    Add("alpha", "ok", "10.0.0.7", 1);
    EXPECT_EXIT((FailNextSend(), ReportChoice(hostEntries)),
                testing::ExitedWithCode(1), "^Cannot send to vorn\n$");
}

TEST_F(Selection, ShortDisplayManagerAddressIsNeverReadPastItsEnd) {
    Add("alpha", "ok", "10.0.0.7", 1);
    for (const Bytes &shortAddress :
         {Bytes{}, Bytes{0}, Bytes{0, 2, 0, 80, 127}}) {
        settings.vornAddress = Array(shortAddress);
        EXPECT_EXIT(ReportChoice(hostEntries), testing::ExitedWithCode(1),
                    "^Cannot connect to vorn\n$");
    }
}

TEST_F(Selection, AcceptWithNothingSelectedOnlyRingsTheBell) {
    Add("alpha", "ok", "10.0.0.7", 1);
    testing::internal::CaptureStdout();
    Accept(list, nullptr, nullptr, nullptr); // returns: the program goes on
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Runs an action in a death test's child with its standard output sent to
// standard error, the stream that EXPECT_EXIT matches.
void RunShowingStdout(XtActionProc action) {
    std::freopen("/dev/stderr", "w", stdout);
    action(list, nullptr, nullptr, nullptr);
}

// The name service names both 127.0.0.2 and 127.0.0.3 "twin": one host,
// one row, and both its addresses reported.
TEST_F(Selection, AcceptReportsEveryHostOfTheRowInTheOrderTheyAnswered) {
    Add("b", "same", "127.0.0.3", 1);
    Add("other", "x", "10.0.0.1", 1);
    Add("a", "same", "127.0.0.2", 1);
    ASSERT_EQ(RowCount(), 2);
    Select("twin");
    EXPECT_EXIT(RunShowingStdout(Accept), testing::ExitedWithCode(0),
                "^0\n127 0 0 3\n0\n127 0 0 2\n$");
}

TEST_F(Selection, CancelExitsWithoutReporting) {
    Add("alpha", "ok", "10.0.0.7", 1);
    Select("alpha");
    EXPECT_EXIT(RunShowingStdout(Cancel), testing::ExitedWithCode(0), "^$");
}

TEST_F(Selection, CheckWillingUndoesOnlyAnUnwillingSelection) {
    Add("keen", "ok", "10.0.0.1", 1);
    Add("loath", "no", "10.0.0.2", 0);
    Select("keen");
    CheckWilling(list, nullptr, nullptr, nullptr);
    EXPECT_NE(SelectedIndex(), XAW_LIST_NONE);
    Select("loath");
    CheckWilling(list, nullptr, nullptr, nullptr);
    EXPECT_EQ(SelectedIndex(), XAW_LIST_NONE);
}

// A key pressed during a burst, before the widget was shown the hosts
// recorded last, acts on the list as it is in the table, unless the list
// was handed over less than a burst's interval (100 ms) ago.
TEST_F(Selection, AKeyDuringABurstSeesEveryRecordedHost) {
    Add("", "first", "10.0.0.1", 1);
    Add("", "second", "10.0.0.2", 1, false);
    Add("", "third", "10.0.0.3", 1, false);
    ASSERT_EQ(ListLineCount(), 1) << "the burst is not shown yet";
    usleep(100 * 1000);
    // End, as the server delivers it: to the paned widget, which takes
    // every key.
    XEvent key{};
    key.xkey.type = KeyPress;
    key.xkey.display = XtDisplay(list);
    key.xkey.window = XtWindow(XtParent(XtParent(list)));
    key.xkey.root = DefaultRootWindow(XtDisplay(list));
    key.xkey.same_screen = True;
    key.xkey.keycode = XKeysymToKeycode(XtDisplay(list), XK_End);
    XtDispatchEvent(&key);
    XawListReturnStruct *current = XawListShowCurrent(list);
    EXPECT_EQ(std::string(current->string),
              " [10.0.0.3]" + std::string(19, ' ') + " third");
    XtFree(reinterpret_cast<char *>(current));
}

TEST_F(Selection, PingEmptiesTheListAndStartsANewSeries) {
    Add("alpha", "ok", "10.0.0.7", 1);
    pingCount = 3;
    Ping(list, nullptr, nullptr, nullptr);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(ListLineCount(), 0);
    EXPECT_EQ(pingCount, 1);
}

} // namespace
