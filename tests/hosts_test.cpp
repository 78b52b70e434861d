// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "hosts/hosts.h"

#include <arpa/inet.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "tests/alloc_fail.h"
#include "tests/toolkit.h"

namespace {

std::string Pad(const std::string &name) {
    return name.size() >= 30 ? name : name + std::string(30 - name.size(), ' ');
}

class HostTable : public testing::Test {
  protected:
    void SetUp() override {
        EnsureToolkit();
        ClearHosts();
    }
    void TearDown() override {
        AllowAllocations();
        ClearHosts();
    }

    static ARRAY8 Make(const std::string &bytes) {
        ARRAY8 a = {0, nullptr};
        EXPECT_EQ(AllocArray8(&a, static_cast<int>(bytes.size())), 1);
        std::memcpy(a.data, bytes.data(), bytes.size());
        return a;
    }

    // As the reply intake does: on 0 the caller releases both values.
    // With `failAt`, the table's own allocation of that number fails.  The
    // widget is not told.
    static int Take(const std::string &name, const std::string &status,
                    const char *ip, int willing, int port = 177,
                    sa_family_t family = AF_INET, int failAt = -1) {
        ARRAY8 hostname = Make(name);
        ARRAY8 st = Make(status);
        if (failAt >= 0)
            FailAllocation(failAt);
        sockaddr_in sender{};
        sender.sin_family = family;
        sender.sin_port = htons(port);
        inet_pton(AF_INET, ip, &sender.sin_addr);
        int taken = RecordHost(&hostname, &st, &sender, willing);
        if (!taken) {
            ReleaseArray8(&hostname);
            ReleaseArray8(&st);
        }
        return taken;
    }
    // As Take, then as the event loop goes on: names settle, the widget is
    // told.
    static int Record(const std::string &name, const std::string &status,
                      const char *ip, int willing, int port = 177,
                      sa_family_t family = AF_INET, int failAt = -1) {
        int taken = Take(name, status, ip, willing, port, family, failAt);
        SettleHosts();
        return taken;
    }

    static std::vector<std::string> Shown() {
        std::vector<std::string> lines;
        lines.reserve(ListLineCount());
        for (int i = 0; i < ListLineCount(); i++)
            lines.emplace_back(ListLine(i));
        return lines;
    }

