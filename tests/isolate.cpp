#include "tests/isolate.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int IsolateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET) (needs root)");
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
    return up;
}
