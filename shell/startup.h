// Start-up of the program up to its shown window, where every unit is
// wired to the others.
#pragma once

#include <X11/Intrinsic.h>

/// The actions of selection/actions and selection/moves, under their own
/// names.
constexpr Cardinal kActionCount = 12;
extern XtActionsRec actionTable[kActionCount];

/// Start-up up to the shown window: ignores SIGPIPE, sets the locale,
/// initialises the toolkit, which takes its own options and the launch
/// settings' out of argc/argv (leaving the program name and the query
/// targets), registers the ARRAY8 converter, loads the launch settings,
/// registers the actions, creates the widgets with an empty list, and
/// places, maps and flushes the shell.  Sets appContext and topLevel.
void OpenWindow(int *argc, char **argv);
