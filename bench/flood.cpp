// Floods: the program's own intake, in its real event loop, under a flood
// of replies, while a key is pressed in its window every 20 ms.
//
//   flood senders SECONDS [RATE]    replies from RATE distinct forged
//                                   senders a second (default 5000)
//   flood statuses SECONDS [RATE]   RATE replies a second (default 1000)
//                                   from 100 hosts, each with a new status
//                                   of 8000 bytes
//   flood --program FLOOD ...       the same, the intake run by FLOOD, an
//                                   earlier version's build of this
//                                   driver, for comparison
//   flood --intake NS SECONDS       (internal) the program's side, run by
//                                   the above in the client namespace NS
//
// Prints one line: the hosts listed at the end, the program's peak RSS,
// the waits of the keys from their sending to their dispatch (median, 99th
// percentile and longest), the X server's CPU time over the flood, and
// whether, a moment after the flood, the list shows every host's last
// status (an earlier version's intake does not say).
//
// Two namespaces are built and removed afterwards: a client, where the
// intake runs at 10.0.0.1/8, and a lab at 10.0.0.2 whose raw socket
// forges each reply's source address (10.1.0.0 upwards), once the first
// BROADCAST_QUERY has told it where the program listens.
#include <X11/Intrinsic.h>
#include <X11/IntrinsicP.h>
#include <X11/Xaw/ListP.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/driver.h"
#include "bench/measure.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "shell/loop.h"
#include "shell/window.h"
#include "tests/lab/netns.h"
#include "tests/lab/replies.h"
#include "xdmcp/targets.h"

