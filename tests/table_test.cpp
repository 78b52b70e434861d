#include <gtest/gtest.h>

#include "hosts/table.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

#include "hosts/line.h"
#include "hosts/rows.h"
#include "tests/alloc_fail.h"
#include "tests/table_fixture.h"

namespace {

std::string Pad(const std::string &name) {
    return name.size() >= 30 ? name : name + std::string(30 - name.size(), ' ');
}

class HostTable : public testing::Test {
  protected:
    // New entries are listed at once, without the wait for names.
    void SetUp() override {
        ClearHosts();
        LinesHanded();
        takeNewHost = ListHost;
    }
    void TearDown() override {
        AllowAllocations();
        ClearHosts();
        LinesHanded();
        takeNewHost = TakeNewHost;
    }

    static std::vector<std::string> TableOrder() {
        std::vector<std::string> lines;
        for (const HostEntry *e = hostEntries; e != nullptr; e = e->next)
            lines.emplace_back(e->displayLine);
        return lines;
    }
};

TEST_F(HostTable, NewHostIsListedAsNameFilledToThirtyThenStatus) {
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
    EXPECT_EQ(Listed(), (std::vector<std::string>{e->displayLine}));
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
    EXPECT_EQ(Listed(), TableOrder());
}

TEST_F(HostTable, SameStatusAgainChangesNothingNotEvenWillingness) {
    ASSERT_EQ(Record("alpha", "idle", "10.0.0.1", 1), 1);
    const char *line = hostEntries->displayLine;
    EXPECT_EQ(Record("other", "idle", "10.0.0.1", 0, 4000), 0);
    EXPECT_EQ(hostEntries->willing, 1);
    EXPECT_EQ(hostEntries->displayLine, line);
    EXPECT_EQ(hostCount, 1);
}

TEST_F(HostTable, ListIsSortedByByteValueOfTheWholeLine) {
    Record("beta", "x", "10.0.0.1", 1);
    Record("alpha", "x", "10.0.0.2", 1);
    Record("Zulu", "x", "10.0.0.3", 1);
    Record("alphabet", "x", "10.0.0.4", 1);
    Record("alpha b", "a", "10.0.0.5", 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{
                            Pad("Zulu") + " x", Pad("alpha") + " x",
                            Pad("alpha b") + " a", Pad("alphabet") + " x",
                            Pad("beta") + " x"}));
    ASSERT_EQ(ListedHosts()[0], hostEntries->next->next)
        << "the sequence holds the entries themselves";
}

// The rows rule holds a new entry back while a listed one shows its name:
// the same name, not one it begins, and never the entry itself.
TEST_F(HostTable, AListedNamesakeIsFoundByTheNameShown) {
    Record("alpha", "idle", "10.0.0.1", 1);
    Record("alphabet", "idle", "10.0.0.2", 1);
    Record("beta", "busy", "10.0.0.3", 1);
    EXPECT_EQ(ListedNamesake(hostEntries), nullptr);
    takeNewHost = [](HostEntry *) {}; // kept unlisted
    const struct {
        const char *name;
        const char *namesake; // its address
    } cases[] = {{"alpha", "10.0.0.1"},
                 {"alphabet", "10.0.0.2"},
                 {"alph", "none"},
                 {"beta", "10.0.0.3"},
                 {"gamma", "none"}};
    int octet = 10;
    for (const auto &c : cases) {
        std::string ip = "10.0.0." + std::to_string(octet++);
        ASSERT_EQ(Record(c.name, "new", ip.c_str(), 1), 1);
        const HostEntry *entry = hostEntries;
        while (entry->next != nullptr)
            entry = entry->next;
        const HostEntry *found = ListedNamesake(entry);
        char address[kKeyTextSize] = "none";
        if (found != nullptr)
            KeyText(KeyOf(found), address);
        EXPECT_STREQ(address, c.namesake) << c.name;
    }
}

// A status is kept up to one byte beyond its limit, which marks it as cut
// (the line shows the mark): more of it is the same status.
TEST_F(HostTable, AStatusIsKeptUpToOneByteBeyondItsLimit) {
    Record("wide", std::string(600, 's'), "10.0.0.3", 1);
    EXPECT_EQ(hostEntries->status.length, kMostStatusBytes + 1);
    EXPECT_EQ(Record("", std::string(kMostStatusBytes + 1, 's') + "more",
                     "10.0.0.3", 1),
              0)
        << "the same status as far as it is kept: no change";
    EXPECT_EQ(hostEntries->status.length, kMostStatusBytes + 1);
}

