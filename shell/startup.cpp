#include "shell/startup.h"

#include <X11/Shell.h>
#include <X11/StringDefs.h>

#include "hosts/hosts.h"
#include "selection/actions.h"
#include "selection/moves.h"
#include "shell/fallback.h"
#include "shell/heading.h"
#include "shell/settings.h"
#include "shell/window.h"

XtAppContext appContext;

XtInputId WatchReadable(int fd, XtInputCallbackProc proc) {
    // Xt takes the input condition in a pointer-typed argument.
    return XtAppAddInput(appContext, fd,
                         // NOLINTNEXTLINE(performance-no-int-to-ptr)
                         reinterpret_cast<XtPointer>(XtInputReadMask), proc,
                         nullptr);
}

void OpenWindow(int *argc, char **argv) {
    // Before the toolkit starts: names, statuses and labels are then read
    // in the locale's own encoding.
    XtSetLanguageProc(nullptr, nullptr, nullptr);
    topLevel = XtOpenApplication(
        &appContext, "Hostpick", settingsOptions, settingsOptionCount, argc,
        argv, fallbackResources, applicationShellWidgetClass, nullptr, 0);
    XtAddConverter(XtRString, "ARRAY8", StringToArray8, nullptr, 0);
    LoadSettings(topLevel);
    XtAppAddActions(appContext, actionTable, kActionCount);
    CreateWidgets(topLevel);
    ShowLines(nullptr, 0);
    LoadHeading(topLevel);
    HandleFocus(topLevel);
    WatchPresses(XtDisplay(topLevel));

    // Realised unmapped, so that the window has its size and can be placed
    // before it is first shown.
    XtSetMappedWhenManaged(topLevel, False);
    XtRealizeWidget(topLevel);
    HandleWindowProtocols(topLevel);
    PlaceWindow(topLevel);
    XMapWindow(XtDisplay(topLevel), XtWindow(topLevel));
    // Shown before anything else happens, whatever comes next.
    XFlush(XtDisplay(topLevel));
}
