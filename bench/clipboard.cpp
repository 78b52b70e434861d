// The clipboard across a login: ROUNDS rounds of a copy of 64 KB and its
// paste, in turns from the desktop to the login and back, through
// hostpick's bridge; hostpick's resident memory before the first round
// (the baseline) and after the last, and the time a round takes.
//
//   clipboard ROUNDS [PROGRAM]
//
// The host is a simulated one of the lab, which maps a window on the
// login's display; the copies and pastes are this program's, one client on
// each display.  Needs root and the test's X server in $DISPLAY.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/lab/netns.h"
#include "tests/lab/netsim.h"
#include "tests/lab/poll.h"
#include "tests/lab/replies.h"
#include "tests/lab/xdriver.h"

namespace {

constexpr std::size_t kTextBytes = std::size_t{64} * 1024;
constexpr char kManages[] = "hostpick: keeper manages display ";

// One client of a display, which copies and pastes.
struct Client {
    Display *d = nullptr;
    Window window = None;
    Atom clipboard, utf8, pasted;
    std::string text; // what it offers while it owns the clipboard

    bool Open(const std::string &name, const std::string &cookie) {
        if (!cookie.empty())
            XSetAuthorization(const_cast<char *>("MIT-MAGIC-COOKIE-1"), 18,
                              const_cast<char *>(cookie.data()), 16);
        d = XOpenDisplay(name.c_str());
        XSetAuthorization(nullptr, 0, nullptr, 0);
        if (d == nullptr)
            return false;
        window =
            XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
        clipboard = XInternAtom(d, "CLIPBOARD", False);
        utf8 = XInternAtom(d, "UTF8_STRING", False);
        pasted = XInternAtom(d, "BENCH_PASTED", False);
        return true;
    }
    // Answers a paste of what it owns.
    void Serve(const XSelectionRequestEvent &r) {
        XSelectionEvent n{};
        n.type = SelectionNotify;
        n.requestor = r.requestor;
        n.selection = r.selection;
        n.target = r.target;
        n.time = r.time;
        n.property = None;
        if (r.target == utf8) {
            XChangeProperty(
                d, r.requestor, r.property, utf8, 8, PropModeReplace,
                reinterpret_cast<const unsigned char *>(text.data()),
                static_cast<int>(text.size()));
            n.property = r.property;
        }
        XSendEvent(d, r.requestor, False, NoEventMask,
                   reinterpret_cast<XEvent *>(&n));
        XFlush(d);
    }
};

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch())
        .count();
}

long RssKb(pid_t pid) {
    std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// Handles the events of both clients until `to` has the paste it asked
// for, or 5 s have gone; what it got.
std::string AwaitPaste(Client *clients, Client &to) {
    double start = NowMs();
    while (NowMs() - start < 5000) {
        for (int i = 0; i < 2; i++) {
            Client &c = clients[i];
            while (XPending(c.d) > 0) {
                XEvent e;
                XNextEvent(c.d, &e);
                if (e.type == SelectionRequest)
                    c.Serve(e.xselectionrequest);
                if (e.type != SelectionNotify || &c != &to)
                    continue;
                if (e.xselection.property == None)
                    return "";
                Atom type;
                int format;
                unsigned long items, after;
                unsigned char *data = nullptr;
                XGetWindowProperty(c.d, c.window, c.pasted, 0, kTextBytes, True,
                                   AnyPropertyType, &type, &format, &items,
                                   &after, &data);
                std::string text(reinterpret_cast<char *>(data), items);
                XFree(data);
                return text;
            }
        }
        pollfd p[2] = {{ConnectionNumber(clients[0].d), POLLIN, 0},
                       {ConnectionNumber(clients[1].d), POLLIN, 0}};
        poll(p, 2, 50);
    }
    return "";
}

// Copies on `from`, waits until the bridge owns the clipboard of `to`,
// and pastes there; true when the text came whole.
bool Round(Client *clients, int from, int round) {
    Client &source = clients[from];
    Client &to = clients[1 - from];
    source.text = std::string(kTextBytes, static_cast<char>('a' + round % 26));
    XSetSelectionOwner(source.d, source.clipboard, source.window, CurrentTime);
    XFlush(source.d);
    if (!PollUntil(
            [&] {
                Window owner = XGetSelectionOwner(to.d, to.clipboard);
                return owner != None && owner != to.window;
            },
            5000, 1))
        return false;
    XConvertSelection(to.d, to.clipboard, to.utf8, to.pasted, to.window,
                      CurrentTime);
    XFlush(to.d);
    return AwaitPaste(clients, to) == source.text;
}

} // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::string program = argc > 2 ? argv[2] : "";
    Network net;
    net.AddLan(0);
    int host = net.AddHost(0, 11, {WillingReply("keeper", "idle")});
    net.ManageDisplays(host, {1000, false}); // time to read the cookie
    net.Start();
    XDriver x;
    std::vector<std::string> args = TestResources("hostpick-bench-clipboard");
    args.insert(args.end(), {"-session", "10.55.0.11"});
    Program p = net.Run(args, program);
    Window list = x.WaitForWindow("hostpick-bench-clipboard");
    if (list == 0 || !PollUntil([&] { return x.DrawnRows(list) >= 1; }, 5000)) {
        std::fprintf(stderr, "clipboard: no row\n%s", p.Stderr().c_str());
        return 1;
    }
    x.Key(list, "Home Return");
    std::vector<pid_t> servers;
    PollUntil([&] { return !(servers = p.Children()).empty(); }, 5000);
    std::string cookie;
    if (!servers.empty()) {
        std::string words =
            ReadFile("/proc/" + std::to_string(servers[0]) + "/cmdline");
        std::size_t at = words.find(std::string("-auth\0", 6));
        std::string auth =
            at == std::string::npos ? "" : words.c_str() + at + 6;
        std::string file = ReadFile(auth);
        cookie = file.size() < 16 ? "" : file.substr(file.size() - 16);
    }
    std::string err;
    PollUntil(
        [&] {
            err = p.Stderr();
            return err.find('\n', err.find(kManages)) != std::string::npos &&
                   err.find(kManages) != std::string::npos;
        },
        10000);
    std::size_t at = err.find(kManages);
    Client clients[2];
    if (cookie.size() != 16 || at == std::string::npos ||
        !clients[0].Open(std::getenv("DISPLAY"), "") ||
        !clients[1].Open(
            err.substr(at + sizeof(kManages) - 1,
                       err.find('\n', at) - at - sizeof(kManages) + 1),
            cookie)) {
        std::fprintf(stderr, "clipboard: no login\n%s", err.c_str());
        return 1;
    }
    int failed = !Round(clients, 0, 0); // the bridge is up
    long before = RssKb(p.pid);
    double start = NowMs();
    for (int round = 0; round < rounds; round++)
        failed += !Round(clients, round % 2, round + 1);
    double ms = NowMs() - start;
    long after = RssKb(p.pid);
    std::printf("%d rounds of 64 KB, in turns both ways: %d failed, "
                "%.2f ms a round\n",
                rounds, failed, ms / rounds);
    std::string name = ReadFile("/proc/" + std::to_string(p.pid) + "/comm");
    std::printf("RSS of %s (%d): %ld KB before, %ld KB after: %+ld KB\n",
                name.substr(0, name.find('\n')).c_str(), p.pid, before, after,
                after - before);
    for (pid_t server : servers)
        kill(server, SIGTERM);
    p.Kill();
    return failed == 0 ? 0 : 1;
}
