// The event loop of the X side: the application context, the descriptors
// it watches and its timers.  It knows nothing else of the program; every
// unit of the X side that waits for something includes it.  The headless
// units wait on descriptors of their own (shell/clock), which start-up
// has it watch.
#pragma once

#include <X11/Intrinsic.h>

#include "shell/clock.h"

/// The program's one application context.  Start-up sets it when it opens
/// the display; code that runs without a display (the unit tests) makes
/// one with XtCreateApplicationContext.
extern XtAppContext appContext;

/// Has the loop call `proc` with `clientData` whenever `fd` is readable.
XtInputId WatchReadable(int fd, XtInputCallbackProc proc,
                        XtPointer clientData = nullptr);

/// Has the loop call `proc` with `clientData` once, `ms` milliseconds from
/// now.
XtIntervalId StartTimer(unsigned long ms, XtTimerCallbackProc proc,
                        XtPointer clientData = nullptr);

/// Whether `descriptor` has something to read, and whether an event of the
/// window waits to be dispatched (its display's connection has something
/// to read, or Xlib holds an event read already), asked at once.
struct Waiting {
    bool readable;
    bool windowEvent;
};
Waiting WhatWaits(int descriptor);
