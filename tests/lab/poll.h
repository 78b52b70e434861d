// The one way the tests wait: for what they expect, polled, with a
// generous limit, never for a fixed time.
#pragma once

#include <functional>

/// Calls `between(stepMs)` (by default, sleeps that long) until `done`
/// returns true, for at most `limitMs`; true when it did.
bool PollUntil(const std::function<bool()> &done, int limitMs, int stepMs = 10,
               void (*between)(int ms) = nullptr);
