// Burst intake: K simulated hosts answer one BROADCAST_QUERY at nearly the
// same instant, and the program's own code, in its real event loop, takes
// them into the list.
//
//   burst K...          prints one table row per K
//   burst --intake K NS (internal) the program's side, run by the above in
//                       the client namespace NS
//
// Two namespaces are built per K and removed afterwards: a client, where
// the intake runs, and a lab holding all K host addresses on one
// interface (10.60.0.2 upwards on 10.60.0.0/16).  One responder thread
// answers the first query it sees with K WILLING replies, each from its own
// source address; later queries go unanswered, so a reply dropped in the
// burst stays missing.  Every address has a name in the client's hosts
// file, as in a lab whose hosts all resolve.
#include <X11/Intrinsic.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hosts/hosts.h"
#include "shell/startup.h"
#include "shell/window.h"
#include "tests/netns.h"
#include "tests/replies.h"
#include "xdmcp/discovery.h"

namespace {

// The end of the series of three pings, and a little over.
constexpr int kSeriesMs = 4500;
constexpr int kMaxHosts = 250 * 250;

long long NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- the program's side, in the client namespace ----

int Intake(int k, const std::string &ns) {
    // It broadcasts: only ever inside the client namespace built below.
    if (!InNamespace(ns)) {
        std::fprintf(stderr, "burst: --intake runs only in the namespace "
                             "that burst builds for it\n");
        return 2;
    }
    static int argc = 1;
    static char name[] = "hostpick";
    static char *argv[] = {name, nullptr};
    OpenWindow(&argc, argv);
    XtAppContext app = XtWidgetToApplicationContext(topLevel);

    double cpuStart = CpuSeconds();
    long long start = NowNs();
    static char broadcast[] = "BROADCAST";
    char *targets[] = {broadcast, nullptr};
    StartDiscovery(targets);

    // The moment the last entry arrived, and the CPU spent until then.
    int seen = 0;
    long long last = 0;
    double cpu = 0;
    while (NowNs() - start < kSeriesMs * 1000000LL) {
        if (XtAppPending(app) != 0) {
            XtAppProcessEvent(app, XtIMAll);
        } else {
            pollfd wait[] = {{ConnectionNumber(XtDisplay(topLevel)), POLLIN, 0},
                             {querySocket, POLLIN, 0}};
            poll(wait, 2, 5);
        }
        if (hostCount != seen) {
            seen = hostCount;
            last = NowNs();
            cpu = CpuSeconds() - cpuStart;
        }
    }
    rusage self;
    getrusage(RUSAGE_SELF, &self);
    std::printf("%d %lld %.6f %ld\n", hostCount, hostCount == k ? last : 0, cpu,
                self.ru_maxrss);
    return 0;
}

// ---- the network and the hosts ----

std::string HostAddress(int i) {
    int n = i + 2; // 10.60.0.1 is the client
    return "10.60." + std::to_string(n / 250) + "." + std::to_string(n % 250);
}

struct Lab {
    std::string client;
    std::string lab;
    int fd = -1;
    long long firstReplyNs = 0;
    int sent = 0;
};

void BuildLab(Lab *lab, int k) {
    std::string tag =
        "hpb" + std::to_string(getpid()) + "k" + std::to_string(k);
    lab->client = tag + "c";
    lab->lab = tag + "l";
    Must("ip netns add " + lab->client);
    Must("ip netns add " + lab->lab);
    Must("ip -n " + lab->client + " link set lo up");
    Must("ip -n " + lab->client +
         " link add lab0 type veth peer name eth0 netns " + lab->lab);
    Must("ip -n " + lab->client + " addr add 10.60.0.1/16 brd + dev lab0");
    Must("ip -n " + lab->client + " link set lab0 up");
    std::string batch = "/tmp/" + tag + ".ip";
    std::string etc = "/etc/netns/" + lab->client;
    mkdir("/etc/netns", 0755);
    mkdir(etc.c_str(), 0755);
    std::ofstream(etc + "/nsswitch.conf") << "hosts: files\n";
    std::ofstream hosts(etc + "/hosts");
    std::ofstream addresses(batch);
    hosts << "127.0.0.1 localhost\n";
    for (int i = 0; i < k; i++) {
        addresses << "addr add " << HostAddress(i) << "/16 dev eth0\n";
        hosts << HostAddress(i) << " lab" << i << ".example.org\n";
    }
    addresses.close();
    hosts.close();
    Must("ip -n " + lab->lab + " -batch " + batch);
    unlink(batch.c_str());
    Must("ip -n " + lab->lab + " link set eth0 up");
    Must("ip -n " + lab->lab + " link set lo up");
    lab->fd = SocketIn(lab->lab, SOCK_DGRAM, "0.0.0.0", kXdmcpPort);
}

void RemoveLab(const Lab &lab) {
    close(lab.fd);
    Must("ip netns del " + lab.client);
    Must("ip netns del " + lab.lab);
    Must("rm -rf /etc/netns/" + lab.client);
}

// Waits for the first query, then answers it from every host at once.
void Answer(Lab *lab, int k) {
    std::vector<Bytes> replies;
    replies.reserve(k);
    for (int i = 0; i < k; i++)
        replies.push_back(
            WillingReply("lab" + std::to_string(i) + ".example.org",
                         "Linux 6.1, load 0." + std::to_string(i % 100)));
    unsigned char query[64];
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    pollfd p = {lab->fd, POLLIN, 0};
    if (poll(&p, 1, 3000) <= 0 ||
        recvfrom(lab->fd, query, sizeof(query), 0,
                 reinterpret_cast<sockaddr *>(&from), &fromLength) < 0)
        return;
    lab->firstReplyNs = NowNs();
    for (int i = 0; i < k; i++) {
        in_addr source;
        inet_pton(AF_INET, HostAddress(i).c_str(), &source);
        if (SendAs(lab->fd, source, from, replies[i].data(),
                   replies[i].size()) > 0)
            lab->sent++;
    }
}

struct Row {
    int k;
    int listed;
    int sent;
    double completeMs; // negative: never complete
    double cpuUsPerReply;
    long rssKb;
};

int Burst(const char *self, int k, Row *row) {
    Lab lab;
    BuildLab(&lab, k);
    std::thread responder(Answer, &lab, k);
    std::string command = "ip netns exec " + lab.client + " " + self +
                          " --intake " + std::to_string(k) + " " + lab.client;
    FILE *intake = popen(command.c_str(), "r");
    long long complete = 0;
    double cpu = 0;
    int got = intake != nullptr &&
              std::fscanf(intake, "%d %lld %lf %ld", &row->listed, &complete,
                          &cpu, &row->rssKb) == 4;
    if (intake != nullptr)
        pclose(intake);
    responder.join();
    RemoveLab(lab);
    row->k = k;
    row->sent = lab.sent;
    row->completeMs =
        complete != 0 ? (complete - lab.firstReplyNs) / 1e6 : -1.0;
    row->cpuUsPerReply = row->listed > 0 ? cpu * 1e6 / row->listed : 0;
    return got;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--intake") == 0)
        return Intake(std::atoi(argv[2]), argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: burst K...\n");
        return 2;
    }
    // Left behind by a run that died before removing them.
    RemoveStaleNamespaces("hpb%dk");
    std::printf("%-6s %-10s %-10s %-22s %-16s %s\n", "K", "sent", "listed",
                "first reply to list", "CPU per reply", "peak RSS");
    int ok = 1;
    for (int i = 1; i < argc; i++) {
        int k = std::atoi(argv[i]);
        if (k <= 0 || k > kMaxHosts) {
            std::fprintf(stderr, "burst: K must be 1 to %d\n", kMaxHosts);
            return 2;
        }
        Row row{};
        if (!Burst(argv[0], k, &row)) {
            std::fprintf(stderr, "burst: the intake for K=%d failed\n", k);
            ok = 0;
            continue;
        }
        char complete[32];
        char cpu[32];
        if (row.completeMs >= 0)
            std::snprintf(complete, sizeof(complete), "%.1f ms",
                          row.completeMs);
        else
            std::snprintf(complete, sizeof(complete), "never complete");
        std::snprintf(cpu, sizeof(cpu), "%.0f us", row.cpuUsPerReply);
        std::printf("%-6d %-10d %-10d %-22s %-16s %.1f MB\n", row.k, row.sent,
                    row.listed, complete, cpu, row.rssKb / 1024.0);
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}
