#include "tests/lab/netsim.h"

#include "tests/lab/netns.h"
#include "tests/lab/poll.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <sstream>

namespace {

std::mutex logLock;
int networkCount;

// Built with snprintf: GCC 12 at -O2 takes "literal" + std::string for an
// overlapping copy (-Wrestrict), a false positive.
std::string LanAddress(int lan, int octet) {
    char text[32];
    std::snprintf(text, sizeof(text), "10.%d.0.%d", 55 + lan, octet);
    return text;
}

std::string LanAddress6(int lan, int octet, bool linkLocal = false) {
    char text[48];
    std::snprintf(text, sizeof(text), linkLocal ? "fe80::%d:%d" : "fd00:%d::%d",
                  55 + lan, octet);
    return text;
}

} // namespace

int Program::Wait(int ms) {
    if (status >= 0)
        return status;
    int s = 0;
    if (!PollUntil([&] { return waitpid(pid, &s, WNOHANG) == pid; }, ms, 5))
        return -1;
    status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
    return WIFEXITED(s) ? status : -1;
}

void Program::Kill() {
    if (pid <= 0 || status >= 0)
        return;
    kill(pid, SIGTERM);
    if (Wait(2000) < 0 && status < 0) {
        kill(pid, SIGKILL);
        Wait(2000);
    }
}

std::string Program::Stdout() const {
    return ReadFile(out);
}

std::string Program::Stderr() const {
    return ReadFile(err);
}

std::vector<pid_t> Program::Children() const {
    std::istringstream list(ReadFile("/proc/" + std::to_string(pid) + "/task/" +
                                     std::to_string(pid) + "/children"));
    std::vector<pid_t> children;
    for (pid_t child; list >> child;)
        children.push_back(child);
    return children;
}

Network::Network() {
    // Left behind by a test process that died before its clean-up.
    RemoveStaleNamespaces("hp%dn");
    prefix_ =
        "hp" + std::to_string(getpid()) + "n" + std::to_string(networkCount++);
    client_ = prefix_ + "c";
    AddNamespace(client_);
    namespaces_.push_back(client_);
    mkdir("/etc/netns", 0755);
    std::string etc = "/etc/netns/" + client_;
    mkdir(etc.c_str(), 0755);
    std::ofstream(etc + "/nsswitch.conf") << "hosts: files\n";
    std::ofstream(etc + "/hosts") << "127.0.0.1 localhost\n";
    // What the programs remember stays in the lab, not in the home of the
    // user who runs it.
    SetEnv("XDG_STATE_HOME", StateFolder());
    pipe(wake_);
    epoch_ = 0;
    epoch_ = Now();
}

Network::~Network() {
    stop_ = true;
    if (wake_[1] >= 0)
        write(wake_[1], "x", 1);
    if (server_.joinable())
        server_.join();
    for (std::thread &t : clients_)
        t.join();
    // Only children not yet reaped are ended: a reaped PID may be reused.
    for (pid_t pid : programs_) {
        int s;
        if (waitpid(pid, &s, WNOHANG) != 0)
            continue;
        Program p;
        p.pid = pid;
        p.Kill();
    }
    for (const Host &h : hosts_) {
        close(h.fd);
        close(h.fd6);
        for (int fd : h.sessions)
            close(fd);
    }
    for (int fd : {clientUdp_, deadNameServer_, reportFd_, wake_[0], wake_[1]})
        if (fd >= 0)
            close(fd);
    for (const auto &ns : namespaces_)
        Must("ip netns del " + ns);
    Must("rm -rf /etc/netns/" + client_);
    Must("rm -rf " + StateFolder());
}

double Network::Now() const {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch())
               .count() -
           epoch_;
}

void Network::AddLan(int lan, bool up, int prefix, Stack stack) {
    std::string dev = "lan" + std::to_string(lan);
    std::string n = "ip -n " + client_ + " ";
    prefixes_[lan] = prefix;
    stacks_[lan] = stack;
    Must(n + "link add " + dev + " type bridge");
    if (stack != Stack::kIPv6)
        Must(n + "addr add " + LanAddress(lan, 1) + "/" +
             std::to_string(prefix) + " brd + dev " + dev);
    if (stack != Stack::kIPv4)
        Must(n + "addr add " + LanAddress6(lan, 1) + "/64 nodad dev " + dev);
    if (up)
        Must(n + "link set " + dev + " up");
}

