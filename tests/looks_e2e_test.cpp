#include "tests/e2e.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <set>

namespace {

// What the window draws, read from its pixels: the first scan line of
// each band of lines that hold `ink`, and the rightmost `ink` between two
// scan lines.
std::vector<int> BandTops(const std::vector<unsigned long> &image, int width,
                          unsigned long ink) {
    std::vector<int> tops;
    bool before = false;
    for (int y = 0; width > 0 && y < static_cast<int>(image.size()) / width;
         y++) {
        auto line = image.begin() + y * width;
        bool inked = std::find(line, line + width, ink) != line + width;
        if (inked && !before)
            tops.push_back(y);
        before = inked;
    }
    return tops;
}

int RightmostInk(const std::vector<unsigned long> &image, int width, int from,
                 int to, unsigned long ink) {
    int right = -1;
    for (int y = from; y < to; y++)
        for (int x = 0; x < width; x++)
            if (image[y * width + x] == ink)
                right = std::max(right, x);
    return right;
}

constexpr unsigned long kBlack = 0;
constexpr unsigned long kWhite = 0xffffff;

class Looks : public EndToEnd {
  protected:
    // Hosts at 10.55.0.11 and up with these names, all "idle".
    void Hosts(const std::vector<std::string> &names) {
        net.AddLan(0);
        for (size_t i = 0; i < names.size(); i++)
            net.AddHost(0, static_cast<int>(11 + i),
                        {WillingReply(names[i], "idle")});
        net.Start();
    }

