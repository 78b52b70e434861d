// The clock and the timers of the units that run without an X server.
// A headless unit that waits owns a timer descriptor of its own; the
// event loop (shell/loop) watches it and calls the unit back when it is
// readable, so that no headless unit needs the toolkit.
#pragma once

/// Milliseconds on a clock that never goes back (CLOCK_MONOTONIC).
long NowMs();

/// A new timer descriptor (close-on-exec, non-blocking), disarmed; -1 when
/// none can be had.
int OpenTimer();
/// Makes `timer` readable `ms` milliseconds from now, at once for 0 or
/// less, replacing any earlier setting.
void ArmTimer(int timer, long ms);
/// Reads what made `timer` readable, so that it is no longer.
void DrainTimer(int timer);
