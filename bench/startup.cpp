// Start-up: the time from starting a program to its window being mapped,
// for hostpick and for the bare widget tree, taken in turns in one run.
//
//   startup RUNS HOSTPICK BARE
//
// Runs in a network namespace of its own with only loopback, so the
// program's queries (to 127.0.0.1 and "BROADCAST") stay on the machine.
// Each program is ended, by its PID, once its window is up.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/lab/isolate.h"

namespace {

constexpr int kMapTimeoutMs = 10000;

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch())
        .count();
}

// Waits for the next top-level window to be mapped; false on time-out.
bool WaitForMap(Display *display, double deadline) {
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify)
                return true;
        }
        int left = static_cast<int>(deadline - NowMs());
        if (left <= 0)
            return false;
        pollfd p = {ConnectionNumber(display), POLLIN, 0};
        poll(&p, 1, left);
    }
}

// Milliseconds from fork to the mapped window, or a negative number.
double TimeOne(Display *display, char *const argv[]) {
    double start = NowMs();
    pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    bool mapped = WaitForMap(display, start + kMapTimeoutMs);
    double elapsed = NowMs() - start;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // Let the server report the window's end before the next run starts.
    XSync(display, True);
    return mapped ? elapsed : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4 || std::atoi(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: startup RUNS HOSTPICK BARE\n");
        return 2;
    }
    int runs = std::atoi(argv[1]);
    if (!IsolateNetwork())
        return 1;
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "startup: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);

    // Both are queried only inside the namespace IsolateNetwork made above,
    // which every program started here inherits.
    char loopback[] = "127.0.0.1";
    char broadcast[] = "BROADCAST";
    char *hostpick[] = {argv[2], loopback, broadcast, nullptr};
    char *bare[] = {argv[3], nullptr};
    std::vector<double> hostpickMs, bareMs;
    for (int i = 0; i < runs; i++) {
        double b = TimeOne(display, bare);
        double h = TimeOne(display, hostpick);
        if (b < 0 || h < 0) {
            std::fprintf(stderr, "startup: a window never appeared\n");
            return 1;
        }
        bareMs.push_back(b);
        hostpickMs.push_back(h);
    }
    double h = Median(hostpickMs), b = Median(bareMs);
    std::printf("%-24s %s\n", "program", "exec to mapped window (median)");
    std::printf("%-24s %.2f ms\n", "bare Athena tree", b);
    std::printf("%-24s %.2f ms\n", "hostpick", h);
    std::printf("%-24s %.3f (%d runs each, taken in turns)\n", "ratio", h / b,
                runs);
    return 0;
}
