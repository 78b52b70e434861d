#include "bench/driver.h"

#include <cstdio>

#include "shell/startup.h"
#include "tests/lab/netns.h"
#include "xdmcp/discovery.h"

namespace {
// The namespace OpenWindowIn found the process in, and its name's format.
std::string builtNamespace;
const char *builtFormat = nullptr;
} // namespace

bool OpenWindowIn(const char *bench, const std::string &ns,
                  const char *format) {
    if (InBuiltNamespace(ns, format) == 0) {
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
    builtNamespace = ns;
    builtFormat = format;
    return true;
}

// Asked again at the moment of sending: the process is still in the
// namespace its benchmark built, never the machine's own.
void QueryBroadcast() {
    if (builtFormat == nullptr ||
        InBuiltNamespace(builtNamespace, builtFormat) == 0)
        return;
    static char broadcast[] = "BROADCAST";
    static char *targets[] = {broadcast, nullptr};
    StartDiscovery(targets);
}
