#include "tests/lab/netns.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/lab/poll.h"

void Must(const std::string &command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool AwaitUdpPort(pid_t pid, int port, int ms) {
    char bound[16];
    std::snprintf(bound, sizeof(bound), ":%04X ", port);
    std::string tables = "/proc/" + std::to_string(pid) + "/net/udp";
    return PollUntil(
        [&] {
            return (ReadFile(tables) + ReadFile(tables + "6")).find(bound) !=
                   std::string::npos;
        },
        ms, 20);
}

pid_t StartNameServer(const std::string &ns, const std::string &address,
                      std::vector<std::string> options) {
    std::vector<std::string> args = {"ip",
                                     "netns",
                                     "exec",
                                     ns,
                                     "dnsmasq",
                                     "--no-daemon",
                                     "--conf-file=/dev/null",
                                     "--no-resolv",
                                     "--no-hosts",
                                     "--bind-interfaces",
                                     "--pid-file",
                                     "--listen-address=" + address,
                                     "--user=root"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // ended with a run that dies
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    constexpr int kDnsPort = 53;
    if (pid > 0 && !AwaitUdpPort(pid, kDnsPort, 10000)) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void AddNamespace(const std::string &ns) {
    Must("ip netns add " + ns);
    Must("ip netns exec " + ns +
         " sysctl -qw net.ipv6.conf.all.accept_dad=0 "
         "net.ipv6.conf.default.accept_dad=0");
    Must("ip -n " + ns + " link set lo up");
}

void AddLinkedPair(const std::string &client, const std::string &lab) {
    AddNamespace(client);
    AddNamespace(lab);
    Must("ip -n " + client + " link add lab0 type veth peer name eth0 netns " +
         lab);
}

namespace {

// Whether process `pid` started the calling process, directly or through
// others (a shell, `ip netns exec`).
bool StartedUs(int pid) {
    for (int at = getppid(); at > 1;) {
        if (at == pid)
            return true;
        std::string stat = ReadFile("/proc/" + std::to_string(at) + "/stat");
        std::size_t end = stat.rfind(')'); // the name may hold blanks
        if (end == std::string::npos ||
            std::sscanf(stat.c_str() + end + 1, " %*c %d", &at) != 1)
            return false;
    }
    return false;
}

} // namespace

int InBuiltNamespace(const std::string &ns, const char *format) {
    auto same = [](const std::string &a, const std::string &b) {
        struct stat x, y;
        return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 &&
               x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    };
    int pid = 0;
    return std::sscanf(ns.c_str(), format, &pid) == 1 && pid > 0 &&
           StartedUs(pid) && same("/proc/self/ns/net", "/run/netns/" + ns) &&
           !same("/proc/self/ns/net", "/proc/1/ns/net");
}

void RemoveStaleNamespaces(const char *format) {
    DIR *d = opendir("/run/netns");
    if (d == nullptr)
        return;
    std::vector<std::string> stale;
    while (dirent *e = readdir(d)) {
        int pid = 0;
        if (std::sscanf(e->d_name, format, &pid) == 1 && pid > 0 &&
            kill(pid, 0) != 0 && errno == ESRCH)
            stale.emplace_back(e->d_name);
    }
    closedir(d);
    for (const auto &ns : stale) {
        Must("ip netns del " + ns);
        Must("rm -rf /etc/netns/" + ns);
    }
}

void AddAddresses(const std::string &ns, const std::string &dev,
                  const std::vector<std::string> &addresses) {
    std::string batch = "/tmp/" + ns + "-addresses.ip";
    FILE *f = std::fopen(batch.c_str(), "w");
    if (f == nullptr)
        return;
    for (const auto &a : addresses)
        std::fprintf(f, "addr add %s dev %s\n", a.c_str(), dev.c_str());
    std::fclose(f);
    Must("ip -n " + ns + " -batch " + batch);
    unlink(batch.c_str());
}

int SocketIn(const std::string &ns, int type, const char *ip, int port,
             const char *group, const char *device) {
    int self = open("/proc/thread-self/ns/net", O_RDONLY);
    int target = open(("/run/netns/" + ns).c_str(), O_RDONLY);
    setns(target, CLONE_NEWNET);
    bool v6 = std::strchr(ip, ':') != nullptr;
    int fd = socket(v6 ? AF_INET6 : AF_INET, type, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_storage a{};
    auto *in = reinterpret_cast<sockaddr_in *>(&a);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&a);
    if (v6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        inet_pton(AF_INET6, ip, &in6->sin6_addr);
    } else {
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        inet_pton(AF_INET, ip, &in->sin_addr);
    }
    if (type == SOCK_DGRAM && v6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &on, sizeof(on));
        setsockopt(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof(on));
    } else if (type == SOCK_DGRAM) {
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));
    }
    if (group != nullptr) {
        ipv6_mreq join{};
        inet_pton(AF_INET6, group, &join.ipv6mr_multiaddr);
        join.ipv6mr_interface = if_nametoindex(device);
        if (setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &join,
                       sizeof(join)) != 0)
            std::perror("IPV6_JOIN_GROUP");
    }
    if (bind(fd, reinterpret_cast<sockaddr *>(&a),
             v6 ? sizeof(*in6) : sizeof(*in)) != 0)
        std::perror("bind");
    setns(self, CLONE_NEWNET);
    close(self);
    close(target);
    return fd;
}

namespace {

// Sends from `fd` to `to` with `info` (of `size` bytes) as the ancillary
// data `type` at `level`, which chooses the source address.
template <typename Info, typename Address>
ssize_t SendWith(int fd, int level, int type, const Info &info,
                 const Address &to, const void *bytes, std::size_t size) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(info))] = {};
    iovec data = {const_cast<void *>(bytes), size};
    msghdr message{};
    message.msg_name = const_cast<Address *>(&to);
    message.msg_namelen = sizeof(to);
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr *c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = level;
    c->cmsg_type = type;
    c->cmsg_len = CMSG_LEN(sizeof(info));
    std::memcpy(CMSG_DATA(c), &info, sizeof(info));
    return sendmsg(fd, &message, 0);
}

} // namespace

ssize_t SendAs(int fd, in_addr source, const sockaddr_in &to, const void *bytes,
               std::size_t size) {
    in_pktinfo info{};
    info.ipi_spec_dst = source;
    return SendWith(fd, IPPROTO_IP, IP_PKTINFO, info, to, bytes, size);
}

ssize_t SendAs6(int fd, const in6_addr &source, const sockaddr_in6 &to,
                const void *bytes, std::size_t size) {
    in6_pktinfo info{};
    info.ipi6_addr = source;
    return SendWith(fd, IPPROTO_IPV6, IPV6_PKTINFO, info, to, bytes, size);
}
