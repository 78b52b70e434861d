#include <gtest/gtest.h>

#include "hosts/rows.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hosts/line.h"
#include "hosts/resolver.h"
#include "shell/clock.h"
#include "tests/events.h"
#include "tests/table_fixture.h"

namespace {

int listings;
void CountListing(bool) {
    listings++;
}

const std::string kBlank(kNameColumns, ' ');

std::string Pad(const std::string &name) {
    return name + kBlank.substr(std::min(name.size(), kBlank.size()));
}

class NameWait : public testing::Test {
  protected:
    void SetUp() override {
        SetListedHook(CountListing);
        listings = 0;
    }
    void TearDown() override {
        DropNameWaits();
        ClearHosts();
        LinesHanded();
        SetListedHook(nullptr);
    }
};

// The test's hosts file names 127.0.0.1 "localhost" and nothing else.
TEST_F(NameWait, AKnownAddressIsListedUnderItsResolvedName) {
    ASSERT_EQ(Record("told", "ok", "127.0.0.1", 1), 1);
    EXPECT_TRUE(ListedHosts().empty()) << "listed before its name settled";
    SettleNames();
    EXPECT_EQ(Listed(), (std::vector<std::string>{"localhost" +
                                                  kBlank.substr(9) + " ok"}));
    EXPECT_GT(listings, 0) << "the hook was not told";
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
    // Nothing is dispatched within the wait: its deadline passes first.
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
        RunUntil([] { return !answered.empty() && answered.back() == '.'; });
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
    RunEventLoop(kNameWaitMs + 200); // nothing more is listed within it
    EXPECT_EQ(hostCount, 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{kBlank + " new"}));
}

bool BothConfirmed() {
    return hostCount >= 2 && hostEntries->naming == Naming::kConfirmed &&
           hostEntries->next->naming == Naming::kConfirmed;
}

// The test's hosts file names 127.0.0.2 and 127.0.0.3 "twin": a name shown
// twice stands for one host only when the name service gave it both
// times; a reply that copies it makes every line with that name show its
// address, for good.
TEST_F(NameWait, RowsStandForHostsWhateverAReplyCopies) {
    Record("x", "idle", "127.0.0.2", 1);
    Record("y", "idle", "127.0.0.3", 1);
    ASSERT_TRUE(RunUntil(BothConfirmed));
    EXPECT_EQ(Listed(), (std::vector<std::string>(2, Pad("twin") + " idle")));
    EXPECT_TRUE(SameRow(ListedHosts()[0], ListedHosts()[1]));
    EXPECT_EQ(ListedHosts()[0], hostEntries) << "in the order they answered";

    Record("twin", "idle", "10.0.0.9", 1);
    Record("twin", "idle", "10.0.0.10", 1);
    SettleNames();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{Pad("twin [10.0.0.10]") + " idle",
                                        Pad("twin [10.0.0.9]") + " idle",
                                        Pad("twin [127.0.0.2]") + " idle",
                                        Pad("twin [127.0.0.3]") + " idle"}));
    EXPECT_FALSE(SameRow(ListedHosts()[1], ListedHosts()[2]));
    RunEventLoop(kNameWaitMs + 100); // the waits end, and nothing changes
    EXPECT_TRUE(BothConfirmed()) << "a name confirmed in time stays so";
    Record("", "busy", "127.0.0.2", 1);
    EXPECT_EQ(std::string(hostEntries->displayLine),
              Pad("twin [127.0.0.2]") + " busy")
        << "kept as the status changes";
}

} // namespace
