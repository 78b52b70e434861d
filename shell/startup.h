// Start-up of the program up to its shown window, where every unit is
// wired to the others.
#pragma once

#include <X11/Intrinsic.h>

/// The actions of selection/actions and selection/moves, under their own
/// names.
extern XtActionsRec actionTable[];
extern const Cardinal actionCount;

/// Start-up up to the shown window, with an empty list: the toolkit takes
/// its own options and the launch settings' out of argc/argv, leaving the
/// program name and the query targets, and every unit is wired to the
/// others.  Sets appContext and topLevel.  False, with no window shown,
/// when a word left begins with "-" (shell/usage): an unknown option.
bool OpenWindow(int *argc, char **argv);