void Network::RouteOnly(int lan) {
    std::string n = "ip -n " + client_ + " ";
    std::string dev = " dev lan" + std::to_string(lan);
    std::string prefix = "/" + std::to_string(prefixes_[lan]);
    Must(n + "addr del " + LanAddress(lan, 1) + prefix + dev);
    Must(n + "addr add " + LanAddress(lan, 1) + "/32" + dev);
    Must(n + "route add " + LanAddress(lan, 0) + prefix + dev);
}

// A namespace `ns` on LAN `lan`, at its addresses for `octet`.
std::string Network::Join(int lan, int octet, const std::string &ns) {
    std::string veth = "h" + std::to_string(namespaces_.size());
    std::string address = LanAddress(lan, octet);
    AddNamespace(ns);
    namespaces_.push_back(ns);
    std::string c = "ip -n " + client_ + " ";
    std::string h = "ip -n " + ns + " ";
    Must(c + "link add " + veth + " type veth peer name eth0 netns " + ns);
    Must(c + "link set " + veth + " master lan" + std::to_string(lan) + " up");
    Stack stack = stacks_[lan];
    if (stack != Stack::kIPv6)
        Must(h + "addr add " + address + "/" + std::to_string(prefixes_[lan]) +
             " brd + dev eth0");
    if (stack != Stack::kIPv4) {
        // Its link-local address is the one it is given, and no other.
        Must(h + "link set eth0 addrgenmode none");
        Must(h + "addr add " + LanAddress6(lan, octet) + "/64 nodad dev eth0");
        Must(h + "addr add " + LanAddress6(lan, octet, true) +
             "/64 nodad dev eth0");
    }
    Must(h + "link set eth0 up");
    return ns;
}

int Network::AddHost(int lan, int octet, std::vector<Bytes> replies) {
    int index = static_cast<int>(hosts_.size());
    std::string ns = Join(lan, octet, prefix_ + "h" + std::to_string(index));
    Stack stack = stacks_[lan];
    Host host;
    if (stack != Stack::kIPv6)
        host.fd = SocketIn(ns, SOCK_DGRAM, "0.0.0.0", 177);
    if (stack != Stack::kIPv4)
        host.fd6 = SocketIn(ns, SOCK_DGRAM, "::", 177, "ff02::12b", "eth0");
    host.replies = std::move(replies);
    host.ns = ns;
    hosts_.push_back(std::move(host));
    return index;
}

std::string Network::AddRealHost(int lan, int octet) {
    return Join(lan, octet, prefix_ + "r" + std::to_string(namespaces_.size()));
}

void Network::AnswerRequests(int host, Bytes reply) {
    std::lock_guard<std::mutex> g(logLock);
    hosts_.at(host).requestReply = std::move(reply);
}

void Network::ManageDisplays(int host, Managing how) {
    std::lock_guard<std::mutex> g(logLock);
    hosts_.at(host).manages = true;
    hosts_.at(host).how = how;
}

int Network::OpenSessions(int host) {
    std::lock_guard<std::mutex> g(logLock);
    int open = 0;
    for (int fd : hosts_.at(host).sessions) {
        char byte;
        ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        open += n > 0 || (n < 0 && errno == EAGAIN);
    }
    return open;
}

void Network::AnswerOnly(int host, int queries) {
    std::lock_guard<std::mutex> g(logLock);
    hosts_.at(host).answersLeft = queries;
}

void Network::Then(int host, std::vector<Bytes> replies) {
    std::lock_guard<std::mutex> g(logLock);
    hosts_.at(host).later = std::move(replies);
    hosts_.at(host).changes = true;
}

void Network::Chatter(int host, const std::string &name, int everyMs) {
    std::lock_guard<std::mutex> g(logLock);
    hosts_.at(host).chatter = name;
    hosts_.at(host).chatterMs = everyMs;
}

// Each chattering host that has been queried says its next status, to its
// latest querier, when its interval has passed.
void Network::Chat(double now) {
    std::lock_guard<std::mutex> g(logLock);
    if (now < nextChat_)
        return;
    nextChat_ = now + 1e9;
    for (Host &h : hosts_) {
        if (h.chatterMs == 0 || h.chatterTo.sin_port == 0)
            continue;
        Bytes reply =
            WillingReply(h.chatter, "load " + std::to_string(h.said++));
        sendto(h.fd, reply.data(), reply.size(), 0,
               reinterpret_cast<const sockaddr *>(&h.chatterTo),
               sizeof(h.chatterTo));
        nextChat_ = std::min(nextChat_, now + h.chatterMs);
    }
}

