#include <gtest/gtest.h>

#include "hosts/names.h"
#include "hosts/view.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "hosts/line.h"
#include "hosts/resolver.h"
#include "shell/loop.h"
#include "tests/events.h"
#include "tests/table_fixture.h"

namespace {
int refreshes;
} // namespace

// The list view, which this test binary has not: the name wait asks it to
// show what has settled.
void RefreshSoon(Pace) {
    refreshes++;
}

namespace {

const std::string kBlank(kNameColumns, ' ');

class NameWait : public testing::Test {
  protected:
    void SetUp() override {
        EnsureEventLoop();
        SetNameWait(AwaitName);
        refreshes = 0;
    }
    void TearDown() override {
        DropNameWaits();
        ClearHosts();
        LinesHanded();
        SetNameWait(nullptr);
    }
};

// The test's hosts file names 127.0.0.1 "localhost" and nothing else.
TEST_F(NameWait, AKnownAddressIsListedUnderItsResolvedName) {
    ASSERT_EQ(Record("told", "ok", "127.0.0.1", 1), 1);
    EXPECT_TRUE(ListedHosts().empty()) << "listed before its name settled";
    SettleNames();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"localhost" +
                                                  kBlank.substr(9) + " ok"}));
    EXPECT_GT(refreshes, 0) << "the view was not asked to show it";
}

TEST_F(NameWait, AnUnknownAddressIsListedUnderTheNameItsReplyGave) {
    ASSERT_EQ(Record("told", "ok", "10.0.0.1", 1), 1);
    SettleNames();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"told" + kBlank.substr(4) + " ok"}));
}

TEST_F(NameWait, AnEmptyNameIsNeverLookedUp) {
    ASSERT_EQ(Record("", "ok", "127.0.0.1", 1), 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{kBlank + " ok"}))
        << "listed at once";
}

// The loop takes a due timer before a waiting answer: past the deadline,
// the name from the reply is shown, and kept when the answer comes.
TEST_F(NameWait, ANameThatComesAfterTheDeadlineIsNotTaken) {
    ASSERT_EQ(Record("told", "ok", "127.0.0.1", 1), 1);
    usleep((kNameWaitMs + 100) * 1000);
    RunEventLoop(200);
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"told" + kBlank.substr(4) + " ok"}));
}

std::string answered;
void Answered(void *, const sockaddr *, const char *name, bool confirmed,
              bool settled) {
    answered += name != nullptr ? name : "(none)";
    answered += confirmed ? " confirmed" : "";
    answered += settled ? "." : ", ";
}

// A look-up that no worker began by its deadline is answered without a
// query: under a flood the name server sees only the few that are in time.
TEST_F(NameWait, ALookUpNotBegunByItsDeadlineIsNotMade) {
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &loopback.sin_addr);
    for (long deadline : {NowMs() - 1, NowMs() + kNameWaitMs}) {
        answered.clear();
        ASSERT_TRUE(LookUpAddress(reinterpret_cast<sockaddr *>(&loopback),
                                  sizeof(loopback), deadline, Answered,
                                  nullptr));
        for (int waited = 0;
             (answered.empty() || answered.back() != '.') && waited < 1000;
             waited += 5)
            RunEventLoop(5);
        EXPECT_EQ(answered, deadline < NowMs()
                                ? "(none)."
                                : "localhost, localhost confirmed.");
    }
}

TEST_F(NameWait, WaitsDroppedWithTheTableListNothingLater) {
    ASSERT_EQ(Record("told", "ok", "127.0.0.1", 1), 1);
    DropNameWaits();
    ClearHosts();
    ASSERT_EQ(Record("", "new", "10.0.0.2", 1), 1);
    RunEventLoop(kNameWaitMs + 200);
    EXPECT_EQ(hostCount, 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{kBlank + " new"}));
}

} // namespace
