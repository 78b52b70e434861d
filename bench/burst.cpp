// Burst intake: K simulated hosts answer one BROADCAST_QUERY at nearly the
// same instant, and the program's own code, in its real event loop, takes
// them into the list.
//
//   burst K...          prints one table row per K, and one for 20 hosts
//                       whose name server never answers
//   burst --dns K...    the same rows, the names from a name server in the
//                       lab instead of the hosts file
//   burst --runs N K... each row the median of N runs (the peak RSS the
//                       largest, the hosts the fewest)
//   burst --program BURST K...
//                       the same rows, the intake run by BURST, an earlier
//                       version's build of this driver, for comparison;
//                       without the dead name server's row, for which
//                       such a version waits about 10 s per host
//   burst --ipv6 K RUNS the time from the first reply to the complete
//                       list, median of RUNS, for K hosts on an IPv6-only
//                       link (asked by multicast) and on IPv4, in turns
//   burst --intake K NS (internal) the program's side, run by the above in
//                       the client namespace NS
//
// Two namespaces are built per run and removed afterwards: a client, where
// the intake runs, and a lab holding all K host addresses on one
// interface (10.60.0.2 upwards on 10.60.0.0/16).  One responder thread
// answers the first query it sees with K WILLING replies, each from its own
// source address; later queries go unanswered, so a reply dropped in the
// burst stays missing.  Every address has a name in the client's hosts
// file, as in a lab whose hosts all resolve; or, with --dns, from a name
// server in the lab (dnsmasq, every address's reverse and forward record,
// no upstream), as a site runs it; in the dead name server's run none has,
// and the resolver asks a server in the lab that never answers.  The name
// server makes its records from the addresses (synth-domain): from a hosts
// file, dnsmasq reads every record for each reverse question, and at
// K = 10000 that, not the program, set the pace.
#include <X11/Intrinsic.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
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

// The end of the series of three pings, and a little over.
constexpr int kSeriesMs = 4500;
constexpr int kMaxHosts = 250 * 250;
constexpr int kDeadNameServerHosts = 20;
// A run's namespaces are hpb<pid>k<K>c (the client) and hpb<pid>k<K>l.
constexpr char kNamespaces[] = "hpb%dk";
constexpr char kNameServer[] = "10.60.255.53";
// Host i is named kServiceName<i>.example.org by the hosts file (by the
// name server, kServiceName and its address, dashed), and
// kReplyName<i>.example.org by its reply.
constexpr char kServiceName[] = "lab";
constexpr char kReplyName[] = "host";
// The event loop's heartbeat: the longest gap between two beats is the
// longest time it could not react.
constexpr unsigned long kBeatMs = 10;

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- the program's side, in the client namespace ----

long long lastBeat;
long long longestGap;

void Beat(XtPointer, XtIntervalId *) {
    long long now = NowNs();
    if (lastBeat != 0 && now - lastBeat > longestGap)
        longestGap = now - lastBeat;
    lastBeat = now;
    XtAppAddTimeOut(appContext, kBeatMs, Beat, nullptr);
}

int Intake(int k, const std::string &ns) {
    if (!OpenWindowIn("burst", ns, kNamespaces))
        return 2;
    double cpuStart = CpuSeconds();
    long long start = NowNs();
    QueryBroadcast();
    Beat(nullptr, nullptr);

    // The moment the list last grew, and the CPU spent until then.
    int seen = 0;
    long long last = 0;
    double cpu = 0;
    while (NowNs() - start < kSeriesMs * 1000000LL) {
        XtAppProcessEvent(appContext, XtIMAll);
        if (RowCount() != seen) {
            seen = RowCount();
            last = NowNs();
            cpu = CpuSeconds() - cpuStart;
        }
    }
    rusage self;
    getrusage(RUSAGE_SELF, &self);
    // A host takes the name service's name, and has it confirmed, only
    // before its name wait ends, 1 s after its reply: those named so were
    // named in time.  The replies give other names (kReplyName).
    int named = 0;
    int confirmed = 0;
    for (const HostEntry *host = hostEntries; host != nullptr;
         host = host->next) {
        named += std::string_view(reinterpret_cast<char *>(host->hostname.data),
                                  host->hostname.length)
                     .starts_with(kServiceName);
        confirmed += host->naming == Naming::kConfirmed;
    }
    std::printf("%d %lld %.6f %ld %.3f %d %d\n", seen, seen == k ? last : 0,
                cpu, self.ru_maxrss, longestGap / 1e6, named, confirmed);
    return 0;
}

// ---- the network and the hosts ----

