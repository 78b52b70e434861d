// hostpick: lists the hosts that offer to manage this X display over XDMCP,
// lets the person at the display pick one, and reports the choice to the
// display manager that started the program.

#include "shell/loop.h"
#include "shell/startup.h"
#include "xdmcp/discovery.h"

int main(int argc, char **argv) {
    OpenWindow(&argc, argv);
    StartDiscovery(argv + 1);
    XtAppMainLoop(appContext);
}
