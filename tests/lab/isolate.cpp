#include "tests/lab/isolate.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// A user namespace in which this user is root, as unshare -Ur makes it.
int BecomeRootInUserNamespace() {
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER) != 0)
        return 0;
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    return geteuid() == 0;
}

// Lays a file holding `text` over `path`, in this process's own view of
// the file system.
int Cover(const char *path, const char *text) {
    char temporary[] = "/tmp/hostpick-isolate-XXXXXX";
    int fd = mkstemp(temporary);
    if (fd < 0)
        return 0;
    ssize_t length = static_cast<ssize_t>(std::strlen(text));
    int ok = write(fd, text, length) == length &&
             mount(temporary, path, nullptr, MS_BIND, nullptr) == 0;
    close(fd);
    unlink(temporary); // the bind mount keeps it
    return ok;
}

int PrivateResolver() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           Cover("/etc/hosts", "127.0.0.1 localhost\n127.0.0.2 twin\n"
                               "127.0.0.3 twin\n") &&
           Cover("/etc/nsswitch.conf", "hosts: files\n") &&
           Cover("/etc/resolv.conf", "nameserver 127.0.0.1\n");
}

// Which network namespace a process is in, as /proc names it.
std::string NetworkNamespace(const char *process = "self") {
    char link[64] = {};
    std::string path = std::string("/proc/") + process + "/ns/net";
    ssize_t n = readlink(path.c_str(), link, sizeof(link) - 1);
    return n > 0 ? std::string(link, n) : "";
}

// A death test's child, started afresh, inherits the isolation; it could
// not lay its files over the ones already laid there.
constexpr char kIsolatedIn[] = "HOSTPICK_ISOLATED_IN";

} // namespace

int IsolateNetwork() {
    const char *isolated = std::getenv(kIsolatedIn);
    // Never the machine's own network (PID 1's), whatever the variable says.
    if (isolated != nullptr && isolated == NetworkNamespace() &&
        isolated != NetworkNamespace("1"))
        return 1;
    if (geteuid() != 0 && !BecomeRootInUserNamespace()) {
        std::perror("unshare(CLONE_NEWUSER)");
        return 0;
    }
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET)");
        return 0;
    }
    if (!PrivateResolver()) {
        std::perror("cannot give the process resolver files of its own");
        return 0;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request;
    std::memset(&request, 0, sizeof(request));
    std::strcpy(request.ifr_name, "lo");
    int up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    if (!up)
        std::perror("cannot bring up lo");
    setenv(kIsolatedIn, NetworkNamespace().c_str(), 1);
    return up;
}
