// The unit tests run in a network namespace of their own, with only a
// loopback interface: they may bind the XDMCP port and query "BROADCAST"
// without anything leaving the machine's own namespace.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

static bool IsolateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET) (the tests need root)");
        return false;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request;
    std::memset(&request, 0, sizeof(request));
    std::strcpy(request.ifr_name, "lo");
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return up;
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!IsolateNetwork())
        return 1;
    return RUN_ALL_TESTS();
}