int Network::AddCrowd(int lan, int first, std::vector<Bytes> replies) {
    int index = AddHost(lan, first, {});
    std::string ns = prefix_ + "h" + std::to_string(index);
    in_addr base;
    inet_pton(AF_INET, LanAddress(lan, first).c_str(), &base);
    std::vector<in_addr> crowd;
    std::vector<std::string> more;
    for (size_t i = 0; i < replies.size(); i++) {
        in_addr a = {htonl(ntohl(base.s_addr) + static_cast<uint32_t>(i))};
        crowd.push_back(a);
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a, text, sizeof(text));
        if (i > 0)
            more.push_back(std::string(text) + "/32");
    }
    AddAddresses(ns, "eth0", more);
    std::lock_guard<std::mutex> g(logLock);
    hosts_[index].replies = std::move(replies);
    hosts_[index].crowd = std::move(crowd);
    return index;
}

void Network::AddName(const std::string &line) {
    std::ofstream("/etc/netns/" + client_ + "/hosts", std::ios::app)
        << line << "\n";
}

void Network::AddDeadNameServer(int lan, int octet) {
    AddHost(lan, octet, {});
    std::string ns = prefix_ + "h" + std::to_string(hosts_.size() - 1);
    deadNameServer_ = SocketIn(ns, SOCK_DGRAM, "0.0.0.0", 53);
    std::string etc = "/etc/netns/" + client_;
    std::ofstream(etc + "/nsswitch.conf") << "hosts: files dns\n";
    std::ofstream(etc + "/resolv.conf")
        << "nameserver " << LanAddress(lan, octet) << "\n";
}

void Network::AddNameServer(int lan, int octet,
                            const std::vector<std::string> &records) {
    std::string ns = AddRealHost(lan, octet);
    pid_t pid = StartNameServer(ns, LanAddress(lan, octet), records);
    if (pid > 0)
        programs_.push_back(pid);
    std::string etc = "/etc/netns/" + client_;
    std::ofstream(etc + "/nsswitch.conf") << "hosts: dns\n";
    std::ofstream(etc + "/resolv.conf")
        << "nameserver " << LanAddress(lan, octet) << "\n";
}

void Network::ListenInClient() {
    clientUdp_ = SocketIn(client_, SOCK_DGRAM, "0.0.0.0", 177);
}

int Network::ListenForReport(bool ipv6) {
    reportFd_ = SocketIn(client_, SOCK_STREAM, ipv6 ? "::1" : "127.0.0.1", 0);
    listen(reportFd_, 16);
    sockaddr_storage a{};
    socklen_t l = sizeof(a);
    getsockname(reportFd_, reinterpret_cast<sockaddr *>(&a), &l);
    return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
}

void Network::DisableIPv6() {
    Must("ip netns exec " + client_ +
         " sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "
         "net.ipv6.conf.default.disable_ipv6=1");
}

void Network::Start() {
    server_ = std::thread([this] { Serve(); });
}

static Arrival Receive(int fd, double ms, int host) {
    Arrival a{ms, host, Bytes(65536), "", {}, -1};
    char control[256];
    iovec iov = {a.bytes.data(), a.bytes.size()};
    msghdr m{};
    m.msg_name = &a.from;
    m.msg_namelen = sizeof(a.from);
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof(control);
    ssize_t n = recvmsg(fd, &m, 0);
    a.bytes.resize(n < 0 ? 0 : n);
    for (cmsghdr *c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
        char text[INET6_ADDRSTRLEN];
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof(info));
            a.to = inet_ntop(AF_INET, &info.ipi_addr, text, sizeof(text));
        } else if (c->cmsg_level == IPPROTO_IPV6 &&
                   c->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof(info));
            a.to = inet_ntop(AF_INET6, &info.ipi6_addr, text, sizeof(text));
        } else if (c->cmsg_level == IPPROTO_IPV6 &&
                   c->cmsg_type == IPV6_HOPLIMIT) {
            std::memcpy(&a.hopLimit, CMSG_DATA(c), sizeof(a.hopLimit));
        }
    }
    return a;
}

