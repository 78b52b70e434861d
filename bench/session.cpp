// The session mode: the time from Accept (Return, pressed through XTEST) to
// the host's first window shown on the nested display, as hostpick sees it
// (it looks for the host's connection every 50 ms, then, on a thread of its
// own, for the window), with LightDM's XDMCP server as the host, in a lab
// of network namespaces.
//
//   session RUNS [PROGRAM]
//
// PROGRAM is another build of hostpick, such as a baseline's.
//
// Needs root, the test's X server in $DISPLAY, and LightDM (scripts/setup
// installs it).  Each run's nested server and hostpick are ended by their
// PIDs.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/lab/lightdm.h"
#include "tests/lab/netsim.h"
#include "tests/lab/xdriver.h"

namespace {

constexpr int kWindowWaitMs = 15000;
constexpr char kTaken[] = " manages display ";

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch())
        .count();
}

// One run: milliseconds from the key to the host's window, or -1.
double Run(Network &net, XDriver &x, int run, const std::string &program) {
    std::string title = "hostpick-bench-session-" + std::to_string(run);
    std::vector<std::string> args = TestResources(title);
    args.insert(args.end(), {"-session", "10.55.0.20"});
    Program p = net.Run(args, program);
    double ms = -1;
    if (x.WaitForWindow(title) != 0) {
        usleep(1000000); // the host's row
        double start = NowMs();
        x.KeysOutside("Down Return");
        while (NowMs() - start < kWindowWaitMs) {
            if (p.Stderr().find(kTaken) != std::string::npos) {
                ms = NowMs() - start;
                break;
            }
            usleep(2000);
        }
    }
    for (pid_t server : p.Children())
        kill(server, SIGTERM);
    p.Kill();
    usleep(500000); // for the host to let the session go
    return ms;
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::string program = argc > 2 ? argv[2] : "";
    if (!LightDMInstalled()) {
        std::fprintf(stderr, "session: LightDM is not installed\n");
        return 2;
    }
    Network net;
    net.AddLan(0);
    std::string ns = net.AddRealHost(0, 20);
    net.Start();
    LightDM dm(ns, "labdm");
    if (!dm.Listening()) {
        std::fprintf(stderr, "session: LightDM did not start\n%s\n",
                     dm.Log().c_str());
        return 1;
    }
    XDriver x;
    std::vector<double> times;
    for (int run = 0; run < runs; run++) {
        double ms = Run(net, x, run, program);
        std::printf("run %d: %s\n", run + 1,
                    ms < 0 ? "no window" : std::to_string(ms).c_str());
        if (ms >= 0)
            times.push_back(ms);
    }
    if (times.empty())
        return 1;
    std::sort(times.begin(), times.end());
    std::printf("Accept to the host's window shown: median %.0f ms of %zu "
                "(fastest %.0f, slowest %.0f)\n",
                times[times.size() / 2], times.size(), times.front(),
                times.back());
    return 0;
}
