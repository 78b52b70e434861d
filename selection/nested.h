// hostpick's own connection to a nested display, to see the host's first
// window appear.  It is made only once the host's first client has its
// connection set-up (selection/link), so that it is never the session's
// first client, and it is used on a thread of its own through xcb, with
// the cookie given to that connection alone: a server that the host grabs,
// or one that accepts and never answers, holds that thread and nothing
// else, and a display that dies ends nothing but the connection.  Its owner
// ends it before it forgets it.
#pragma once

#include <cstddef>
#include <thread>

struct Watch {
    int socket = -1; ///< to the display; the thread uses a copy
    int done = -1;   ///< readable once the thread has finished
    int tell = -1;   ///< the thread's end of that pipe
    std::thread thread;
};

/// A socket connected to display `number` of this machine, at once, through
/// its socket in the file system, or else its abstract twin; non-blocking.
/// -1 when no connection can be made now.
int ConnectDisplay(int number);

/// Connects to display `number` of this machine through its local socket,
/// at once, and starts the thread, which sends the connection set-up with
/// `cookie` (an MIT-MAGIC-COOKIE-1), then waits for a top-level window to
/// be mapped.  False when no connection can be made now (the display does
/// not listen yet, or accepts no more): try again later.
bool StartWatch(Watch *watch, int number, const unsigned char *cookie,
                std::size_t cookieBytes);
/// Once `done` is readable: whether a window was mapped (false: the
/// connection was refused or broke).  Ends the watch.
bool WatchOutcome(Watch *watch);
/// Ends the watch, whatever it has come to: shuts the connection down,
/// which wakes the thread, and waits for the thread to end.
void EndWatch(Watch *watch);