void Network::Serve() {
    while (!stop_) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
        std::vector<int> owner = {-1}; // the host of each entry of fds
        for (size_t i = 0; i < hosts_.size(); i++) {
            for (int fd : {hosts_[i].fd, hosts_[i].fd6}) {
                fds.push_back({fd, POLLIN, 0});
                owner.push_back(static_cast<int>(i));
            }
        }
        if (clientUdp_ >= 0)
            fds.push_back({clientUdp_, POLLIN, 0});
        if (reportFd_ >= 0)
            fds.push_back({reportFd_, POLLIN, 0});
        double wait = std::min(1000.0, std::max(0.0, nextChat_ - Now()));
        int ready = poll(fds.data(), fds.size(), static_cast<int>(wait));
        Chat(Now());
        if (ready <= 0)
            continue;
        for (size_t i = 1; i < fds.size(); i++) {
            if (!(fds[i].revents & POLLIN))
                continue;
            int fd = fds[i].fd;
            if (fd == reportFd_) {
                Bytes all = ReadReport(fd);
                std::lock_guard<std::mutex> g(logLock);
                reports_.push_back(all);
            } else if (fd == clientUdp_) {
                Arrival a = Receive(fd, Now(), -1);
                std::lock_guard<std::mutex> g(logLock);
                clientArrivals_.push_back(a);
            } else {
                int host = owner[i];
                Arrival a = Receive(fd, Now(), host);
                std::lock_guard<std::mutex> g(logLock);
                arrivals_.push_back(a);
                Answer(hosts_[host], a, fd);
            }
        }
    }
}

void Network::Answer(Host &h, const Arrival &a, int fd) {
    socklen_t length = a.from.ss_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                    : sizeof(sockaddr_in);
    if (h.manages && Grant(h, a, fd))
        return;
    constexpr int kRequest = 7;
    if (a.bytes.size() >= 4 && a.bytes[2] == 0 && a.bytes[3] == kRequest) {
        if (!h.requestReply.empty())
            sendto(fd, h.requestReply.data(), h.requestReply.size(), 0,
                   reinterpret_cast<const sockaddr *>(&a.from), length);
        return;
    }
    if (h.chatterMs != 0) {
        std::memcpy(&h.chatterTo, &a.from, sizeof(h.chatterTo));
        nextChat_ = Now();
    }
    if (h.answersLeft == 0)
        return;
    if (h.answersLeft > 0)
        h.answersLeft--;
    if (!h.crowd.empty()) {
        // A query to one of the crowd is answered by that one; any other,
        // a broadcast, by all.
        in_addr to{};
        inet_pton(AF_INET, a.to.c_str(), &to);
        auto one = std::find_if(h.crowd.begin(), h.crowd.end(), [&](in_addr c) {
            return c.s_addr == to.s_addr;
        });
        const auto &from = reinterpret_cast<const sockaddr_in &>(a.from);
        h.replied = true;
        for (size_t i = 0; i < h.crowd.size(); i++)
            if (one == h.crowd.end() || one - h.crowd.begin() == long(i))
                SendAs(h.fd, h.crowd[i], from, h.replies[i].data(),
                       h.replies[i].size());
        return;
    }
    for (const Bytes &reply : h.replies)
        sendto(fd, reply.data(), reply.size(), 0,
               reinterpret_cast<const sockaddr *>(&a.from), length);
    h.replied = h.replied || !h.replies.empty();
    if (h.changes)
        h.replies = h.later;
}

// ---- a host that manages displays ----

namespace {

constexpr char kCookieName[] = "MIT-MAGIC-COOKIE-1"; // 18 bytes
const Bytes kHostCookie(16, 0x5a);

unsigned Card16(const Bytes &b, size_t at) {
    return b.size() >= at + 2 ? b[at] << 8 | b[at + 1] : 0;
}

// X requests in the machine's byte order (the set-up's 'l': little-endian).
template <typename T> void Put(Bytes *b, std::initializer_list<T> values) {
    for (T v : values)
        b->insert(b->end(), reinterpret_cast<unsigned char *>(&v),
                  reinterpret_cast<unsigned char *>(&v) + sizeof(v));
}

template <typename T> T Get(const Bytes &b, size_t at) {
    T value{};
    if (b.size() >= at + sizeof(T))
        std::memcpy(&value, b.data() + at, sizeof(T));
    return value;
}

// The connection set-up with the host's cookie; the reply's root window
// and resource-ID base, or false when it is refused.
bool SetUp(int fd, uint32_t *root, uint32_t *base) {
    Bytes setup = {'l', 0};
    Put<uint16_t>(&setup, {11, 0, 18, 16, 0});
    setup.insert(setup.end(), kCookieName, kCookieName + 18);
    setup.insert(setup.end(), {0, 0}); // to a multiple of four
    setup.insert(setup.end(), kHostCookie.begin(), kHostCookie.end());
    send(fd, setup.data(), setup.size(), MSG_NOSIGNAL);
    Bytes reply(8);
    if (recv(fd, reply.data(), 8, MSG_WAITALL) != 8 || reply[0] != 1)
        return false;
    reply.resize(8 + 4 * Get<uint16_t>(reply, 6));
    ssize_t rest = static_cast<ssize_t>(reply.size() - 8);
    if (recv(fd, reply.data() + 8, rest, MSG_WAITALL) != rest)
        return false;
    *base = Get<uint32_t>(reply, 12);
    size_t vendor = (Get<uint16_t>(reply, 24) + 3) & ~3U;
    *root = Get<uint32_t>(reply, 40 + vendor + 8 * reply[29]);
    return true;
}

} // namespace

