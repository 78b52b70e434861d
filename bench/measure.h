// What the benchmarks measure with: the clock, and the CPU time the test's
// X server has spent.
#pragma once

/// Nanoseconds on the monotonic clock.
long long NowNs();
/// CPU time of the X server named by $XVFB_PID, over all its threads; 0
/// when it cannot be read.
long long XServerCpuNs();
