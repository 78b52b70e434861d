// Puts the calling process in a network namespace of its own whose only
// interface is a loopback that is up.  Whatever the process then sends,
// "BROADCAST" included, never leaves it.  Needs root.
#pragma once

/// Returns 1 when the process is isolated; prints why and returns 0 if not.
int IsolateNetwork();
