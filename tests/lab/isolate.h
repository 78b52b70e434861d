// Puts the calling process in a network namespace of its own whose only
// interface is a loopback that is up.  Whatever the process then sends,
// "BROADCAST" included, never leaves it.  Its name look-ups stay inside as
// well: it sees a hosts file of its own (127.0.0.1 is "localhost", and
// 127.0.0.2 and 127.0.0.3 are both "twin") and an
// nsswitch.conf that asks nothing but that file, as `ip netns exec` gives a
// namespace its /etc/netns files.  Without root it first enters a user
// namespace of its own, in which it may do all of that.
#pragma once

/// Returns 1 when the process is isolated; prints why and returns 0 if not.
int IsolateNetwork();
