// Start-up of the program up to its shown window.
#pragma once

/// Start-up up to the shown window: initialises the toolkit, which takes
/// its own options and the launch settings' out of argc/argv (leaving the
/// program name and the query targets), registers the ARRAY8 converter,
/// loads the launch settings, registers the actions, creates the widgets
/// with an empty list, and places and maps the shell.  Sets topLevel.
void OpenWindow(int *argc, char **argv);
