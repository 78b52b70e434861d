// The event loop for the unit tests: the headless units' descriptors
// alone, or with an X server (tests/toolkit) the toolkit's whole loop.
#pragma once

#include <functional>

/// Dispatches what the loop watches until `ms` milliseconds have passed:
/// for a test that shows that nothing happens within that time.
void RunEventLoop(int ms);
/// Dispatches until `done` returns true, for at most `limitMs`; true when
/// it did.
bool RunUntil(const std::function<bool()> &done, int limitMs = 5000);
