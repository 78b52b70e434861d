#include "tests/e2e.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <map>
#include <set>

namespace {

constexpr unsigned long kBlack = 0;

// Ink: darker than half way, wherever antialiasing leaves its greys.
bool Inked(unsigned long pixel) {
    return ((pixel >> 16 & 0xff) + (pixel >> 8 & 0xff) + (pixel & 0xff)) <
           3 * 0x80;
}

// Every pixel a grey: antialiasing between black and white, no colour.
bool AllGrey(const std::vector<unsigned long> &image) {
    return std::all_of(image.begin(), image.end(), [](unsigned long pixel) {
        return (pixel & 0xff) == (pixel >> 8 & 0xff) &&
               (pixel & 0xff) == (pixel >> 16 & 0xff);
    });
}

// What the window draws, read from its pixels: the first scan line of
// each band of lines that hold ink, and the rightmost ink between two
// scan lines.
std::vector<int> BandTops(const std::vector<unsigned long> &image, int width) {
    std::vector<int> tops;
    bool before = false;
    for (int y = 0; width > 0 && y < static_cast<int>(image.size()) / width;
         y++) {
        auto line = image.begin() + y * width;
        bool inked = std::any_of(line, line + width, Inked);
        if (inked && !before)
            tops.push_back(y);
        before = inked;
    }
    return tops;
}

int RightmostInk(const std::vector<unsigned long> &image, int width, int from,
                 int to) {
    int right = -1;
    for (int y = from; y < to; y++)
        for (int x = 0; x < width; x++)
            if (Inked(image[y * width + x]))
                right = std::max(right, x);
    return right;
}

// The scan lines that hold `ink`, from the first to the last.
template <typename Ink>
int InkHeight(const std::vector<unsigned long> &image, int width, Ink ink) {
    std::vector<int> inked;
    for (int y = 0; width > 0 && y < static_cast<int>(image.size()) / width;
         y++)
        if (std::any_of(image.begin() + y * width,
                        image.begin() + (y + 1) * width, ink))
            inked.push_back(y);
    return inked.empty() ? 0 : inked.back() - inked.front() + 1;
}

// The commonest pixel: what the rest is drawn on.
unsigned long Paper(const std::vector<unsigned long> &image) {
    std::map<unsigned long, int> counts;
    for (unsigned long pixel : image)
        counts[pixel]++;
    return std::max_element(
               counts.begin(), counts.end(),
               [](const auto &a, const auto &b) { return a.second < b.second; })
        ->first;
}

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
                                driver.GeometryOf(view).width);
                return tops.size() >= rows;
            },
            5000, 50);
        return tops;
    }
};

// 3840x2160 at 192 dots per inch: scale 2 by itself, type twice as tall;
// scale 1 when the resource says so; German in high contrast too, its
// antialiasing in greys.
TEST_F(Looks, OnADenseScreenTheWindowIsTwiceAsLarge) {
    Hosts({"host-a", "host-b"});
    OnPrivateX({"Xvfb", "-screen", "0", "3840x2160x24", "-dpi", "192"}, [&] {
        XDriver dense;
        Program p = net.Run({"-title", "dense", "BROADCAST"});
        Window w = dense.WaitForWindow("dense");
        ASSERT_NE(w, 0u) << p.Stderr();
        Geometry g = dense.GeometryOf(w);
        EXPECT_NEAR(g.width, 1120, 20);
        EXPECT_TRUE(g.x >= 0 && g.y >= 0 && g.x + g.width <= 3840 &&
                    g.y + g.height <= 2160);
        std::vector<int> tops = Rows(dense, w, 2);
        ASSERT_EQ(tops.size(), 2u);
        int pitch = tops[1] - tops[0];
        std::vector<unsigned long> english = dense.DrawnHeading(w);
        p.Kill();

        Program r = net.Run(
            {"-title", "dense-1", "-xrm", "Hostpick.scale: 1", "BROADCAST"});
        Window one = dense.WaitForWindow("dense-1");
        EXPECT_EQ(dense.GeometryOf(one).width, 560);
        EXPECT_NEAR(dense.GeometryOf(one).height * 2, g.height, 8);
        std::vector<int> small = Rows(dense, one, 2);
        ASSERT_EQ(small.size(), 2u);
        EXPECT_NEAR(static_cast<double>(pitch) / (small[1] - small[0]), 2.0,
                    0.15);
        r.Kill();

        net.SetEnv("LANG", "de_DE.UTF-8");
        Program s = net.Run({"-title", "dense-de", "-contrast", "BROADCAST"});
        Window german = dense.WaitForWindow("dense-de");
        EXPECT_NEAR(dense.GeometryOf(german).width, 1120, 20);
        EXPECT_NE(dense.DrawnHeading(german), english);
        EXPECT_TRUE(AllGrey(dense.WindowImage(german)));
        s.Kill();
    });
}

