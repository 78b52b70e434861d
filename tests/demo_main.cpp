// The demonstration behind scripts/demo: a small simulated lab, a stand-in
// for the display manager that decodes the report it receives, and
// hostpick started as a display manager would start it.  A host is picked
// by the person at the display or, when nobody does, by xdotool.
//
//   demo_network SCREENSHOT [--person]

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/netsim.h"
#include "tests/xdriver.h"

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

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: demo_network SCREENSHOT [--person]\n");
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
    usleep(1200 * 1000);
    std::string shot = "import -window " + std::to_string(w) + " " + screenshot;
    if (std::system(shot.c_str()) != 0)
        std::fprintf(stderr, "demo: screenshot failed\n");
    std::printf("screenshot: %s\n", screenshot.c_str());

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
