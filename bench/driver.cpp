#include "bench/driver.h"

#include <cstdio>

#include "shell/startup.h"
#include "tests/lab/netns.h"
#include "xdmcp/discovery.h"

namespace {
bool inBuiltNamespace = false;
} // namespace

bool OpenWindowIn(const char *bench, const std::string &ns,
                  const char *format) {
    inBuiltNamespace = InBuiltNamespace(ns, format) != 0;
    if (!inBuiltNamespace) {
        std::fprintf(stderr,
                     "%s: --intake runs only in the namespace that %s "
                     "builds for it\n",
                     bench, bench);
        return false;
    }
    static int argc = 1;
    static char name[] = "hostpick";
    static char *argv[] = {name, nullptr};
    OpenWindow(&argc, argv);
    return true;
}

void QueryBroadcast() {
    if (!inBuiltNamespace)
        return;
    static char broadcast[] = "BROADCAST";
    static char *targets[] = {broadcast, nullptr};
    StartDiscovery(targets);
}
