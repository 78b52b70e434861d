#include "bench/measure.h"

#include <dirent.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

long long NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long XServerCpuNs() {
    const char *pid = std::getenv("XVFB_PID");
    if (pid == nullptr)
        return 0;
    std::string tasks = std::string("/proc/") + pid + "/task";
    DIR *d = opendir(tasks.c_str());
    if (d == nullptr)
        return 0;
    long long total = 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        long long ns = 0;
        std::ifstream(tasks + "/" + e->d_name + "/schedstat") >> ns;
        total += ns;
    }
    closedir(d);
    return total;
}
