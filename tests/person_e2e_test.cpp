// The person at a login screen: keys with the pointer outside the window,
// a selection that stays with its host, a heading that says what the
// search does, site bindings and a missing resource file.
#include "tests/e2e.h"

namespace {

class LoginScreen : public EndToEnd {
  protected:
    // Hosts host00, host01, ... at 10.55.0.11 upwards.
    void Crowd(int n) {
        net.AddLan(0);
        net.AddCrowd(0, 11, NumberedReplies(n, "host%02d", "idle"));
        net.Start();
    }

    // Starts hostpick, lets the list fill, types `text` and presses `keys`
    // with the pointer outside the window; returns what was printed.
    std::string Pick(const std::string &keys, const std::string &text = "",
                     const std::vector<std::string> &resources = {}) {
        size_t before = net.Arrivals().size();
        Program p = Start({"BROADCAST"}, resources);
        AwaitArrivals(before + 1);
        if (!text.empty())
            x.TypeOutside(text);
        x.KeysOutside(keys);
        EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
        return p.Stdout();
    }

    // mu answers first; alpha, which sorts before it, from the second ping.
    void LateComerBefore(const std::vector<Bytes> &muLater) {
        net.AddLan(0);
        int mu = net.AddHost(0, 11, {WillingReply("mu", "load 0.10")});
        net.Then(mu, muLater);
        int alpha = net.AddHost(0, 12, {});
        net.Then(alpha, {WillingReply("alpha", "idle")});
        net.Start();
    }
};

TEST_F(LoginScreen, KeysAloneChooseAnyOfFortyHosts) {
    Crowd(40);
    EXPECT_EQ(Pick("Down Return"), Printed(11)) << "the first line";
    EXPECT_EQ(Pick("Up Return"), Printed(50)) << "the last line";
    EXPECT_EQ(Pick("End Up Up Return"), Printed(48));
    EXPECT_EQ(Pick("Return", "HoSt2"), Printed(31)) << "host20";
    EXPECT_EQ(Pick("Escape"), "");
}

TEST_F(LoginScreen, AClickedHostStaysSelectedThroughAnUpdateAndANewcomer) {
    LateComerBefore({WillingReply("mu", "load 0.20")});
    Program p = Start({"BROADCAST"});
    AwaitArrivals(2);
    x.ClickRow(window, 0);  // mu, the only line
    AwaitArrivals(4, 4000); // mu's load changed; alpha is the first line
    x.KeysOutside("Return");
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), Printed(11));
}

TEST_F(LoginScreen, ADoubleClickAcrossAShiftOfTheLinesIsOneClick) {
    LateComerBefore({WillingReply("mu", "load 0.10")});
    Program p = Start({"BROADCAST"}, {"-xrm", "*multiClickTime: 4000"});
    AwaitArrivals(2);
    x.ClickRow(window, 0); // mu
    AwaitArrivals(4, 4000);
    x.ClickAgain(); // on the same row, now alpha's
    EXPECT_EQ(p.Wait(500), -1) << "accepted a host clicked once";
    x.KeysOutside("Return");
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), Printed(12)) << "the second click selected alpha";
}

TEST_F(LoginScreen, TheHeadingSaysWhenItSearchesAndWhenNobodyAnswered) {
    OneHost();
    Program p = Start({"BROADCAST"});
    std::vector<unsigned long> searching = x.DrawnHeading(window);
    // Three pings and the time for their answers.
    EXPECT_TRUE(
        PollUntil([&] { return x.HeadingImage(window) != searching; }, 10000));
    x.KeysOutside("F5");
    EXPECT_TRUE(
        PollUntil([&] { return x.HeadingImage(window) == searching; }, 3000))
        << "Ping searches again";
}

TEST_F(LoginScreen, ASiteOverrideAddsItsKeyAndKeepsEveryDefault) {
    Crowd(1);
    std::vector<std::string> site = {
        "-xrm", "Hostpick*paned.translations: #override <Key>q: Cancel()"};
    EXPECT_EQ(Pick("Down Return", "", site), Printed(11));
    EXPECT_EQ(Pick("q", "", site), "");
}

TEST_F(LoginScreen, AWindowManagersCloseIsCancel) {
    Crowd(1);
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    x.CloseWindow(window);
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), "");
}

// In a UTF-8 locale the font sets have a font for every character set, so
// the toolkit has nothing to warn about, and a UTF-8 name is a name.
TEST_F(LoginScreen, UTF8NamesAndLabelsInAUTF8Locale) {
    net.SetEnv("LANG", "C.UTF-8");
    OneHost({WillingReply("\xc3\xa5rhus-\xce\xb1", "fri")});
    Program p = Start({"BROADCAST"},
                      {"-xrm", "*label.label: V\xc3\xa6lg en v\xc3\xa6rt"});
    AwaitArrivals(1);
    x.KeysOutside("Down Return");
    EXPECT_EQ(p.Wait(5000), 0);
    EXPECT_EQ(p.Stdout(), Printed(11));
    EXPECT_EQ(p.Stderr(), "");
}

// A right-to-left override in a name would draw it, and the status after
// it, reversed: the override is drawn as the mark, "?", instead.
TEST_F(LoginScreen, ABidirectionalOverrideIsDrawnAsTheMark) {
    net.SetEnv("LANG", "C.UTF-8");
    int host = OneHost({WillingReply("evil\xe2\x80\xaegal", "idle")});
    net.Then(host, {WillingReply("evil?gal", "idle")});
    Program p = Start({"BROADCAST"});
    AwaitArrivals(1);
    std::vector<unsigned long> overridden = x.ListImage(window);
    p.Kill();
    Program q = Start({"BROADCAST"});
    AwaitArrivals(2);
    EXPECT_EQ(x.ListImage(window), overridden);
}

TEST_F(LoginScreen, WithoutAnyResourceFileTheKeysStillWork) {
    net.SetEnv("XUSERFILESEARCHPATH", "/nonexistent/%N");
    net.SetEnv("XFILESEARCHPATH", "/nonexistent/%N");
    Crowd(1);
    EXPECT_EQ(Pick("Down Return"), Printed(11));
    EXPECT_EQ(Pick("Escape"), "");
}

} // namespace
