// The unit tests' toolkit: one real application shell on the test's X
// server with the program's own widget tree, and helpers that run its
// event loop.
#pragma once

#include <X11/Intrinsic.h>

#include "tests/events.h"

/// Opens the display named by $DISPLAY and builds the widget tree once;
/// later calls do nothing.  Fails the test when there is no X server.
void EnsureToolkit();
/// Runs the event loop until no entry waits for its name look-up (at most
/// 2 s), then hands the widget the lines, as the event loop would soon.
void SettleHosts();
/// The lines the list widget shows now.
int ListLineCount();
const char *ListLine(int i);
