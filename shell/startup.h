// Start-up of the program up to its shown window.
#pragma once

#include <X11/Intrinsic.h>

/// The application context of the program's one event loop; every input,
/// timer and action is registered with it.
extern XtAppContext appContext;

/// Has the event loop call `proc` whenever `fd` is readable.
XtInputId WatchReadable(int fd, XtInputCallbackProc proc);

/// Start-up up to the shown window: sets the locale, initialises the
/// toolkit, which takes its own options and the launch settings' out of
/// argc/argv (leaving the program name and the query targets), registers
/// the ARRAY8 converter, loads the launch settings, registers the actions,
/// creates the widgets with an empty list, and places, maps and flushes the
/// shell.  Sets appContext and topLevel.
void OpenWindow(int *argc, char **argv);
