// The yardstick for start-up: the same Athena widget tree as the program's,
// with the same resources, locale and action names, realised and shown,
// and nothing else; its text in the core font sets of scale 1, as the
// Athena widgets draw it.
#include <X11/Intrinsic.h>

#include "shell/startup.h"
#include "shell/window.h"

int main(int argc, char **argv) {
    // The same locale as the program's, in which the resources' font sets
    // are made.
    XtSetLanguageProc(nullptr, nullptr, nullptr);
    Widget shell = XtInitialize(argv[0], "Hostpick", nullptr, 0, &argc, argv);
    XtAddActions(actionTable, actionCount);
    XrmDatabase database = XtDatabase(XtDisplay(shell));
    XrmPutLineResource(&database, "*face:");
    XrmPutLineResource(&database, "*label.face:");
    CreateWidgets(shell, false);
    XtRealizeWidget(shell);
    XtMainLoop();
}
