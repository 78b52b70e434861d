// hostpick: lists the hosts that offer to manage this X display over XDMCP,
// lets the person at the display pick one, and reports the choice to the
// display manager that started the program.

#include <X11/Intrinsic.h>
#include <X11/StringDefs.h>

#include "hosts/hosts.h"
#include "selection/actions.h"
#include "shell/settings.h"
#include "shell/window.h"
#include "xdmcp/discovery.h"

int main(int argc, char **argv) {
    // The toolkit takes out its own options and ours, with their values,
    // leaving the program name and then the query targets.
    topLevel = XtInitialize(argv[0], "Hostpick", settingsOptions,
                            settingsOptionCount, &argc, argv);
    XtAddConverter(XtRString, "ARRAY8", StringToArray8, nullptr, 0);
    LoadSettings(topLevel);
    XtAddActions(actionTable, kActionCount);
    CreateWidgets(topLevel);
    ShowLines(nullptr, 0);

    // Realised unmapped, so that the window has its size and can be placed
    // before it is first shown.
    XtSetMappedWhenManaged(topLevel, False);
    XtRealizeWidget(topLevel);
    PlaceWindow(topLevel);
    XMapWindow(XtDisplay(topLevel), XtWindow(topLevel));

    StartDiscovery(argv + 1);
    XtMainLoop();
}