std::string HostAddress(int i, bool ipv6) {
    int n = i + 2; // 10.60.0.1 and fd00:60::1 are the client
    char text[32];
    std::snprintf(text, sizeof(text), "fd00:60::%x", n);
    return ipv6 ? text
                : "10.60." + std::to_string(n / 250) + "." +
                      std::to_string(n % 250);
}

// Where the client's resolver finds the hosts' names.
enum class Names { kHostsFile, kNameServer, kDeadNameServer };

struct Lab {
    bool ipv6 = false; ///< an IPv6-only link
    Names names = Names::kHostsFile;
    std::string client;
    std::string lab;
    int fd = -1;
    int nameServer = -1; ///< the dead name server's socket
    pid_t dnsmasq = -1;  ///< the live name server
    long long firstReplyNs = 0;
    long long xServerAtQueryNs = 0; ///< the X server's CPU by then
    int sent = 0;
};

void BuildLab(Lab *lab, int k) {
    std::string tag =
        "hpb" + std::to_string(getpid()) + "k" + std::to_string(k);
    lab->client = tag + "c";
    lab->lab = tag + "l";
    AddLinkedPair(lab->client, lab->lab);
    Must("ip -n " + lab->client +
         (lab->ipv6 ? " addr add fd00:60::1/64 nodad dev lab0"
                    : " addr add 10.60.0.1/16 brd + dev lab0"));
    Must("ip -n " + lab->client + " link set lab0 up");
    std::string etc = "/etc/netns/" + lab->client;
    mkdir("/etc/netns", 0755);
    mkdir(etc.c_str(), 0755);
    std::ofstream hosts(etc + "/hosts");
    hosts << "127.0.0.1 localhost\n";
    std::vector<std::string> addresses;
    for (int i = 0; i < k; i++) {
        addresses.push_back(HostAddress(i, lab->ipv6) +
                            (lab->ipv6 ? "/64 nodad" : "/16"));
        if (lab->names == Names::kHostsFile)
            hosts << HostAddress(i, lab->ipv6) << " " << kServiceName << i
                  << ".example.org\n";
    }
    hosts.close();
    if (lab->names != Names::kHostsFile)
        addresses.push_back(std::string(kNameServer) + "/16");
    AddAddresses(lab->lab, "eth0", addresses);
    const char *nsswitch[] = {"hosts: files\n", "hosts: dns\n",
                              "hosts: files dns\n"};
    std::ofstream(etc + "/nsswitch.conf")
        << nsswitch[static_cast<int>(lab->names)];
    std::ofstream(etc + "/resolv.conf") << "nameserver " << kNameServer << "\n";
    Must("ip -n " + lab->lab + " link set eth0 up");
    lab->fd = lab->ipv6 ? SocketIn(lab->lab, SOCK_DGRAM, "::", kXdmcpPort,
                                   "ff02::12b", "eth0")
                        : SocketIn(lab->lab, SOCK_DGRAM, "0.0.0.0", kXdmcpPort);
    // Bound, so that no port-unreachable tells the resolver to give up;
    // never read.
    if (lab->names == Names::kDeadNameServer)
        lab->nameServer = SocketIn(lab->lab, SOCK_DGRAM, kNameServer, 53);
    // Its own domain and the private reverse zones are answered, found or
    // not, and nothing is sent on.
    if (lab->names == Names::kNameServer)
        lab->dnsmasq = StartNameServer(
            lab->lab, kNameServer,
            {std::string("--synth-domain=example.org,"
                         "10.60.0.0/16,") +
                 kServiceName,
             "--local=/example.org/", "--bogus-priv", "--cache-size=0"});
}

void RemoveLab(const Lab &lab) {
    close(lab.fd);
    if (lab.nameServer >= 0)
        close(lab.nameServer);
    if (lab.dnsmasq > 0) {
        kill(lab.dnsmasq, SIGTERM);
        waitpid(lab.dnsmasq, nullptr, 0);
    }
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
            WillingReply(kReplyName + std::to_string(i) + ".example.org",
                         "Linux 6.1, load 0." + std::to_string(i % 100)));
    unsigned char query[64];
    sockaddr_storage from{};
    socklen_t fromLength = sizeof(from);
    pollfd p = {lab->fd, POLLIN, 0};
    if (poll(&p, 1, 3000) <= 0 ||
        recvfrom(lab->fd, query, sizeof(query), 0,
                 reinterpret_cast<sockaddr *>(&from), &fromLength) < 0)
        return;
    // The window is up and drawn by now: what the X server spends from
    // here on is the burst's.
    lab->xServerAtQueryNs = XServerCpuNs();
    lab->firstReplyNs = NowNs();
    for (int i = 0; i < k; i++) {
        std::string address = HostAddress(i, lab->ipv6);
        ssize_t sent;
        if (lab->ipv6) {
            in6_addr source;
            inet_pton(AF_INET6, address.c_str(), &source);
            sent = SendAs6(lab->fd, source,
                           reinterpret_cast<const sockaddr_in6 &>(from),
                           replies[i].data(), replies[i].size());
        } else {
            in_addr source;
            inet_pton(AF_INET, address.c_str(), &source);
            sent = SendAs(lab->fd, source,
                          reinterpret_cast<const sockaddr_in &>(from),
                          replies[i].data(), replies[i].size());
        }
        lab->sent += sent > 0;
    }
}

