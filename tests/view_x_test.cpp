// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "hosts/view.h"

#include <X11/Xaw/List.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "hosts/line.h"
#include "shell/window.h"
#include "tests/alloc_fail.h"
#include "tests/table_fixture.h"
#include "tests/toolkit.h"

namespace {

// Hosts without names show their addresses, which tell them apart.
std::string Unnamed(const std::string &address) {
    std::string name = " [" + address + "]";
    return name + std::string(kNameColumns - name.size(), ' ');
}

class ListView : public testing::Test {
  protected:
    void SetUp() override {
        EnsureToolkit();
        ClearHosts();
        RefreshList();
    }
    void TearDown() override {
        AllowAllocations();
        ClearHosts();
        RefreshList();
    }
    static std::vector<std::string> Shown() {
        std::vector<std::string> lines;
        for (int i = 0; i < ListLineCount(); i++)
            lines.emplace_back(ListLine(i));
        return lines;
    }
};

TEST_F(ListView, TheWidgetShowsTheListedLinesAndTheirEntries) {
    Record("", "two", "10.0.0.2", 1);
    Record("", "one", "10.0.0.1", 1);
    SettleHosts();
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{Unnamed("10.0.0.1") + " one",
                                        Unnamed("10.0.0.2") + " two"}));
    EXPECT_EQ(RowHosts(0).front(), hostEntries->next);
    EXPECT_EQ(RowOf(hostEntries), 1);
    EXPECT_EQ(displayLines[1], hostEntries->displayLine);
}

TEST_F(ListView, ClearHostsThenRefreshListEmptiesTheWidget) {
    Record("", "one", "10.0.0.1", 1);
    SettleHosts();
    ClearHosts();
    RefreshList();
    EXPECT_EQ(ListLineCount(), 0);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(displayLines, nullptr);
}

// The widget cannot be handed the lines twice in a row, first after a new
// host, then after an update: it keeps the lines it has, every one alive
// (ASan reports otherwise), until a hand-over succeeds.
TEST_F(ListView, FailedHandOversNeverLeaveAReleasedLineShown) {
    ASSERT_EQ(Record("", "one", "10.0.0.1", 1), 1);
    SettleHosts();
    ASSERT_EQ(Record("", "two", "10.0.0.2", 1), 1);
    FailAllAllocations();
    RefreshList();
    AllowAllocations();
    ASSERT_EQ(Record("", "zzz", "10.0.0.1", 1), 1);
    FailAllAllocations();
    RefreshList();
    AllowAllocations();
    EXPECT_EQ(Shown(), (std::vector<std::string>{
                           std::string(kNameColumns, ' ') + " one"}))
        << "alone, it needed no address";
    RefreshList();
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{Unnamed("10.0.0.1") + " zzz",
                                        Unnamed("10.0.0.2") + " two"}));
}

// A key pressed during a burst, before the widget was shown the hosts
// recorded last, acts on the list as it is in the table, unless the list
// was handed over less than a burst's interval (100 ms) ago.
TEST_F(ListView, AKeyDuringABurstSeesEveryRecordedHost) {
    Record("", "first", "10.0.0.1", 1);
    SettleHosts();
    Record("", "second", "10.0.0.2", 1);
    Record("", "third", "10.0.0.3", 1);
    ASSERT_EQ(ListLineCount(), 1) << "the burst is not shown yet";
    usleep(100 * 1000); // the burst's interval passes, and nothing is shown

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

} // namespace

namespace {

// New statuses of listed hosts: the last of a storm is what shows, and
// one of a host out of view costs the X server nothing.
TEST_F(ListView, StatusesOfListedHostsShowTheLastAndDrawOnlyInView) {
    for (int i = 0; i < 100; i++)
        Record("", "0", ("10.0.1." + std::to_string(i + 101)).c_str(), 1);
    SettleHosts();
    for (int storm = 1; storm <= 500; storm++) {
        Record("", std::to_string(storm), "10.0.1.101", 1);
        RefreshSoon(Pace::kBurst);
    }
    RunEventLoop(200);
    EXPECT_EQ(Shown().front(), Unnamed("10.0.1.101") + " 500");

    Display *display = XtDisplay(list);
    XSync(display, False);
    unsigned long before = XNextRequest(display);
    Record("", "1", "10.0.1.199", 1);
    RefreshList();
    EXPECT_EQ(XNextRequest(display), before) << "row 98 is out of view";
    EXPECT_EQ(Shown()[98], Unnamed("10.0.1.199") + " 1");
}

} // namespace
