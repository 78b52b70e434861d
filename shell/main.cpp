// hostpick: lists the hosts that offer to manage this X display over XDMCP,
// lets the person at the display pick one, and reports the choice to the
// display manager that started the program.

#include <cerrno>
#include <cstring>

#include "shell/loop.h"
#include "shell/startup.h"
#include "shell/warn.h"
#include "xdmcp/discovery.h"

int main(int argc, char **argv) {
    OpenWindow(&argc, argv);
    // A list that can never fill is no choice to show.
    if (!StartDiscovery(argv + 1)) {
        Warn("cannot ask any host: %s", std::strerror(errno));
        return 1;
    }
    XtAppMainLoop(appContext);
}