namespace {

constexpr int kKeyEveryMs = 20;
constexpr int kStatusHosts = 100;
constexpr int kStatusBytes = 8000;
// After the flood, for the last hand-over.
constexpr int kSettleMs = 500;
constexpr char kClient[] = "10.0.0.1";
constexpr char kLab[] = "10.0.0.2";
// A run's namespaces: hpf<pid>c, the client, and hpf<pid>l, the lab.
constexpr char kClientNamespaces[] = "hpf%dc";
constexpr char kLabNamespaces[] = "hpf%dl";
constexpr uint32_t kFirstSender = 0x0a010000; // 10.1.0.0

// ---- the program's side, in the client namespace ----

std::vector<long long> keySent;
std::vector<long long> keyDispatched;
std::atomic<int> keysSent;
XtEventDispatchProc passKey;

// A key sent by the thread below carries its number in its time field.
Boolean KeyDispatched(XEvent *event) {
    auto number = static_cast<std::size_t>(event->xkey.time);
    if (event->xany.send_event && number < keyDispatched.size())
        keyDispatched[number] = NowNs();
    return passKey(event);
}

void PressKeys(Window window, int seconds) {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XEvent key{};
    key.xkey.type = KeyPress;
    key.xkey.display = display;
    key.xkey.window = window;
    key.xkey.root = DefaultRootWindow(display);
    key.xkey.same_screen = True;
    key.xkey.keycode = XKeysymToKeycode(display, XK_Shift_L);
    int keys = seconds * 1000 / kKeyEveryMs;
    for (int i = 0; i < keys; i++) {
        key.xkey.time = static_cast<Time>(i);
        keySent[i] = NowNs();
        XSendEvent(display, window, False, NoEventMask, &key);
        XFlush(display);
        keysSent = i + 1;
        usleep(kKeyEveryMs * 1000);
    }
    XCloseDisplay(display);
}

double Percentile(std::vector<double> waits, double share) {
    if (waits.empty())
        return -1;
    std::sort(waits.begin(), waits.end());
    return waits[static_cast<std::size_t>(share * (waits.size() - 1))];
}

int Intake(const std::string &ns, int seconds) {
    if (!OpenWindowIn("flood", ns, kClientNamespaces))
        return 2;
    passKey =
        XtSetEventDispatcher(XtDisplay(topLevel), KeyPress, KeyDispatched);
    keySent.assign(seconds * 1000 / kKeyEveryMs, 0);
    keyDispatched.assign(keySent.size(), 0);
    QueryBroadcast();
    std::thread keys(PressKeys, XtWindow(topLevel), seconds);
    // The program's own main loop, which the last key ends.
    while (keyDispatched.empty() || keyDispatched.back() == 0) {
        XEvent event;
        XtAppNextEvent(appContext, &event);
        XtDispatchEvent(&event);
    }
    keys.join();
    // The flood is over: a moment for the last hand-over, then whether the
    // widget shows the table's lines, each host's last status.
    bool settled = false;
    XtAppAddTimeOut(
        appContext, kSettleMs,
        [](XtPointer done, XtIntervalId *) {
            *static_cast<bool *>(done) = true;
        },
        &settled);
    while (!settled)
        XtAppProcessEvent(appContext, XtIMAll);
    const ListPart &shown = reinterpret_cast<ListWidget>(list)->list;
    bool last = !LinesChanged() && shown.nitems == RowCount();
    for (int row = 0; last && row < RowCount(); row++)
        last = std::strcmp(shown.list[row], RowHosts(row)[0]->displayLine) == 0;
    std::vector<double> waits;
    int lost = 0;
    for (int i = 0; i < keysSent; i++) {
        if (keyDispatched[i] != 0)
            waits.push_back((keyDispatched[i] - keySent[i]) / 1e6);
        else
            lost++;
    }
    rusage self;
    getrusage(RUSAGE_SELF, &self);
    std::printf("%d %ld %zu %d %.1f %.1f %.1f %d\n", hostCount, self.ru_maxrss,
                waits.size(), lost, Percentile(waits, 0.5),
                Percentile(waits, 0.99), Percentile(waits, 1.0), last);
    return 0;
}

// ---- the network and the flood ----

// A raw IPv4 socket opened in namespace `ns`; the calling thread stays in
// its own namespace.
int RawSocketIn(const std::string &ns) {
    int self = open("/proc/thread-self/ns/net", O_RDONLY);
    int target = open(("/run/netns/" + ns).c_str(), O_RDONLY);
    setns(target, CLONE_NEWNET);
    int fd = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    setns(self, CLONE_NEWNET);
    close(self);
    close(target);
    return fd;
}

// Sends one UDP datagram through the raw socket `fd` to `to`, from
// `source` at port 177, any address at all.
void SendForged(int fd, in_addr source, const sockaddr_in &to,
                const Bytes &bytes) {
    constexpr std::size_t kHeaders = sizeof(iphdr) + sizeof(udphdr);
    static unsigned char packet[65536];
    auto *ip = reinterpret_cast<iphdr *>(packet);
    auto *udp = reinterpret_cast<udphdr *>(packet + sizeof(iphdr));
    *ip = iphdr{};
    ip->version = 4;
    ip->ihl = sizeof(iphdr) / 4;
    ip->ttl = 64;
    ip->protocol = IPPROTO_UDP;
    ip->tot_len = htons(static_cast<uint16_t>(kHeaders + bytes.size()));
    ip->saddr = source.s_addr;
    ip->daddr = to.sin_addr.s_addr;
    udp->source = htons(kXdmcpPort);
    udp->dest = to.sin_port;
    udp->len = htons(static_cast<uint16_t>(sizeof(udphdr) + bytes.size()));
    udp->check = 0; // none, which IPv4 allows
    std::memcpy(packet + kHeaders, bytes.data(), bytes.size());
    // The kernel fills in the IP header's checksum and identification.
    sendto(fd, packet, kHeaders + bytes.size(), 0,
           reinterpret_cast<const sockaddr *>(&to), sizeof(to));
}

struct Lab {
    std::string client;
    std::string lab;
    int listener = -1; ///< UDP port 177, for the first query
    int raw = -1;
};

void BuildLab(Lab *lab) {
    std::string tag = "hpf" + std::to_string(getpid());
    lab->client = tag + "c";
    lab->lab = tag + "l";
    AddLinkedPair(lab->client, lab->lab);
    Must("ip -n " + lab->client + " addr add " + kClient + "/8 brd + dev lab0");
    Must("ip -n " + lab->client + " link set lab0 up");
    Must("ip -n " + lab->lab + " addr add " + kLab + "/8 brd + dev eth0");
    // Room for a status of 8000 bytes in one unfragmented datagram.
    Must("ip -n " + lab->client + " link set lab0 mtu 9000");
    Must("ip -n " + lab->lab + " link set eth0 mtu 9000");
    Must("ip -n " + lab->lab + " link set eth0 up");
    // Names resolve from files inside the client only: no query for the
    // forged senders reaches any name server.
    std::string etc = "/etc/netns/" + lab->client;
    mkdir("/etc/netns", 0755);
    mkdir(etc.c_str(), 0755);
    std::ofstream(etc + "/hosts") << "127.0.0.1 localhost\n";
    std::ofstream(etc + "/nsswitch.conf") << "hosts: files\n";
    lab->listener = SocketIn(lab->lab, SOCK_DGRAM, "0.0.0.0", kXdmcpPort);
    lab->raw = RawSocketIn(lab->lab);
}

void RemoveLab(const Lab &lab) {
    close(lab.listener);
    close(lab.raw);
    Must("ip netns del " + lab.client);
    Must("ip netns del " + lab.lab);
    Must("rm -rf /etc/netns/" + lab.client);
}

// Sends `rate` replies a second for `seconds`, a millisecond's share at a
// time, to wherever the first query came from.
void Flood(const Lab &lab, bool statuses, int seconds, int rate,
           long long *xServerAtStart) {
    unsigned char query[64];
    sockaddr_in program{};
    socklen_t length = sizeof(program);
    pollfd p = {lab.listener, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0 ||
        recvfrom(lab.listener, query, sizeof(query), 0,
                 reinterpret_cast<sockaddr *>(&program), &length) < 0)
        return;
    *xServerAtStart = XServerCpuNs();
    std::string status(kStatusBytes, 's');
    long long start = NowNs();
    long long sent = 0;
    for (int ms = 0; ms < seconds * 1000; ms++) {
        for (; sent < static_cast<long long>(rate) * (ms + 1) / 1000; sent++) {
            uint32_t host = statuses ? sent % kStatusHosts : sent;
            in_addr source = {htonl(kFirstSender + host)};
            std::snprintf(status.data(), status.size(), "%lld", sent);
            Bytes reply =
                statuses ? WillingReply("host" + std::to_string(host), status)
                         : WillingReply("", "forged");
            SendForged(lab.raw, source, program, reply);
        }
        long long due = start + (ms + 1) * 1000000LL;
        while (NowNs() < due)
            usleep(static_cast<useconds_t>((due - NowNs()) / 1000));
    }
}

int Run(const std::string &self, bool statuses, int seconds, int rate) {
    Lab lab;
    BuildLab(&lab);
    long long xServerAtStart = 0;
    std::thread flood(Flood, std::cref(lab), statuses, seconds, rate,
                      &xServerAtStart);
    std::string command = "ip netns exec " + lab.client + " " + self +
                          " --intake " + lab.client + " " +
                          std::to_string(seconds);
    FILE *intake = popen(command.c_str(), "r");
    int listed = 0;
    long rssKb = 0;
    std::size_t keys = 0;
    int lost = 0;
    double p50 = 0, p99 = 0, longest = 0;
    int got = intake != nullptr &&
              std::fscanf(intake, "%d %ld %zu %d %lf %lf %lf", &listed, &rssKb,
                          &keys, &lost, &p50, &p99, &longest) == 7;
    int last = -1;
    if (got && std::fscanf(intake, "%d", &last) != 1)
        last = -1;
    if (intake != nullptr)
        pclose(intake);
    flood.join();
    long long xServer = XServerCpuNs() - xServerAtStart;
    RemoveLab(lab);
    if (!got)
        return 1;
    std::printf(
        "%-9s %-6d %-8d %-8.1f %-6zu %-5d %-9.1f %-9.1f %-9.1f %-12s %s\n",
        statuses ? "statuses" : "senders", rate, listed, rssKb / 1024.0, keys,
        lost, p50, p99, longest,
        (std::to_string(xServer / 1000000) + " ms").c_str(),
        last < 0 ? "-"
        : last   ? "yes"
                 : "NO");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--intake") == 0)
        return Intake(argv[2], std::atoi(argv[3]));
    std::string program = argv[0];
    if (argc > 2 && std::strcmp(argv[1], "--program") == 0) {
        program = argv[2];
        argc -= 2;
        argv += 2;
    }
    bool statuses = argc >= 3 && std::strcmp(argv[1], "statuses") == 0;
    if (argc < 3 || (!statuses && std::strcmp(argv[1], "senders") != 0)) {
        std::fprintf(stderr, "usage: flood [--program FLOOD] "
                             "senders|statuses SECONDS [RATE]\n");
        return 2;
    }
    int seconds = std::atoi(argv[2]);
    int rate = argc > 3 ? std::atoi(argv[3]) : statuses ? 1000 : 5000;
    // Left behind by a run that died before removing them.
    RemoveStaleNamespaces(kClientNamespaces);
    RemoveStaleNamespaces(kLabNamespaces);
    std::printf("%-9s %-6s %-8s %-8s %-6s %-5s %-9s %-9s %-9s %-12s %s\n",
                "flood", "rate/s", "listed", "RSS MB", "keys", "lost",
                "wait p50", "wait p99", "longest", "X server CPU",
                "last shown");
    return Run(program, statuses, seconds, rate);
}
