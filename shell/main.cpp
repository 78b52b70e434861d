// hostpick: lists the hosts that offer to manage an X display over XDMCP,
// lets the person at the display pick one, and reports the choice to the
// display manager that started the program, or, in the session mode,
// opens the host's login in a window of the person's desktop.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "selection/remembering.h"
#include "selection/session.h"
#include "shell/loop.h"
#include "shell/startup.h"
#include "shell/usage.h"
#include "shell/warn.h"
#include "xdmcp/discovery.h"

int main(int argc, char **argv) {
    switch (AskedFor(argv)) {
    case Asked::kHelp:
        PrintSynopsis(stdout);
        return 0;
    case Asked::kVersion:
        PrintVersion(stdout);
        return 0;
    case Asked::kRun:
        break;
    }
    if (!OpenWindow(&argc, argv)) {
        Warn("unknown option %s", UnknownOption(argv + 1));
        PrintSynopsis(stderr);
        return 2;
    }
    // A person at a desktop who names no host means the hosts around; the
    // hosts remembered are asked beside those named.
    char broadcast[] = "BROADCAST";
    std::vector<char *> targets;
    std::vector<std::string> remembered;
    try {
        remembered = RememberedTargets();
        if (SessionMode() && argc < 2)
            targets.push_back(broadcast);
        targets.insert(targets.end(), argv + 1, argv + argc);
        for (std::string &address : remembered)
            if (std::find(argv + 1, argv + argc, address) == argv + argc)
                targets.push_back(address.data());
        targets.push_back(nullptr);
    } catch (const std::bad_alloc &) {
        Warn("cannot ask any host: %s", std::strerror(ENOMEM));
        return 1;
    }
    // A list that can never fill is no choice to show.
    if (!StartDiscovery(targets.data())) {
        Warn("cannot ask any host: %s", std::strerror(errno));
        return 1;
    }
    XtAppMainLoop(appContext);
}
