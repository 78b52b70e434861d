// The clipboard across a login: text copied on the desktop can be pasted
// in the nested display, and text copied there on the desktop, for the
// selections CLIPBOARD and PRIMARY.  hostpick is a client of both displays
// and, on each, owns the selection whose owner on the other is someone
// else's, seen through XFixes as ownership changes, never asked for.
// Nothing crosses until someone pastes: then the text is asked of its
// owner on the other display and handed over, as UTF8_STRING, STRING or
// TEXT, by INCR when it is large.
//
// A bridge runs on a thread of its own, with its own xcb connections: a
// grabbed or mute display holds that thread and nothing else, and every
// wait on the side that has the text lasts at most kBridgeWaitMs, after
// which the paste is refused.  Its owner ends it before it forgets it.
#pragma once

#include <cstddef>
#include <thread>

/// How long a paste waits on either side, at each step.
constexpr int kBridgeWaitMs = 2000;

struct Bridge {
    int login = -1;   ///< a copy of the socket to the nested display
    int desktop = -1; ///< a copy of the socket to the desktop
    std::thread thread;
};

/// Connects to the desktop `desktop` (a display name) at once and to
/// display `number` of this machine with `cookie` (an MIT-MAGIC-COOKIE-1)
/// from the thread, which it starts.  A paste of more than `megabytes` is
/// refused, and told on standard error.  The bridge ends by itself when
/// either display closes its connection (a session's end resets or ends
/// the nested server, which closes every connection to it).  False, told
/// on standard error, when it cannot start.
bool StartBridge(Bridge *bridge, const char *desktop, int number,
                 const unsigned char *cookie, std::size_t cookieBytes,
                 int megabytes);
/// Ends the bridge, whatever it is doing: shuts both connections down,
/// which wakes the thread wherever it waits, and waits for it to end.
void EndBridge(Bridge *bridge);
