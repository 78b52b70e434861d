// A nested X server, for the session mode: its process, started without a
// shell with an authorization file of its own and no descriptor of
// hostpick's; its display number and last words, read as they come; and
// its display, watched until the host's first window appears; all from the
// event loop.
#pragma once

#include <X11/Intrinsic.h>
#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

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
    std::string errors;        ///< the last 4096 bytes of it
    Display *nested = nullptr; ///< hostpick's connection to its display
    bool broken = false;       ///< that connection broke
    XtInputId nestedInput = 0;
    XtIntervalId lookTimer = 0;
    bool looking = false; ///< for the host's first window
    /// Called once, when a window of the host's appears on the display.
    void (*appeared)(Server *server);
    void *owner; ///< for `appeared`
};

/// Starts `words`, the first of them looked up in $PATH, with /dev/null
/// for input and output, its standard error and descriptor kDisplayFd read
/// by the loop, no other descriptor, SIGPIPE's default action, and a
/// session of its own; then looks for the host's first window on its
/// display.  False, with the error number in `*error`, when it could not
/// start.
bool StartServer(Server *server, const std::vector<std::string> &words,
                 int *error);
/// Stops looking for the host's window, and closes the connection.
void StopLooking(Server *server);
/// Stops reading its descriptors, having read what its standard error
/// holds.
void StopReading(Server *server);
/// The last line of its standard error that says something, its log's
/// "(EE)" mark taken off; empty when none does.
std::string LastWords(const Server &server);

/// Has the loop call `exited` when a child process has exited, where the
/// caller reaps its own; a nested display that breaks is no reason to exit.
void WatchServers(XtSignalCallbackProc exited);
