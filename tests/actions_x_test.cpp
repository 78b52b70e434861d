// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "selection/actions.h"

#include <X11/Xaw/List.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "hosts/table.h"
#include "hosts/view.h"
#include "shell/settings.h"
#include "shell/window.h"
#include "tests/table_fixture.h"
#include "tests/toolkit.h"
#include "xdmcp/discovery.h"

namespace {

class Actions : public testing::Test {
  protected:
    void SetUp() override {
        EnsureToolkit();
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
    EmptyChoice choice;
};

TEST_F(Actions, AcceptWithNothingSelectedOnlyRingsTheBell) {
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
TEST_F(Actions, AcceptReportsEveryHostOfTheRowInTheOrderTheyAnswered) {
    Add("b", "same", "127.0.0.3", 1);
    Add("other", "x", "10.0.0.1", 1);
    Add("a", "same", "127.0.0.2", 1);
    ASSERT_EQ(RowCount(), 2);
    Select("twin");
    EXPECT_EXIT(RunShowingStdout(Accept), testing::ExitedWithCode(0),
                "^0\n127 0 0 3\n0\n127 0 0 2\n$");
}

TEST_F(Actions, CancelExitsWithoutReporting) {
    Add("alpha", "ok", "10.0.0.7", 1);
    Select("alpha");
    EXPECT_EXIT(RunShowingStdout(Cancel), testing::ExitedWithCode(0), "^$");
}

TEST_F(Actions, CheckWillingUndoesOnlyAnUnwillingSelection) {
    Add("keen", "ok", "10.0.0.1", 1);
    Add("loath", "no", "10.0.0.2", 0);
    Select("keen");
    CheckWilling(list, nullptr, nullptr, nullptr);
    EXPECT_NE(SelectedIndex(), XAW_LIST_NONE);
    Select("loath");
    CheckWilling(list, nullptr, nullptr, nullptr);
    EXPECT_EQ(SelectedIndex(), XAW_LIST_NONE);
}

TEST_F(Actions, PingEmptiesTheListAndStartsANewSeries) {
    Add("alpha", "ok", "10.0.0.7", 1);
    pingCount = 3;
    Ping(list, nullptr, nullptr, nullptr);
    EXPECT_EQ(hostCount, 0);
    EXPECT_EQ(ListLineCount(), 0);
    EXPECT_EQ(pingCount, 1);
}

} // namespace
