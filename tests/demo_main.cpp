// The demonstration behind scripts/demo: a small simulated lab, a stand-in
// for the display manager that decodes the report it receives, and
// hostpick started as a display manager would start it.  A host is picked
// by the person at the display or, when nobody does, by xdotool.
//
//   demo_network SCREENSHOT [--person]
//   demo_network --doc DIRECTORY   the manual's further screenshots: no
//                                  host answering, and a long list with
//                                  a line chosen by keyboard
//   demo_network --session SCREENSHOT   the desktop role: LightDM's login
//                                  in the nested window beside the list,
//                                  on a desktop whose window manager
//                                  places both (with LightDM installed)
//   demo_network --density SCREENSHOT  the window in English beside the
//                                  same in Japanese, at the screen's
//                                  density (the X server's -dpi), on a
//                                  screen of at least 2400x900

#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/lab/lightdm.h"
#include "tests/lab/netsim.h"
#include "tests/lab/poll.h"
#include "tests/lab/xdriver.h"

namespace {

constexpr int kPersonSeconds = 120;

// The report's three fields: ARRAY8 client address, CARD16 connection
// type, ARRAY8 host address.
void PrintReport(const Bytes &r) {
    std::printf("display manager received %zu bytes: %s\n", r.size(),
                Hex(r).c_str());
    size_t at = 0;
    auto card16 = [&](unsigned *v) {
        if (at + 2 > r.size())
            return false;
        *v = r[at] * 256u + r[at + 1];
        at += 2;
        return true;
    };
    auto array8 = [&](const char *what) {
        unsigned n;
        if (!card16(&n) || at + n > r.size())
            return false;
        std::printf("  %-18s", what);
        for (unsigned i = 0; i < n; i++)
            std::printf("%s%u", i ? "." : "", r[at + i]);
        std::printf("  (%u bytes)\n", n);
        at += n;
        return true;
    };
    unsigned type;
    if (array8("client address") && card16(&type)) {
        std::printf("  %-18s%u\n", "connection type", type);
        array8("chosen host");
    }
}

void Shoot(Window w, const std::string &path) {
    std::string shot = "import -window " + std::to_string(w) + " " + path;
    if (std::system(shot.c_str()) != 0)
        std::fprintf(stderr, "demo: screenshot failed\n");
    std::printf("screenshot: %s\n", path.c_str());
}

// Waits, at most `ms`, until the list of `w` shows `rows` rows.
void AwaitRows(XDriver &x, Window w, int rows, int ms = 5000) {
    PollUntil([&] { return x.DrawnRows(w) >= rows; }, ms, 20);
}

// Waits, at most 3 s, until the list of `w` looks other than `before`.
void AwaitChange(XDriver &x, Window w,
                 const std::vector<unsigned long> &before) {
    PollUntil([&] { return x.ListImage(w) != before; }, 3000, 20);
}

// Starts the lab, and hostpick in it (the lab ends it) with `options`, and
// waits for its window.
Window ShowIn(Network &net, XDriver &x, std::vector<std::string> options = {},
              Program *program = nullptr) {
    net.Start();
    options.insert(options.end(), {"-title", "hostpick demo", "BROADCAST"});
    Program started = net.Run(options);
    if (program != nullptr)
        *program = started;
    return x.WaitForWindow("hostpick demo");
}

// The window when nobody answers, once the search has ended.
int NoAnswer(const std::string &path) {
    Network net;
    net.AddLan(0);
    net.AddHost(0, 11, {});
    XDriver x;
    Window w = ShowIn(net, x);
    if (w == 0)
        return 1;
    std::vector<unsigned long> searching = x.DrawnHeading(w);
    PollUntil([&] { return x.HeadingImage(w) != searching; }, 10000);
    Shoot(w, path);
    return 0;
}

// A lab of 300 hosts, some with names beyond ASCII, in a UTF-8 locale; a
// line chosen with the keyboard alone, scrolled into view.
int LongList(const std::string &path) {
    const char *beyond[] = {
        "ws210-\xc3\xa5sg\xc3\xa5rd.lab.example",
        "ws211-\xce\xb6\xce\xb5\xcf\x8d\xcf\x82.lab.example",
        "ws212-m\xc3\xbcnchen.lab.example",
        "ws213-s\xc3\xa3o-paulo.lab.example"};
    std::vector<Bytes> replies;
    for (int i = 0; i < 300; i++) {
        char name[32];
        char status[48];
        std::snprintf(name, sizeof(name), "ws%03d.lab.example", i + 1);
        std::snprintf(status, sizeof(status), "load %d.%02d, %d users", i % 3,
                      (i * 37) % 100, (i * 7) % 13);
        bool utf8 = i >= 209 && i < 213;
        replies.push_back(WillingReply(utf8 ? beyond[i - 209] : name, status));
    }
    Network net;
    net.SetEnv("LANG", "C.UTF-8");
    net.AddLan(0, true, 16);
    net.AddCrowd(0, 11, replies);
    XDriver x;
    Window w = ShowIn(net, x);
    if (w == 0)
        return 1;
    AwaitRows(x, w, 8);
    x.TypeOutside("ws2");
    std::vector<unsigned long> before = x.ListImage(w);
    x.KeysOutside("Down Down Down Next");
    AwaitChange(x, w, before);
    Shoot(w, path);
    return 0;
}

// The session mode from a desktop: LightDM's login screen in the nested
// window beside the list, where hostpick places it, the host picked with
// the keyboard.
int NestedLogin(const std::string &path) {
    if (!LightDMInstalled()) {
        std::fprintf(stderr, "demo: LightDM is not installed; no %s\n",
                     path.c_str());
        return 0;
    }
    Network net;
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply("atlas", "load 0.12, 3 users")});
    std::string ns = net.AddRealHost(0, 20);
    LightDM dm(ns, "labhost");
    XDriver x;
    Program p;
    Window w = ShowIn(net, x, {"-session"}, &p);
    if (w == 0 || !dm.Listening())
        return 1;
    AwaitRows(x, w, 2);
    x.Key(w, "Home Down Return");
    // The greeter's window is up on the nested display; then it is drawn,
    // in more colours than an empty screen has.
    PollUntil(
        [&] { return p.Stderr().find("manages display") != std::string::npos; },
        15000, 50);
    Window nested = x.WaitForWindow("labhost: login", 5000);
    PollUntil(
        [&] {
            std::vector<unsigned long> image = x.WindowImage(nested);
            return nested != 0 &&
                   std::set<unsigned long>(image.begin(), image.end()).size() >
                       16;
        },
        10000, 100);
    x.Screenshot(path);
    std::printf("screenshot: %s\n", path.c_str());
    dm.Stop();
    return 0;
}