// A REQUEST is granted with the host's cookie; a MANAGE, once for each
// session, has the host connect.
bool Network::Grant(Host &h, const Arrival &a, int fd) {
    constexpr unsigned kRequest = 7, kAccept = 8, kManage = 10;
    unsigned opcode = Card16(a.bytes, 2);
    if (opcode == kRequest) {
        // Session ID, then empty authentication and the cookie.
        unsigned char id = static_cast<unsigned char>(h.managed.size() + 1);
        Bytes accept = {0, 1, 0, kAccept, 0, 0, 0, 0, 0, id, 0, 0, 0, 0, 0, 18};
        accept.insert(accept.end(), kCookieName, kCookieName + 18);
        accept.insert(accept.end(), {0, 16});
        accept.insert(accept.end(), kHostCookie.begin(), kHostCookie.end());
        accept[5] = static_cast<unsigned char>(accept.size() - 6);
        socklen_t length = a.from.ss_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                        : sizeof(sockaddr_in);
        sendto(fd, accept.data(), accept.size(), 0,
               reinterpret_cast<const sockaddr *>(&a.from), length);
        return true;
    }
    if (opcode != kManage)
        return false;
    unsigned session = Card16(a.bytes, 6) << 16 | Card16(a.bytes, 8);
    if (std::find(h.managed.begin(), h.managed.end(), session) ==
        h.managed.end()) {
        h.managed.push_back(session);
        clients_.emplace_back(&Network::Manage, this,
                              static_cast<int>(&h - hosts_.data()), a.from,
                              static_cast<int>(Card16(a.bytes, 10)));
    }
    return true;
}

// The session's first client, on a thread of its own.
void Network::Manage(int host, sockaddr_storage display, int number) {
    Managing how;
    std::string ns;
    {
        std::lock_guard<std::mutex> g(logLock);
        how = hosts_[host].how;
        ns = hosts_[host].ns;
    }
    bool six = display.ss_family == AF_INET6;
    int fd = SocketIn(ns, SOCK_STREAM, six ? "::" : "0.0.0.0", 0);
    reinterpret_cast<sockaddr_in &>(display).sin_port =
        htons(static_cast<uint16_t>(6000 + number));
    timeval limit = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    uint32_t root = 0;
    uint32_t base = 0;
    bool connected =
        connect(fd, reinterpret_cast<sockaddr *>(&display),
                six ? sizeof(sockaddr_in6) : sizeof(sockaddr_in)) == 0;
    // The host's own delay between its connection and its set-up: the
    // behaviour simulated, not a wait of the test's.
    if (connected)
        usleep(how.setupDelayMs * 1000);
    if (!connected || !SetUp(fd, &root, &base)) {
        close(fd);
        return;
    }
    Bytes requests;
    if (how.grab) {
        Put<uint8_t>(&requests, {36, 0}); // GrabServer
        Put<uint16_t>(&requests, {1});
    } else { // CreateWindow, 100x100 at 0,0, then MapWindow
        Put<uint8_t>(&requests, {1, 0});
        Put<uint16_t>(&requests, {8});
        Put<uint32_t>(&requests, {base, root, 0, 100 | 100 << 16, 0, 0, 0});
        Put<uint8_t>(&requests, {8, 0});
        Put<uint16_t>(&requests, {2});
        Put<uint32_t>(&requests, {base});
    }
    send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
    std::lock_guard<std::mutex> g(logLock);
    hosts_[host].sessions.push_back(fd);
}

bool Network::GrabSessions(int host) {
    std::lock_guard<std::mutex> g(logLock);
    Bytes requests;
    Put<uint8_t>(&requests, {36, 0}); // GrabServer
    Put<uint16_t>(&requests, {1});
    Put<uint8_t>(&requests, {43, 0}); // GetInputFocus, for its reply
    Put<uint16_t>(&requests, {1});
    bool all = true;
    for (int fd : hosts_.at(host).sessions) {
        unsigned char reply[32];
        all = all &&
              send(fd, requests.data(), requests.size(), MSG_NOSIGNAL) ==
                  static_cast<ssize_t>(requests.size()) &&
              recv(fd, reply, sizeof(reply), MSG_WAITALL) == sizeof(reply) &&
              reply[0] == 1;
    }
    return all;
}

