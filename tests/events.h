// The event loop for the unit tests, with or without an X server.
#pragma once

/// Makes an application context without a display for the code under
/// test, unless it has one already.
void EnsureEventLoop();
/// Dispatches timers and input (and events, if there is a display) until
/// `ms` milliseconds have passed.
void RunEventLoop(int ms);
