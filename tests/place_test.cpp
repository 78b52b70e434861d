#include <gtest/gtest.h>

#include "shell/place.h"

#include <vector>

namespace {

const Area kScreen = {0, 0, 2048, 768};
const Area kNone = {0, 0, 0, 0};
const std::vector<Area> kHeads = {{0, 0, 1024, 768}, {1024, 0, 1024, 768}};

bool Same(const Area &a, const Area &b) {
    return a.x == b.x && a.y == b.y && a.width == b.width &&
           a.height == b.height;
}

// The RandR primary output first (no test server names one), then the
// first Xinerama head, then the screen; a position the user gave picks the
// head that holds it.
TEST(Placement, TheMonitorIsThePrimaryOutputElseTheFirstHeadElseTheScreen) {
    const Area tv = {1024, 0, 1024, 768};
    EXPECT_TRUE(Same(ChooseMonitor(tv, kHeads, kScreen, false, 0, 0), tv));
    EXPECT_TRUE(
        Same(ChooseMonitor(kNone, kHeads, kScreen, false, 0, 0), kHeads[0]));
    EXPECT_TRUE(Same(ChooseMonitor(kNone, {}, kScreen, false, 0, 0), kScreen));
    EXPECT_TRUE(
        Same(ChooseMonitor(tv, kHeads, kScreen, true, 1500, 40), kHeads[1]));
    EXPECT_TRUE(
        Same(ChooseMonitor(tv, kHeads, kScreen, true, 3000, 40), kScreen))
        << "off every head";
}

TEST(Placement, CentredWithAThirdOfTheFreeHeightAboveInSixteenBits) {
    Position x, y;
    WindowPosition({0, 0, 1024, 768}, 300, 400, &x, &y);
    EXPECT_EQ(x, 362);
    EXPECT_EQ(y, 122);
    WindowPosition({0, 0, 800, 600}, 1000, 1000, &x, &y);
    EXPECT_EQ(x, -100);
    EXPECT_EQ(y, -133);
    WindowPosition(kHeads[1], 300, 400, &x, &y);
    EXPECT_EQ(x, 1024 + 362);
}

} // namespace