    static std::vector<std::string> TableOrder() {
        std::vector<std::string> lines;
        for (const HostEntry *e = hostEntries; e != nullptr; e = e->next)
            lines.emplace_back(e->displayLine);
        return lines;
    }
};

TEST_F(HostTable, NewHostIsShownAsNameFilledToThirtyThenStatus) {
    ASSERT_EQ(Record("alpha", "busy", "10.0.0.1", 1), 1);
    ASSERT_EQ(hostCount, 1);
    const HostEntry *e = hostEntries;
    EXPECT_EQ(std::string(e->displayLine),
              "alpha" + std::string(25, ' ') + " busy");
    EXPECT_EQ(std::strlen(e->displayLine), 35u);
    EXPECT_EQ(e->connectionType, kFamilyInternet);
    ASSERT_EQ(e->hostAddress.length, 4);
    EXPECT_EQ(std::memcmp(e->hostAddress.data, "\x0a\x00\x00\x01", 4), 0);
    EXPECT_EQ(e->willing, 1);
    EXPECT_EQ(Shown(), (std::vector<std::string>{e->displayLine}));
}

TEST_F(HostTable, UpdateKeepsFirstNameAndPlaceButTakesNewStatus) {
    Record("alpha", "one", "10.0.0.1", 1);
    Record("beta", "two", "10.0.0.2", 1);
    Record("gamma", "three", "10.0.0.3", 1);
    ASSERT_EQ(Record("renamed", "later", "10.0.0.2", 0, 5000), 1);
    EXPECT_EQ(hostCount, 3);
    EXPECT_EQ(TableOrder(), (std::vector<std::string>{
                                Pad("alpha") + " one", Pad("beta") + " later",
                                Pad("gamma") + " three"}));
    EXPECT_EQ(hostEntries->next->willing, 0);
    EXPECT_EQ(Shown(), TableOrder());
}

TEST_F(HostTable, SameStatusAgainChangesNothingNotEvenWillingness) {
    ASSERT_EQ(Record("alpha", "idle", "10.0.0.1", 1), 1);
    const char *line = hostEntries->displayLine;
    EXPECT_EQ(Record("other", "idle", "10.0.0.1", 0, 4000), 0);
    EXPECT_EQ(hostEntries->willing, 1);
    EXPECT_EQ(hostEntries->displayLine, line);
    EXPECT_EQ(hostCount, 1);
}

TEST_F(HostTable, KnownAddressIsShownUnderItsResolvedName) {
    ASSERT_EQ(Record("told", "ok", "127.0.0.1", 1), 1);
    EXPECT_EQ(std::string(hostEntries->displayLine), Pad("localhost") + " ok");
}

TEST_F(HostTable, EmptyNameIsNeverLookedUp) {
    ASSERT_EQ(Record("", "ok", "127.0.0.1", 1), 1);
    EXPECT_EQ(std::string(hostEntries->displayLine),
              std::string(30, ' ') + " ok");
}

TEST_F(HostTable, LongNamesAreShownWholeWithOneSpace) {
    std::string thirty(30, 'n');
    std::string longer(45, 'm');
    Record(thirty, "s", "10.0.0.1", 1);
    Record(longer, "t", "10.0.0.2", 1);
    EXPECT_EQ(TableOrder(),
              (std::vector<std::string>{thirty + " s", longer + " t"}));
}

TEST_F(HostTable, ZeroBytesEndTheNameAndTheStatusEarly) {
    Record(std::string("ab\0cd", 5), std::string("ab\0cd", 5), "10.0.0.1", 1);
    EXPECT_EQ(std::string(hostEntries->displayLine), Pad("ab") + "    ab");
}

// Filled out by screen columns: a UTF-8 name of 4 characters in 8 bytes
// gets 26 spaces, as an ASCII name of 4 does.
TEST_F(HostTable, AUTF8NameIsFilledOutByItsCharacters) {
    char *saved = setlocale(LC_CTYPE, nullptr);
    std::string before = saved != nullptr ? saved : "C";
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    Record("\xce\xb6\xce\xb5\xcf\x8d\xcf\x82", "up", "10.0.0.1", 1);
    setlocale(LC_CTYPE, before.c_str());
    EXPECT_EQ(std::string(hostEntries->displayLine),
              "\xce\xb6\xce\xb5\xcf\x8d\xcf\x82" + std::string(26, ' ') +
                  " up");
}

TEST_F(HostTable, ListIsSortedByByteValueOfTheWholeLine) {
    Record("beta", "x", "10.0.0.1", 1);
    Record("alpha", "x", "10.0.0.2", 1);
    Record("Zulu", "x", "10.0.0.3", 1);
    Record("alphabet", "x", "10.0.0.4", 1);
    Record("beta", "a", "10.0.0.5", 1);
    EXPECT_EQ(Shown(), (std::vector<std::string>{
                           Pad("Zulu") + " x", Pad("alpha") + " x",
                           Pad("alphabet") + " x", Pad("beta") + " a",
                           Pad("beta") + " x"}));
    ASSERT_EQ(displayLines[0], hostEntries->next->next->displayLine)
        << "the array points at the entries' own lines";
}

TEST_F(HostTable, NonInternetSendersShareOneLocalEntry) {
    ASSERT_EQ(Record("one", "a", "10.0.0.1", 1, 177, AF_INET6), 1);
    ASSERT_EQ(Record("two", "b", "10.0.0.9", 1, 177, AF_UNIX), 1);
    ASSERT_EQ(hostCount, 1);
    EXPECT_EQ(hostEntries->connectionType, kFamilyLocal);
    EXPECT_EQ(hostEntries->hostAddress.length, 0);
    EXPECT_EQ(std::string(hostEntries->displayLine), Pad("one") + " b");
}

TEST_F(HostTable, ClearHostsEmptiesTableArrayAndWidget) {
    Record("alpha", "x", "10.0.0.1", 1);
    Record("beta", "x", "10.0.0.2", 1);
    ClearHosts();
    EXPECT_EQ(hostEntries, nullptr);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(displayLines, nullptr);
    EXPECT_EQ(ListLineCount(), 0);
    ASSERT_EQ(Record("gamma", "x", "10.0.0.3", 1), 1);
    EXPECT_EQ(Shown(), (std::vector<std::string>{Pad("gamma") + " x"}));
}

TEST_F(HostTable, FailedAllocationsRecordNothingOrShowUnknown) {
    constexpr int kEntry = 0, kAddress = 1, kLine = 2;
    EXPECT_EQ(Record("alpha", "x", "10.0.0.1", 1, 177, AF_INET, kEntry), 0);
    EXPECT_EQ(Record("alpha", "x", "10.0.0.1", 1, 177, AF_INET, kAddress), 0);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(hostEntries, nullptr);

    ASSERT_EQ(Record("alpha", "x", "10.0.0.1", 1, 177, AF_INET, kLine), 1);
    EXPECT_STREQ(hostEntries->displayLine, "Unknown");
    ASSERT_EQ(Record("alpha", "y", "10.0.0.1", 1), 1)
        << "Unknown is not released";
    EXPECT_EQ(std::string(hostEntries->displayLine), Pad("alpha") + " y");
}

// The widget cannot be handed the lines twice in a row, first after a new
// host, then after an update: it keeps the lines it has, every one alive
// (ASan reports otherwise), until a hand-over succeeds.
TEST_F(HostTable, FailedHandOversNeverLeaveAReleasedLineShown) {
    const std::string blank = Pad(""); // no name: no look-up to wait for
    ASSERT_EQ(Record("", "one", "10.0.0.1", 1), 1);
    ASSERT_EQ(Take("", "two", "10.0.0.2", 1), 1);
    FailAllAllocations();
    RefreshList();
    AllowAllocations();
    ASSERT_EQ(Take("", "zzz", "10.0.0.1", 1), 1);
    FailAllAllocations();
    RefreshList();
    AllowAllocations();
    EXPECT_EQ(Shown(), (std::vector<std::string>{blank + " one"}));
    RefreshList();
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{blank + " two", blank + " zzz"}));
}

} // namespace
