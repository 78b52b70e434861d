#include "tests/e2e.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

TEST_F(StartUp, WindowLargerThanTheScreenIsShrunkOntoIt) {
    Program p = Start({}, {"-xrm", "*viewport.width: 1300", "-xrm",
                           "*viewport.preferredPaneSize: 1000"});
    auto root = WinInfo("-root");
    auto w = WinInfo("-id " + std::to_string(window));
    int x = w["Absolute upper-left X"];
    int y = w["Absolute upper-left Y"];
    EXPECT_GE(x, 0);
    EXPECT_GE(y, 0);
    EXPECT_LE(x + w["Width"] + 2 * w["Border width"], root["Width"]);
    EXPECT_LE(y + w["Height"] + 2 * w["Border width"], root["Height"]);
}

TEST_F(StartUp, APositionTheUserGaveIsKept) {
    Program p = Start({"-geometry", "+40+30"});
    auto w = WinInfo("-id " + std::to_string(window));
    EXPECT_EQ(w["Absolute upper-left X"], 40);
    EXPECT_EQ(w["Absolute upper-left Y"], 30);
}

TEST_F(StartUp, ArgumentsAfterTheOptionsAreQueriedInOrder) {
    net.ListenInClient();
    net.Start();
    Program p = Start({"7f000002", "-connectionType", "5", "127.0.0.3",
                       "7f000004", "localhost"});
    PollUntil([&] { return net.ClientArrivals().size() >= 4; }, 3000);
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
    usleep(500000); // nothing is sent within it
    EXPECT_TRUE(net.ClientArrivals().empty());
    EXPECT_EQ(p.Wait(0), -1);
}

// Two monitors side by side, as Xephyr nests them in the test's X server:
// the window goes on the first, placed there by the rule.
TEST_F(StartUp, OnTwoMonitorsTheWindowIsPlacedOnTheFirst) {
    OnPrivateX(
        {"Xephyr", "+xinerama", "-screen", "1024x768", "-screen", "1024x768"},
        [&] {
            XDriver nested;
            Program p = net.Run(TestResources("hostpick-heads"));
            Window w = nested.WaitForWindow("hostpick-heads");
            ASSERT_NE(w, 0u) << p.Stderr();
            EXPECT_EQ(WinInfo("-root")["Width"], 2048)
                << "one screen, two heads";
            auto info = WinInfo("-id " + std::to_string(w));
            int x = info["Absolute upper-left X"];
            EXPECT_EQ(x, S16(S16(1024 - info["Width"]) / 2));
            EXPECT_EQ(info["Absolute upper-left Y"],
                      S16(S16(768 - info["Height"]) / 3));
            EXPECT_LE(x + info["Width"] + 2 * info["Border width"], 1024);
        });
}

// An X server with its built-in fonts alone ("fixed" and "cursor"): not a
// word on standard error in the C locale, one line at most in a UTF-8 one,
// and the heading's text is drawn.
TEST_F(StartUp, AnXServerWithItsBuiltInFontsAloneDrawsEveryText) {
    OnPrivateX({"Xvfb", "-fp", "built-ins", "-screen", "0", "640x480x24"}, [&] {
        XDriver bare;
        for (const char *locale : {"C", "C.UTF-8"}) {
            net.SetEnv("LANG", locale);
            std::string title = std::string("hostpick-bare-") + locale;
            Program p = net.Run({"-title", title, "BROADCAST"});
            Window w = bare.WaitForWindow(title);
            ASSERT_NE(w, 0u) << p.Stderr();
            std::vector<unsigned long> heading = bare.DrawnHeading(w);
            std::sort(heading.begin(), heading.end());
            long colours =
                std::unique(heading.begin(), heading.end()) - heading.begin();
            EXPECT_GT(colours, 1) << "no text drawn in " << locale;
            p.Kill();
            std::string err = p.Stderr();
            EXPECT_EQ(err.find("Cannot convert"), std::string::npos) << err;
            EXPECT_LE(std::count(err.begin(), err.end(), '\n'),
                      std::string(locale) == "C" ? 0 : 1)
                << err;
        }
    });
}

TEST_F(StartUp, TheXServerGoingAwayEndsTheProgramWithStatusOne) {
    OneHost({WillingReply("alpha", "idle")});
    pid_t server = -1;
    std::string display =
        StartPrivateX(&server, {"Xvfb", "-screen", "0", "640x480x24"});
    ASSERT_NE(display, "");
    std::vector<std::string> args = TestResources("hostpick-lost-x");
    args.push_back("BROADCAST");
    Program p;
    On(display, [&] {
        p = net.Run(args);
        // The window is up and a reply taken in.
        XDriver there;
        Window w = there.WaitForWindow("hostpick-lost-x");
        ASSERT_NE(w, 0u) << p.Stderr();
        EXPECT_TRUE(PollUntil([&] { return there.DrawnRows(w) >= 1; }, 3000));
    });

    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_EQ(p.Wait(5000), 1) << p.Stderr();
    EXPECT_NE(p.Stderr().find("X connection to " + display + " broken"),
              std::string::npos)
        << p.Stderr();
    EXPECT_EQ(p.Stdout(), "") << "nothing is reported";
}

// -help and -version answer without a display; an unknown option is told
// with the synopsis and ends with status 2; none of them sends anything
// (the namespace has no link of its own, whose multicast joins the
// counter would count).
TEST_F(StartUp, HelpVersionAndUnknownOptionsSendNothing) {
    net.Start();
    long sent = net.Snmp("Ip", "OutRequests");
    std::string display = std::getenv("DISPLAY");
    net.SetEnv("DISPLAY", "");
    for (const char *word : {"--help", "-help", "--version", "-version"}) {
        Program p = net.Run({word, "BROADCAST"});
        EXPECT_EQ(p.Wait(5000), 0) << word << ": " << p.Stderr();
        EXPECT_EQ(
            p.Stdout().rfind(std::string(word).find("help") != std::string::npos
                                 ? "usage: hostpick"
                                 : "hostpick " HOSTPICK_VERSION "\n",
                             0),
            0u)
            << word << ": " << p.Stdout();
    }
    net.SetEnv("DISPLAY", display);
    Program p = net.Run({"-nosuch", "BROADCAST"});
    EXPECT_EQ(p.Wait(5000), 2);
    EXPECT_EQ(p.Stderr().rfind("hostpick: unknown option -nosuch\nusage: ", 0),
              0u)
        << p.Stderr();
    EXPECT_EQ(net.Snmp("Ip", "OutRequests"), sent);
}

} // namespace
