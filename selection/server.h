// A nested X server, for the session mode: its process, started without a
// shell with an authorization file of its own and no descriptor of
// hostpick's; its display number and last words, read as they come; and
// the host's progress on its display, in two moments: *connected*, when
// the host's first client has had its connection set-up (selection/link,
// without an X connection), and *shown*, when a window of the host's is
// mapped (selection/nested, off the event loop).  Nothing here waits on the
// server.
#pragma once

#include <X11/Intrinsic.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "selection/nested.h"

constexpr int kDisplayFd = 3;    ///< where the server says its display number
constexpr int kCookieBytes = 16; ///< of an MIT-MAGIC-COOKIE-1
constexpr char kCookieName[] = "MIT-MAGIC-COOKIE-1";

/// One server.  Its owner keeps the record in place while the server
/// runs: the loop's callbacks hold its address.
struct Server {
    pid_t pid = -1;
    std::string authFile;
    std::string authFolder; ///< made for the file alone; empty if shared
    unsigned char cookie[kCookieBytes];
    int displayFd = -1;
    XtInputId displayInput = 0;
    std::string display; ///< ":N", once the server has said N
    int errorFd = -1;    ///< its standard error
    XtInputId errorInput = 0;
    std::string errors; ///< the last 4096 bytes of it
    XtIntervalId lookTimer = 0;
    bool looking = false;   ///< for the host's progress
    bool connected = false; ///< the host's first client has its set-up
    Watch watch;            ///< of the display, once connected
    XtInputId watchInput = 0;
    /// Called once each, when the host is connected and when its window is
    /// shown, in that order; both at once where the kernel cannot tell
    /// (and then hostpick never connects to the display).
    void (*hostConnected)(Server *server);
    void (*shown)(Server *server);
    void *owner; ///< for the two
};

/// Starts `words`, the first of them looked up in $PATH, with /dev/null
/// for input and output, its standard error and descriptor kDisplayFd read
/// by the loop, no other descriptor, SIGPIPE's default action, and a
/// session of its own (its process group's number is its PID); then
/// follows the host on its display.  False, with the error number in
/// `*error`, when it could not start.
bool StartServer(Server *server, const std::vector<std::string> &words,
                 int *error);
/// Stops following the host, and ends the watch of its display.
void StopLooking(Server *server);
/// Stops reading its descriptors, having read what its standard error
/// holds.
void StopReading(Server *server);
/// The last line of its standard error that says something, its log's
/// "(EE)" mark taken off; empty when none does.
std::string LastWords(const Server &server);

/// Has the loop call `exited` when a child process has exited, where the
/// caller reaps its own.
void WatchServers(XtSignalCallbackProc exited);