struct Row {
    int k;
    int listed;
    int sent;
    double completeMs; // negative: never complete
    double cpuUsPerReply;
    long rssKb;
    double xServerMs;
    double longestStallMs; // negative: not measured
    int named;             // by the name service; negative: not said
    int confirmed;         // and confirmed by it
};

int Burst(const std::string &program, int k, Names names, Row *row,
          bool ipv6 = false) {
    Lab lab;
    lab.ipv6 = ipv6;
    lab.names = names;
    BuildLab(&lab, k);
    std::thread responder(Answer, &lab, k);
    std::string command = "ip netns exec " + lab.client + " " + program +
                          " --intake " + std::to_string(k) + " " + lab.client;
    FILE *intake = popen(command.c_str(), "r");
    long long complete = 0;
    double cpu = 0;
    row->longestStallMs = -1;
    // An earlier version's intake prints the first four fields only.
    int got = intake != nullptr &&
              std::fscanf(intake, "%d %lld %lf %ld", &row->listed, &complete,
                          &cpu, &row->rssKb) == 4;
    if (got && std::fscanf(intake, "%lf", &row->longestStallMs) != 1)
        row->longestStallMs = -1;
    if (got && std::fscanf(intake, "%d %d", &row->named, &row->confirmed) != 2)
        row->named = -1;
    if (intake != nullptr)
        pclose(intake);
    long long xServerAfter = XServerCpuNs();
    responder.join();
    row->xServerMs = (xServerAfter - lab.xServerAtQueryNs) / 1e6;
    RemoveLab(lab);
    row->k = k;
    row->sent = lab.sent;
    row->completeMs =
        complete != 0 ? (complete - lab.firstReplyNs) / 1e6 : -1.0;
    row->cpuUsPerReply = row->listed > 0 ? cpu * 1e6 / row->listed : 0;
    return got;
}

std::string Duration(double ms) {
    char text[32];
    if (ms < 0)
        std::snprintf(text, sizeof(text), "never complete");
    else if (ms < 1000)
        std::snprintf(text, sizeof(text), "%.1f ms", ms);
    else
        std::snprintf(text, sizeof(text), "%.2f s", ms / 1000);
    return text;
}