    // The band tops of the list of `top` once it shows `rows` rows.
    std::vector<int> Rows(XDriver &driver, Window top, size_t rows) {
        std::vector<int> tops;
        PollUntil(
            [&] {
                Window view = driver.ListView(top);
                tops = BandTops(driver.WindowImage(view),
                                driver.GeometryOf(view).width, kBlack);
                return tops.size() >= rows;
            },
            5000, 50);
        return tops;
    }
};

// 3840x2160 at 192 dots per inch: scale 2 by itself, with the 30-pixel
// font; scale 1 when the resource says so; German in high contrast too.
TEST_F(Looks, OnADenseScreenTheWindowIsTwiceAsLarge) {
    Hosts({"host-a", "host-b"});
    pid_t server = -1;
    std::string display = StartPrivateX(
        &server, {"Xvfb", "-screen", "0", "3840x2160x24", "-dpi", "192"});
    ASSERT_NE(display, "");
    On(display, [&] {
        XDriver dense;
        Program p = net.Run({"-title", "dense-click", "BROADCAST"});
        Window w = dense.WaitForWindow("dense-click");
        ASSERT_NE(w, 0u) << p.Stderr();
        Geometry g = dense.GeometryOf(w);
        EXPECT_NEAR(g.width, 1120, 20);
        EXPECT_NEAR(g.height, 694, 30);
        EXPECT_TRUE(g.x >= 0 && g.y >= 0 && g.x + g.width <= 3840 &&
                    g.y + g.height <= 2160);
        std::vector<int> tops = Rows(dense, w, 2);
        ASSERT_EQ(tops.size(), 2u);
        int pitch = tops[1] - tops[0];
        EXPECT_GE(pitch, 32) << "a 30-pixel font, and its spacing doubled";
        std::vector<unsigned long> english = dense.DrawnHeading(w);
        dense.ClickAt(dense.ListView(w), 40, tops[1] + pitch / 4);
        dense.Key(w, "Return");
        EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
        EXPECT_EQ(p.Stdout(), Printed(12));

        Program q = net.Run({"-title", "dense-keys", "BROADCAST"});
        Window keys = dense.WaitForWindow("dense-keys");
        Rows(dense, keys, 2);
        dense.Key(keys, "End");
        dense.Key(keys, "Return");
        EXPECT_EQ(q.Wait(5000), 0) << q.Stderr();
        EXPECT_EQ(q.Stdout(), Printed(12));

        Program r = net.Run(
            {"-title", "dense-1", "-xrm", "Hostpick.scale: 1", "BROADCAST"});
        Window one = dense.WaitForWindow("dense-1");
        EXPECT_EQ(dense.GeometryOf(one).width, 560);
        EXPECT_EQ(dense.GeometryOf(one).height, 347);
        std::vector<int> small = Rows(dense, one, 2);
        ASSERT_EQ(small.size(), 2u);
        EXPECT_NEAR(static_cast<double>(pitch) / (small[1] - small[0]), 2.0,
                    0.25);
        r.Kill();

        net.SetEnv("LANG", "de_DE.UTF-8");
        Program s = net.Run({"-title", "dense-de", "-contrast", "BROADCAST"});
        Window german = dense.WaitForWindow("dense-de");
        EXPECT_NEAR(dense.GeometryOf(german).width, 1120, 20);
        EXPECT_NE(dense.DrawnHeading(german), english);
        std::vector<unsigned long> all = dense.WindowImage(german);
        EXPECT_EQ(std::set<unsigned long>(all.begin(), all.end()),
                  (std::set<unsigned long>{kBlack, kWhite}));
        s.Kill();
    });
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// A dense screen whose X server has its built-in fonts alone: scale 1,
// and one line that says why.
TEST_F(Looks, WithoutTheLargerFontsTheScaleStaysOne) {
    pid_t server = -1;
    std::string display =
        StartPrivateX(&server, {"Xvfb", "-fp", "built-ins", "-screen", "0",
                                "3840x2160x24", "-dpi", "192"});
    ASSERT_NE(display, "");
    On(display, [&] {
        XDriver bare;
        net.SetEnv("LANG", "C");
        Program p = net.Run({"-title", "bare-dense", "BROADCAST"});
        Window w = bare.WaitForWindow("bare-dense");
        ASSERT_NE(w, 0u) << p.Stderr();
        EXPECT_EQ(bare.GeometryOf(w).width, 560);
        p.Kill();
        std::string err = p.Stderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("scale 1"), std::string::npos) << err;
    });
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// Black and white only, thick borders, and the selected row framed
// inside its inversion.
TEST_F(Looks, HighContrastFramesTheSelectedRow) {
    OneHost({WillingReply("alpha", "idle")});
    Program p = Start({"BROADCAST"}, {"-xrm", "Hostpick.contrast: true"});
    AwaitArrivals(1);
    std::vector<unsigned long> unselected = x.ListImage(window);
    x.Key(window, "Down");
    PollUntil([&] { return x.ListImage(window) != unselected; }, 3000);
    std::vector<unsigned long> all = x.WindowImage(window);
    EXPECT_EQ(std::set<unsigned long>(all.begin(), all.end()),
              (std::set<unsigned long>{kBlack, kWhite}));
    for (Window button : x.Buttons(window))
        EXPECT_GE(x.GeometryOf(button).border, 2);
    Window view = x.ListView(window);
    int width = x.GeometryOf(view).width;
    std::vector<unsigned long> list = x.WindowImage(view);
    // Down a column between the name and the status, where no text is,
    // from the row's first dark pixel to its last.
    std::vector<unsigned long> column;
    for (size_t at = 150; at < list.size(); at += width)
        column.push_back(list[at]);
    auto first = std::find(column.begin(), column.end(), kBlack);
    auto last = std::find(column.rbegin(), column.rend(), kBlack).base();
    int changes = 0;
    for (auto at = first; at < last && at + 1 < last; ++at)
        changes += at[0] != at[1];
    EXPECT_GE(changes, 4) << "dark, light, dark, light, dark";
}

// The heading's glyphs, not only its resource: each language's differs
// from the English drawn in the same locale, and a locale the system does
// not know draws the English of the C locale.
TEST_F(Looks, TheHeadingIsInThePersonsLanguage) {
    net.Start();
    auto heading = [&](const std::string &locale, bool translated) {
        net.SetEnv("LANG", locale);
        net.SetEnv("XFILESEARCHPATH",
                   translated ? XFileSearchPath() : "/nonexistent/%N");
        Program p = Start({});
        std::vector<unsigned long> image = x.DrawnHeading(window);
        p.Kill();
        return image;
    };
    for (const char *locale : {"de_DE.UTF-8", "ja_JP.UTF-8"})
        EXPECT_NE(heading(locale, true), heading(locale, false)) << locale;
    EXPECT_EQ(heading("xx_XX.UTF-8", true), heading("C", true));
    // Brazil's Portuguese is not Portugal's.
    EXPECT_NE(heading("pt_BR.UTF-8", true), heading("pt_PT.UTF-8", true));
    // A locale that lists a character set no font here has starts quietly
    // where a Unicode font draws it all.
    net.SetEnv("LANG", "ru_RU.UTF-8");
    Program p = Start({"BROADCAST"});
    x.DrawnHeading(window);
    p.Kill();
    EXPECT_EQ(p.Stderr(), "");
}

// ASCII, CJK, fullwidth and combining names: their statuses, alike, end
// within one character cell of each other.
TEST_F(Looks, StatusesLineUpWhateverTheNames) {
    Hosts({"ascii", "\xe6\x9d\xb1\xe4\xba\xac",
           "\xef\xbd\x86\xef\xbd\x95\xef\xbd\x8c\xef\xbd\x8c",
           "e\xcc\x81te\xcc\x81"});
    net.SetEnv("LANG", "C.UTF-8");
    Program p = net.Run({"-title", "aligned", "BROADCAST"});
    window = x.WaitForWindow("aligned");
    ASSERT_NE(window, 0u) << p.Stderr();
    std::vector<int> tops = Rows(x, window, 4);
    ASSERT_EQ(tops.size(), 4u);
    Window view = x.ListView(window);
    int width = x.GeometryOf(view).width;
    std::vector<unsigned long> list = x.WindowImage(view);
    tops.push_back(tops[3] + (tops[3] - tops[2]));
    std::vector<int> ends;
    for (int i = 0; i < 4; i++)
        ends.push_back(RightmostInk(list, width, tops[i], tops[i + 1], kBlack));
    auto [least, most] = std::minmax_element(ends.begin(), ends.end());
    EXPECT_LE(*most - *least, 9) << "one cell of the 9x15 font";
}

// A failure's heading is drawn whole at scale 2 in every language, on a
// screen where the window fits: its text breaks onto two lines at least,
// and no line reaches the label's edges.  Each is saved, as
// tests/screenshots/failure-<locale>.png under the build.
TEST_F(Looks, AFailuresHeadingIsDrawnWholeInEveryLanguage) {
    OneHost({WillingReply("alpha", "idle")});
    mkdir("screenshots", 0755);
    pid_t server = 0;
    std::string screen =
        StartPrivateX(&server, {"Xvfb", "-screen", "0", "1600x1000x24"});
    ASSERT_FALSE(screen.empty());
    On(screen, [&] {
        XDriver here;
        int run = 0;
        for (const char *locale :
             {"de_DE.UTF-8", "ru_RU.UTF-8", "ja_JP.UTF-8", "fr_FR.UTF-8",
              "es_ES.UTF-8", "pt_BR.UTF-8"}) {
            net.SetEnv("LANG", locale);
            std::vector<std::string> args = TestResources(locale);
            args.insert(args.end(),
                        {"-xrm",
                         "Hostpick.sessionCommand: hostpick-no-such-server "
                         "{address}",
                         "-session", "-scale", "2", "10.55.0.11"});
            Program p = net.Run(args);
            Window top = here.WaitForWindow(locale);
            ASSERT_NE(top, 0u) << p.Stderr();
            AwaitArrivals(++run);
            here.Key(top, "Home Return");
            Geometry g{};
            std::vector<unsigned long> image;
            EXPECT_TRUE(PollUntil(
                [&] {
                    image = here.HeadingImage(top, &g);
                    return BandTops(image, g.width, kBlack).size() >= 2;
                },
                5000))
                << locale << ": " << p.Stderr();
            EXPECT_LT(RightmostInk(image, g.width, 0, g.height, kBlack),
                      g.width - 3)
                << locale;
            EXPECT_LT(
                RightmostInk(image, g.width, g.height - 3, g.height, kBlack), 0)
                << locale << ": the last line is whole";
            here.Screenshot(std::string("screenshots/failure-") + locale +
                            ".png");
            p.Kill();
        }
    });
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

} // namespace