// Clicks at the pitch measured on the screen, and keys, pick their host at
// scales 1, 1.5 and 2.
TEST_F(Looks, ClicksAndKeysFindTheirHostAtEveryScale) {
    Hosts({"host-a", "host-b", "host-c"});
    for (const char *scale : {"1", "1.5", "2"}) {
        Program p = net.Run({"-title", scale, "-scale", scale, "BROADCAST"});
        Window w = x.WaitForWindow(scale);
        ASSERT_NE(w, 0u) << p.Stderr();
        std::vector<int> tops = Rows(x, w, 3);
        ASSERT_EQ(tops.size(), 3u) << scale;
        int pitch = tops[1] - tops[0];
        EXPECT_EQ(tops[2] - tops[1], pitch) << scale;
        x.ClickAt(x.ListView(w), 20, tops[1] + pitch / 3);
        x.Key(w, "Return");
        EXPECT_EQ(p.Wait(5000), 0) << scale << ": " << p.Stderr();
        EXPECT_EQ(p.Stdout(), Printed(12)) << scale;

        Program q = net.Run({"-title", scale, "-scale", scale, "BROADCAST"});
        w = x.WaitForWindow(scale);
        Rows(x, w, 3);
        x.Key(w, "End");
        x.Key(w, "Up");
        x.Key(w, "Return");
        EXPECT_EQ(q.Wait(5000), 0) << scale << ": " << q.Stderr();
        EXPECT_EQ(q.Stdout(), Printed(12)) << scale;
    }
}

// Type keeps its size at 96, 144 and 192 dots per inch: the heading's
// capitals grow with the density, and Japanese buttons are drawn from a
// CJK face, 13 pixels tall at 96.
TEST_F(Looks, TypeKeepsItsSizeAtEveryDensity) {
    net.Start();
    std::vector<double> capitals;
    for (const char *dpi : {"96", "144", "192"}) {
        OnPrivateX({"Xvfb", "-screen", "0", "2400x1000x24", "-dpi", dpi}, [&] {
            XDriver here;
            net.SetEnv("LANG", "C.UTF-8");
            Program p =
                net.Run({"-title", dpi, "-xrm", "Hostpick*label.label: HHH"});
            Window w = here.WaitForWindow(dpi);
            ASSERT_NE(w, 0u) << p.Stderr();
            Geometry g{};
            here.DrawnHeading(w);
            std::vector<unsigned long> heading = here.HeadingImage(w, &g);
            capitals.push_back(InkHeight(heading, g.width, Inked));
            p.Kill();
            if (std::string(dpi) != "96")
                return;
            net.SetEnv("LANG", "ja_JP.UTF-8");
            Program q = net.Run({"-title", "ja"});
            Window ja = here.WaitForWindow("ja");
            ASSERT_NE(ja, 0u) << q.Stderr();
            here.DrawnHeading(ja);
            for (Window button : here.Buttons(ja)) {
                Geometry b = here.GeometryOf(button);
                std::vector<unsigned long> image = here.WindowImage(button);
                unsigned long paper = Paper(image);
                EXPECT_GE(
                    InkHeight(image, b.width,
                              [&](unsigned long p) { return p != paper; }),
                    13);
            }
            q.Kill();
        });
    }
    ASSERT_EQ(capitals.size(), 3u);
    EXPECT_NEAR(capitals[1] / capitals[0], 1.5, 0.15);
    EXPECT_NEAR(capitals[2] / capitals[0], 2.0, 0.2);
}

