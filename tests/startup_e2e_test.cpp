#include "tests/e2e.h"

#include <cstdio>
#include <map>
#include <sstream>

namespace {

// Fields of xwininfo's report, by their labels.
std::map<std::string, int> WinInfo(const std::string &which) {
    std::map<std::string, int> info;
    FILE *p = popen(("xwininfo " + which).c_str(), "r");
    char line[512];
    while (p != nullptr && std::fgets(line, sizeof(line), p) != nullptr) {
        std::string l(line);
        size_t colon = l.find(':');
        if (colon == std::string::npos)
            continue;
        std::string label = l.substr(0, colon);
        label.erase(0, label.find_first_not_of(' '));
        try {
            info[label] = std::stoi(l.substr(colon + 1));
        } catch (...) {
        }
    }
    if (p != nullptr)
        pclose(p);
    return info;
}

short S16(int v) {
    return static_cast<short>(v);
}

class StartUp : public EndToEnd {
  protected:
    // Checks the placement rule against what the X server reports.
    void ExpectPlaced() {
        auto root = WinInfo("-root");
        auto w = WinInfo("-id " + std::to_string(window));
        // xwininfo's absolute corner is the outer one, border included,
        // which is where the program's position puts it.
        int x = w["Absolute upper-left X"];
        int y = w["Absolute upper-left Y"];
        EXPECT_EQ(x, S16(S16(root["Width"] - w["Width"]) / 2));
        EXPECT_EQ(y, S16(S16(root["Height"] - w["Height"]) / 3));
        placedX = x;
        placedY = y;
    }
    int placedX = 0;
    int placedY = 0;
};

TEST_F(StartUp, WindowIsCentredWithAThirdOfTheFreeHeightAbove) {
    Program p = Start({});
    ExpectPlaced();
    EXPECT_GT(placedX, 0);
    EXPECT_GT(placedY, 0);
    EXPECT_EQ(p.Wait(0), -1) << "still running";
}

TEST_F(StartUp, WindowLargerThanTheScreenGetsANegativePosition) {
    Program p = Start({}, {"-xrm", "*viewport.width: 1300", "-xrm",
                           "*viewport.preferredPaneSize: 1000"});
    ExpectPlaced();
    EXPECT_LT(placedX, 0);
    EXPECT_LT(placedY, 0);
}

TEST_F(StartUp, ArgumentsAfterTheOptionsAreQueriedInOrder) {
    net.ListenInClient();
    net.Start();
    Program p = Start({"7f000002", "-connectionType", "5", "127.0.0.3",
                       "7f000004", "localhost"});
    for (int i = 0; i < 100 && net.ClientArrivals().size() < 4; i++)
        usleep(10000);
    std::vector<std::string> to;
    for (const Arrival &a : net.ClientArrivals())
        to.push_back(a.to);
    ASSERT_GE(to.size(), 4u);
    to.resize(4);
    EXPECT_EQ(to, (std::vector<std::string>{"127.0.0.2", "127.0.0.3",
                                            "127.0.0.4", "127.0.0.1"}));
}

TEST_F(StartUp, NoArgumentsQueryNothingAndTheWindowStays) {
    net.ListenInClient();
    net.Start();
    Program p = Start({});
    usleep(500000);
    EXPECT_TRUE(net.ClientArrivals().empty());
    EXPECT_EQ(p.Wait(0), -1);
}

} // namespace