std::vector<Arrival> Network::Arrivals() {
    std::lock_guard<std::mutex> g(logLock);
    return arrivals_;
}

bool Network::DeadNameServerAsked() {
    char byte;
    return deadNameServer_ >= 0 &&
           recv(deadNameServer_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

int Network::Replying() {
    std::lock_guard<std::mutex> g(logLock);
    return static_cast<int>(std::count_if(
        hosts_.begin(), hosts_.end(), [](const Host &h) { return h.replied; }));
}

std::vector<Arrival> Network::ClientArrivals() {
    std::lock_guard<std::mutex> g(logLock);
    return clientArrivals_;
}

std::vector<Bytes> Network::Reports(int waitMs) {
    PollUntil(
        [&] {
            std::lock_guard<std::mutex> g(logLock);
            return !reports_.empty();
        },
        waitMs);
    std::lock_guard<std::mutex> g(logLock);
    return reports_;
}

long Network::Snmp(const std::string &group, const std::string &field) {
    std::string command = "ip netns exec " + client_ + " cat /proc/net/snmp";
    FILE *p = popen(command.c_str(), "r");
    std::vector<std::string> lines;
    char line[4096];
    while (p != nullptr && std::fgets(line, sizeof(line), p) != nullptr)
        lines.emplace_back(line);
    if (p != nullptr)
        pclose(p);
    // Each group is a line of names followed by a line of values.
    for (size_t i = 0; i + 1 < lines.size(); i++) {
        if (lines[i].rfind(group + ":", 0) != 0)
            continue;
        std::istringstream names(lines[i]);
        std::istringstream values(lines[i + 1]);
        std::string name;
        std::string value;
        while (names >> name && values >> value)
            if (name == field)
                return std::stol(value);
    }
    return -1;
}

std::string XFileSearchPath() {
    std::string dir = HOSTPICK_X11_DIR;
    return dir + "/%L/%T/%N%C:" + dir + "/%l/%T/%N%C:" + dir + "/%T/%N%C";
}

Program Network::Run(const std::vector<std::string> &args,
                     const std::string &binary) {
    static int runs;
    Program p;
    std::string base = "/tmp/" + prefix_ + "-run" + std::to_string(runs++);
    p.out = base + ".out";
    p.err = base + ".err";
    // HOSTPICK_PROGRAM names an installed program, which finds its
    // installed resource file by itself; else the build tree's is used.
    const char *installed = std::getenv("HOSTPICK_PROGRAM");
    std::string program = !binary.empty()        ? binary
                          : installed != nullptr ? installed
                                                 : HOSTPICK_BINARY;
    std::vector<std::string> argv = {"ip", "netns", "exec", client_};
    argv.insert(argv.end(), runUnder_.begin(), runUnder_.end());
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    // The environment too is made before the fork: the child of a process
    // with threads (the network's server) must not allocate, since another
    // thread may have held the allocator's lock at the fork.
    std::map<std::string, std::string> env;
    for (char **var = environ; *var != nullptr; var++) {
        std::string entry = *var;
        std::size_t equals = entry.find('=');
        env[entry.substr(0, equals)] =
            equals != std::string::npos ? entry.substr(equals + 1) : "";
    }
    if (installed == nullptr)
        env["XFILESEARCHPATH"] = XFileSearchPath();
    for (const auto &[name, value] : env_)
        env[name] = value;
    std::vector<std::string> entries;
    for (const auto &[name, value] : env)
        entries.push_back(name + "=" + value);
    std::vector<char *> v, e;
    for (auto &a : argv)
        v.push_back(a.data());
    v.push_back(nullptr);
    for (auto &entry : entries)
        e.push_back(entry.data());
    e.push_back(nullptr);
    const char *outPath = stdout_.empty() ? p.out.c_str() : stdout_.c_str();
    p.pid = fork();
    if (p.pid == 0) {
        int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(p.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execvpe("ip", v.data(), e.data());
        _exit(127);
    }
    programs_.push_back(p.pid);
    return p;
}

int Network::Exec(const std::string &command) {
    int s = std::system(("ip netns exec " + client_ + " " + command).c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
}