// An X server without RENDER: the core fonts draw, the larger ones at
// scale 2, and the window says one line at most.  One with its built-in
// fonts alone draws type, at scale 2, quietly.
TEST_F(Looks, WithoutRenderOrFontsTheWindowStillDrawsQuietly) {
    Hosts({"host-a", "host-b"});
    for (bool render : {false, true}) {
        std::vector<std::string> server = {"Xvfb",         "-screen", "0",
                                           "3840x2160x24", "-dpi",    "192"};
        for (const char *option : render ? std::vector{"-fp", "built-ins"}
                                         : std::vector{"-extension", "RENDER"})
            server.push_back(option);
        OnPrivateX(server, [&] {
            XDriver here;
            net.SetEnv("LANG", "C");
            Program p = net.Run({"-title", "bare", "BROADCAST"});
            Window w = here.WaitForWindow("bare");
            ASSERT_NE(w, 0u) << p.Stderr();
            EXPECT_NEAR(here.GeometryOf(w).width, 1120, 20) << render;
            Rows(here, w, 2);
            here.Key(w, "End");
            here.Key(w, "Return");
            EXPECT_EQ(p.Wait(5000), 0) << p.Stderr();
            EXPECT_EQ(p.Stdout(), Printed(12));
            std::string err = p.Stderr();
            EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << err;
        });
    }
}

// Black and white only, thick borders, and the selected row framed
// inside its inversion.
TEST_F(Looks, HighContrastFramesTheSelectedRow) {
    OneHost({WillingReply("alpha", "idle")});
    Program p = Start({"BROADCAST"}, {"-xrm", "Hostpick.contrast: true", "-xrm",
                                      "*list.face: DejaVu Sans-11"});
    AwaitArrivals(1);
    std::vector<unsigned long> unselected = x.ListImage(window);
    x.Key(window, "Down");
    PollUntil([&] { return x.ListImage(window) != unselected; }, 3000);
    EXPECT_TRUE(AllGrey(x.WindowImage(window)));
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
// within a pixel of each other.
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
        ends.push_back(RightmostInk(list, width, tops[i], tops[i + 1]));
    auto [least, most] = std::minmax_element(ends.begin(), ends.end());
    EXPECT_LE(*most - *least, 1);
}

// A failure's heading is drawn whole at scale 2 in every language, on a
// screen where the window fits: its text breaks onto two lines at least,
// and no line reaches the label's edges.  Each is saved, as
// tests/screenshots/failure-<locale>.png under the build.
TEST_F(Looks, AFailuresHeadingIsDrawnWholeInEveryLanguage) {
    OneHost({WillingReply("alpha", "idle")});
    mkdir("screenshots", 0755);
    OnPrivateX({"Xvfb", "-screen", "0", "1600x1000x24"}, [&] {
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
                    return BandTops(image, g.width).size() >= 2;
                },
                5000))
                << locale << ": " << p.Stderr();
            EXPECT_LT(RightmostInk(image, g.width, 0, g.height), g.width - 3)
                << locale;
            EXPECT_LT(RightmostInk(image, g.width, g.height - 3, g.height), 0)
                << locale << ": the last line is whole";
            here.Screenshot(std::string("screenshots/failure-") + locale +
                            ".png");
            p.Kill();
        }
    });
}

} // namespace