void PrintRow(const Row &row) {
    char cpu[32];
    char rss[32];
    std::snprintf(cpu, sizeof(cpu), "%.1f us", row.cpuUsPerReply);
    std::snprintf(rss, sizeof(rss), "%.1f MB", row.rssKb / 1024.0);
    std::string named = row.named < 0 ? "-" : std::to_string(row.named);
    std::string confirmed = row.named < 0 ? "-" : std::to_string(row.confirmed);
    std::printf("%-6d %-7d %-7d %-20s %-14s %-10s %-13s %-13s %s\n", row.k,
                row.sent, row.listed, Duration(row.completeMs).c_str(), cpu,
                rss, Duration(row.xServerMs).c_str(), named.c_str(),
                confirmed.c_str());
    std::fflush(stdout);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// K hosts on IPv6 against K on IPv4, in turns.
int CompareIPv6(const std::string &program, int k, int runs) {
    std::vector<double> times[2];
    for (int run = 0; run < runs; run++) {
        for (bool ipv6 : {false, true}) {
            Row row{};
            if (!Burst(program, k, Names::kHostsFile, &row, ipv6) ||
                row.completeMs < 0)
                return 1;
            times[ipv6].push_back(row.completeMs);
        }
    }
    double v4 = Median(times[0]);
    double v6 = Median(times[1]);
    std::printf("K=%d, first reply to the complete list, median of %d: "
                "IPv4 %s, IPv6 %s, ratio %.2f\n",
                k, runs, Duration(v4).c_str(), Duration(v6).c_str(), v6 / v4);
    return 0;
}

// The runs of one K as one row: the median of each measure, and the fewest
// hosts sent, listed and named, or a run that never completed.
Row Typical(const std::vector<Row> &runs) {
    Row row = runs.front();
    auto median = [&](double Row::*measure) {
        std::vector<double> values;
        values.reserve(runs.size());
        for (const Row &run : runs)
            values.push_back(run.*measure);
        return Median(values);
    };
    row.completeMs = median(&Row::completeMs);
    row.cpuUsPerReply = median(&Row::cpuUsPerReply);
    row.xServerMs = median(&Row::xServerMs);
    for (const Row &run : runs) {
        row.rssKb = std::max(row.rssKb, run.rssKb);
        row.sent = std::min(row.sent, run.sent);
        row.listed = std::min(row.listed, run.listed);
        row.named = std::min(row.named, run.named);
        row.confirmed = std::min(row.confirmed, run.confirmed);
        if (run.completeMs < 0)
            row.completeMs = -1;
    }
    return row;
}

// The row of the name server that never answers, for this driver's own
// program from the hosts file: an earlier version waits for each look-up
// in turn, and the row is the same whatever the others' names.
bool PrintDeadNameServer(const std::string &program) {
    Row dead{};
    if (!Burst(program, kDeadNameServerHosts, Names::kDeadNameServer, &dead)) {
        std::fprintf(stderr, "burst: the dead name server's run failed\n");
        return false;
    }
    std::printf("name server that never answers, %d hosts: first reply "
                "to list %s, longest stall of the event loop %s\n",
                kDeadNameServerHosts, Duration(dead.completeMs).c_str(),
                dead.longestStallMs < 0
                    ? "not measured"
                    : Duration(dead.longestStallMs).c_str());
    return true;
}

struct Contender {
    std::string program;
    std::string label;
    std::vector<Row> rows;
};

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--intake") == 0)
        return Intake(std::atoi(argv[2]), argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--ipv6") == 0) {
        RemoveStaleNamespaces(kNamespaces);
        return CompareIPv6(argv[0], std::atoi(argv[2]), std::atoi(argv[3]));
    }
    std::string program = argv[0];
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--program") == 0) {
        program = argv[2];
        first = 3;
    }
    // Whose bursts are measured: this driver's, or BURST's; and, with
    // --against, another's in turns with them.
    std::vector<Contender> contenders = {{program, "this revision", {}}};
    if (argc > first + 2 && std::strcmp(argv[first], "--against") == 0) {
        contenders.push_back(
            {argv[first + 1], std::string("revision ") + argv[first + 2], {}});
        first += 3;
    }
    Names names = Names::kHostsFile;
    if (argc > first && std::strcmp(argv[first], "--dns") == 0) {
        names = Names::kNameServer;
        first++;
    }
    int runs = 1;
    if (argc > first + 1 && std::strcmp(argv[first], "--runs") == 0) {
        runs = std::max(1, std::atoi(argv[first + 1]));
        first += 2;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: burst [--program BURST] [--against BURST "
                             "REVISION] [--dns] [--runs N] K...\n");
        return 2;
    }
    // Left behind by a run that died before removing them.
    RemoveStaleNamespaces(kNamespaces);
    bool ok = true;
    for (int i = first; i < argc; i++) {
        int k = std::atoi(argv[i]);
        if (k <= 0 || k > kMaxHosts) {
            std::fprintf(stderr, "burst: K must be 1 to %d\n", kMaxHosts);
            return 2;
        }
        std::vector<std::vector<Row>> rows(contenders.size(),
                                           std::vector<Row>(runs));
        bool ran = true;
        for (int run = 0; run < runs; run++)
            for (std::size_t c = 0; c < contenders.size(); c++)
                ran = ran &&
                      Burst(contenders[c].program, k, names, &rows[c][run]);
        if (!ran) {
            std::fprintf(stderr, "burst: the intake for K=%d failed\n", k);
            ok = false;
            continue;
        }
        for (std::size_t c = 0; c < contenders.size(); c++)
            contenders[c].rows.push_back(Typical(rows[c]));
    }
    for (const Contender &contender : contenders) {
        if (contenders.size() > 1)
            std::printf("-- %s\n", contender.label.c_str());
        std::printf("%-6s %-7s %-7s %-20s %-14s %-10s %-13s %-13s %s\n", "K",
                    "sent", "listed", "first reply to list", "CPU per reply",
                    "peak RSS", "X server CPU", "named in 1 s", "confirmed");
        for (const Row &row : contender.rows)
            PrintRow(row);
        if (&contender == &contenders.front() && program == argv[0] &&
            names == Names::kHostsFile)
            ok = PrintDeadNameServer(program) && ok;
    }
    return ok ? 0 : 1;
}