// The same lab in English and in Japanese, side by side, at the scale the
// screen's density gives: names in four scripts, their statuses aligned.
int Density(const std::string &path) {
    Network net;
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply("atlas", "load 0.12, 3 users")});
    net.AddHost(
        0, 12,
        {WillingReply("\xe6\x9d\xb1\xe4\xba\xac", "load 1.40, 12 users")});
    net.AddHost(0, 13,
                {WillingReply("\xef\xbd\x86\xef\xbd\x95\xef\xbd\x8c"
                              "\xef\xbd\x8c",
                              "load 0.80, 5 users")});
    net.AddHost(0, 14, {UnwillingReply("cygnus", "down for maintenance")});
    net.Start();
    XDriver x;
    net.SetEnv("LANG", "C.UTF-8");
    net.Run({"-title", "English", "-geometry", "+20+20", "BROADCAST"});
    Window english = x.WaitForWindow("English");
    if (english == 0)
        return 1;
    Geometry left = x.GeometryOf(english);
    net.SetEnv("LANG", "ja_JP.UTF-8");
    net.Run({"-title", "Japanese", "-geometry",
             "+" + std::to_string(left.x + left.width + 40) + "+20",
             "BROADCAST"});
    Window japanese = x.WaitForWindow("Japanese");
    if (japanese == 0)
        return 1;
    AwaitRows(x, english, 4);
    AwaitRows(x, japanese, 4);
    Geometry right = x.GeometryOf(japanese);
    std::string crop = std::to_string(right.x + right.width + 20) + "x" +
                       std::to_string(std::max(left.height, right.height) + 40);
    std::string shot =
        "import -window root -crop " + crop + "+0+0 +repage " + path;
    if (std::system(shot.c_str()) != 0)
        return 1;
    std::printf("screenshot: %s\n", path.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::string(argv[1]) == "--doc") {
        std::string dir = argv[2];
        return NoAnswer(dir + "/screenshot-no-answer.png") ||
               LongList(dir + "/screenshot-keyboard.png");
    }
    if (argc == 3 && std::string(argv[1]) == "--session")
        return NestedLogin(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--density")
        return Density(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: demo_network SCREENSHOT [--person]\n"
                             "       demo_network --doc DIRECTORY\n"
                             "       demo_network --session SCREENSHOT\n"
                             "       demo_network --density SCREENSHOT\n");
        return 2;
    }
    std::string screenshot = argv[1];
    bool person = argc > 2 && std::string(argv[2]) == "--person";

    Network net;
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply("atlas", "load 0.12, 3 users")});
    net.AddHost(0, 12, {WillingReply("boreas", "load 1.40, 12 users")});
    net.AddHost(0, 13, {UnwillingReply("cygnus", "down for maintenance")});
    net.AddHost(0, 14, {WillingReply("h14", "load 0.03, 0 users")});
    net.AddHost(0, 15, {WillingReply("Eos", "load 0.75, 5 users")});
    net.AddName("10.55.0.14 deneb.lab.example");
    int port = net.ListenForReport();
    net.Start();

    // As a display manager starts it: its own address (127.0.0.1 at
    // `port`), the display's address 10.55.0.1, connection type 0.
    std::string vorn = Hex({0, 2, static_cast<unsigned char>(port >> 8),
                            static_cast<unsigned char>(port), 127, 0, 0, 1});
    std::vector<std::string> args = {
        "-title",         "hostpick demo", "-vornaddress",    vorn,
        "-clientaddress", "0a370001",      "-connectionType", "0",
        "BROADCAST"}; // queried from the client netns, by net.Run below
    std::printf("running: hostpick");
    for (const auto &a : args)
        std::printf(" %s", a.c_str());
    std::printf("\n  (in network namespace %s)\n", net.client().c_str());
    Program p = net.Run(args);

    XDriver x;
    Window w = x.WaitForWindow("hostpick demo");
    if (w == 0) {
        std::fprintf(stderr, "demo: no window appeared\n%s",
                     p.Stderr().c_str());
        return 1;
    }
    AwaitRows(x, w, 5);
    Shoot(w, screenshot);

    if (person) {
        std::printf("pick a host in the window (double click, or click and "
                    "Return)...\n");
        std::fflush(stdout);
        p.Wait(kPersonSeconds * 1000);
    }
    if (p.status < 0) {
        // As a person without a mouse would: type its name's beginning.
        std::printf("picking boreas with xdotool: typing \"bo\", Return\n");
        x.TypeOutside("bo");
        x.KeysOutside("Return");
    }
    int status = p.Wait(5000);
    std::printf("hostpick exited with status %d\n", status);
    std::vector<Bytes> reports = net.Reports(200);
    for (const Bytes &r : reports)
        PrintReport(r);
    return status == 0 && reports.size() == 1 ? 0 : 1;
}
