#include "shell/startup.h"

#include <X11/Intrinsic.h>
#include <X11/StringDefs.h>

#include "hosts/hosts.h"
#include "selection/actions.h"
#include "shell/settings.h"
#include "shell/window.h"

void OpenWindow(int *argc, char **argv) {
    topLevel = XtInitialize(argv[0], "Hostpick", settingsOptions,
                            settingsOptionCount, argc, argv);
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
}