// An IPv4-mapped sender is its IPv4 host; a link-local one is keyed by its
// interface too.  Addresses show in their shortest form.
TEST_F(HostTable, IPv6SendersAreKeyedByAddressAndInterface) {
    Record("", "a", "10.0.0.5", 1);
    EXPECT_EQ(Record("", "b", "::ffff:10.0.0.5", 1), 1) << "an update";
    Record("", "c", "fe80::1%1", 1);
    Record("", "d", "fe80::1%2", 1);
    Record("", "e", "fd00:0:0:0::1", 1);
    ASSERT_EQ(hostCount, 4);
    EXPECT_EQ(hostEntries->connectionType, kFamilyInternet);
    EXPECT_EQ(hostEntries->next->connectionType, kFamilyInternet6);
    EXPECT_EQ(hostEntries->next->hostAddress.length, 16);
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{
                  Pad(" [10.0.0.5]") + " b", Pad(" [fd00::1]") + " e",
                  Pad(" [fe80::1%2]") + " d", Pad(" [fe80::1%lo]") + " c"}));
}

TEST_F(HostTable, NonInternetSendersShareOneLocalEntry) {
    ASSERT_EQ(Record("one", "a", "10.0.0.1", 1, 177, AF_APPLETALK), 1);
    ASSERT_EQ(Record("two", "b", "10.0.0.9", 1, 177, AF_UNIX), 1);
    ASSERT_EQ(hostCount, 1);
    EXPECT_EQ(hostEntries->connectionType, kFamilyLocal);
    EXPECT_EQ(hostEntries->hostAddress.length, 0);
    EXPECT_EQ(std::string(hostEntries->displayLine), Pad("one") + " b");
}

TEST_F(HostTable, ClearHostsEmptiesTheTableAndTheLines) {
    Record("alpha", "x", "10.0.0.1", 1);
    Record("beta", "x", "10.0.0.2", 1);
    LinesHanded();
    ClearHosts();
    EXPECT_EQ(hostEntries, nullptr);
    EXPECT_EQ(hostCount, 0);
    EXPECT_TRUE(ListedHosts().empty());
    EXPECT_TRUE(LinesChanged());
    ASSERT_EQ(Record("alpha", "x", "10.0.0.1", 1), 1) << "a new entry";
    EXPECT_EQ(Listed(), (std::vector<std::string>{Pad("alpha") + " x"}));
}

// Every allocation a new host needs but its line's drops the reply whole,
// and whatever the table allocated for it is released; without its line
// the host is listed as "Unknown", which is never released.
TEST_F(HostTable, FailedAllocationsDropTheReplyOrShowUnknown) {
    // Room in the sorted lines and the index, so that a new host allocates
    // for itself alone.
    for (const char *ip : {"10.0.1.1", "10.0.1.2", "10.0.1.3"})
        Record("warm", ip, ip, 1);
    int failAt = 0;
    for (;; failAt++) {
        long live = LiveAllocations();
        if (Record("alpha", "x", "10.0.0.1", 1, 177, AF_INET, failAt) == 1)
            break;
        EXPECT_EQ(hostCount, 3) << failAt;
        EXPECT_EQ(LiveAllocations(), live) << failAt;
    }
    EXPECT_EQ(failAt, 3) << "the record, its address, its index, the line";
    HostEntry *alpha = hostEntries->next->next->next;
    EXPECT_STREQ(alpha->displayLine, "Unknown");
    ASSERT_EQ(Record("alpha", "y", "10.0.0.1", 1), 1)
        << "Unknown is not released";
    EXPECT_EQ(std::string(alpha->displayLine), Pad("alpha") + " y");
}

// A word for a host's login shows before its status until it is changed,
// or, for a failure, until the table is cleared.
TEST_F(HostTable, AHostsWordShowsBeforeItsStatusAsLongAsItLasts) {
    Record("alpha", "busy", "10.0.0.1", 1);
    HostKey key = KeyOf(hostEntries);
    const std::string name = "alpha" + std::string(25, ' ') + " ";
    MarkHost(key, "[open]", false);
    EXPECT_EQ(std::string(hostEntries->displayLine), name + "[open]  busy");
    MarkHost(key, "", false);
    EXPECT_EQ(std::string(hostEntries->displayLine), name + "busy");
    MarkHost(key, "[failed]", true);
    ClearHosts();
    Record("alpha", "busy", "10.0.0.1", 1);
    EXPECT_EQ(std::string(hostEntries->displayLine), name + "busy");
}

} // namespace
