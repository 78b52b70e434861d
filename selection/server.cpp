#include "selection/server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/loop.h"
#include "shell/window.h"

namespace {

constexpr std::size_t kMostErrorBytes = 4096;
constexpr unsigned kXTcpPort = 6000;    // plus the display's number
constexpr unsigned kTcpEstablished = 1; // in /proc/net/tcp
// A line of /proc/net/tcp: its local port and its state.
constexpr char kTcpLine[] = " %*u: %*[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %x";
constexpr std::size_t kMostDisplayDigits = 10;
constexpr unsigned long kLookMs = 50; // for the host's connection

XtSignalId childSignal;
XIOErrorHandler passIOError;

bool Failed(int *error) {
    *error = errno;
    return false;
}

void StopWatching(int *fd, XtInputId *input) {
    if (*input != 0)
        XtRemoveInput(*input);
    *input = 0;
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// ---- the nested display ----
// It is watched through a connection of hostpick's own, with the cookie
// of its own, only until the host's first window is mapped: a server ends
// or resets only when its last client leaves, so a connection kept open
// would hide the end of the session.  And it is made only once the host
// has connected: an XDMCP server takes the first connection after the
// host's Manage for the session's own, and ends the session when that one
// closes.

// Something holds a TCP connection to the display's port (6000 + N), as
// this network namespace's tables show it: the host.
bool HostConnected(const Server &server) {
    unsigned port = kXTcpPort + std::atoi(server.display.c_str() + 1);
    bool connected = false;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        FILE *file = std::fopen(table, "re");
        if (file == nullptr)
            continue;
        char line[512];
        while (!connected && std::fgets(line, sizeof(line), file) != nullptr) {
            unsigned local = 0;
            unsigned state = 0;
            connected = std::sscanf(line, kTcpLine, &local, &state) == 2 &&
                        local == port && state == kTcpEstablished;
        }
        std::fclose(file);
    }
    return connected;
}

// A nested display that breaks is told when its server is reaped; the
// window's own display keeps Xlib's handling.
int QuietIOError(Display *display) {
    return display == XtDisplay(topLevel) ? passIOError(display) : 0;
}

void Broken(Display *, void *clientData) {
    static_cast<Server *>(clientData)->broken = true;
}

bool HasMappedWindow(Display *display) {
    Window root;
    Window parent;
    Window *children = nullptr;
    unsigned count = 0;
    bool mapped = false;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent,
                   &children, &count) != 0) {
        for (unsigned i = 0; i < count && !mapped; i++) {
            XWindowAttributes a;
            mapped = XGetWindowAttributes(display, children[i], &a) != 0 &&
                     a.map_state != IsUnmapped;
        }
    }
    if (children != nullptr)
        XFree(children);
    return mapped;
}

void Appeared(Server *s) {
    StopLooking(s);
    s->appeared(s);
}

void NestedEvents(XtPointer clientData, int *, XtInputId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    while (!s->broken && XPending(s->nested) > 0) {
        XEvent event;
        XNextEvent(s->nested, &event);
        if (event.type == MapNotify) {
            Appeared(s);
            return;
        }
    }
    if (s->broken)
        StopLooking(s);
}

void Look(XtPointer clientData, XtIntervalId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    s->lookTimer = 0;
    if (!s->looking)
        return;
    if (HostConnected(*s)) {
        XSetAuthorization(const_cast<char *>(kCookieName),
                          sizeof(kCookieName) - 1,
                          reinterpret_cast<char *>(s->cookie), kCookieBytes);
        s->nested = XOpenDisplay(s->display.c_str());
        XSetAuthorization(nullptr, 0, nullptr, 0);
    }
    if (s->nested == nullptr) {
        s->lookTimer = StartTimer(kLookMs, Look, s);
        return;
    }
    XSetIOErrorExitHandler(s->nested, Broken, s);
    XSelectInput(s->nested, DefaultRootWindow(s->nested),
                 SubstructureNotifyMask);
    if (HasMappedWindow(s->nested)) {
        Appeared(s);
        return;
    }
    s->nestedInput =
        WatchReadable(ConnectionNumber(s->nested), NestedEvents, s);
    XFlush(s->nested);
}

// The server writes its display number and a newline once it listens.
void DisplayNumber(XtPointer clientData, int *fd, XtInputId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    char bytes[32];
    ssize_t n = read(*fd, bytes, sizeof(bytes));
    if (n < 0 && errno == EAGAIN)
        return;
    for (ssize_t i = 0; i < n; i++)
        if (bytes[i] >= '0' && bytes[i] <= '9' &&
            s->display.size() <= kMostDisplayDigits)
            s->display += s->display.empty() ? std::string(":") + bytes[i]
                                             : std::string(1, bytes[i]);
    if (n > 0 && std::memchr(bytes, '\n', n) == nullptr)
        return;
    StopWatching(&s->displayFd, &s->displayInput);
    s->looking = !s->display.empty();
    Look(s, nullptr);
}

void ErrorOutput(XtPointer clientData, int *fd, XtInputId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    char bytes[1024];
    ssize_t n;
    while ((n = read(*fd, bytes, sizeof(bytes))) > 0) {
        s->errors.append(bytes, n);
        if (s->errors.size() > kMostErrorBytes)
            s->errors.erase(0, s->errors.size() - kMostErrorBytes);
    }
    if (n == 0 || (n < 0 && errno != EAGAIN))
        StopWatching(&s->errorFd, &s->errorInput);
}

void NoteChild(int) {
    XtNoticeSignal(childSignal);
}

} // namespace

bool StartServer(Server *server, const std::vector<std::string> &words,
                 int *error) {
    if (words.empty()) {
        *error = ENOENT;
        return false;
    }
    int number[2];
    int errors[2];
    if (pipe2(number, O_CLOEXEC) != 0)
        return Failed(error);
    if (pipe2(errors, O_CLOEXEC) != 0) {
        close(number[0]);
        close(number[1]);
        return Failed(error);
    }
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (const std::string &w : words)
        argv.push_back(const_cast<char *>(w.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_adddup2(&actions, number[1], kDisplayFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, kDisplayFd + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSID);
    *error = posix_spawnp(&server->pid, argv[0], &actions, &attributes,
                          argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(number[1]);
    close(errors[1]);
    if (*error != 0) {
        close(number[0]);
        close(errors[0]);
        return false;
    }
    server->displayFd = number[0];
    server->errorFd = errors[0];
    fcntl(server->displayFd, F_SETFL, O_NONBLOCK);
    fcntl(server->errorFd, F_SETFL, O_NONBLOCK);
    server->displayInput =
        WatchReadable(server->displayFd, DisplayNumber, server);
    server->errorInput = WatchReadable(server->errorFd, ErrorOutput, server);
    return true;
}

void StopReading(Server *server) {
    StopLooking(server);
    if (server->errorFd >= 0)
        ErrorOutput(server, &server->errorFd, nullptr);
    StopWatching(&server->errorFd, &server->errorInput);
    StopWatching(&server->displayFd, &server->displayInput);
}

// Xephyr's fatal errors end in lines that only point at its log.
std::string LastWords(const Server &server) {
    const std::string &errors = server.errors;
    std::size_t end = errors.size();
    while (end > 0) {
        std::size_t start = errors.rfind('\n', end - 1);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = errors.substr(start, end - start);
        end = start > 0 ? start - 1 : 0;
        if (line.rfind("(EE)", 0) == 0)
            line.erase(0, 4);
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t\r\n") + 1);
        bool says =
            line.find_first_of(
                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") !=
            std::string::npos;
        if (says && line.rfind("Please consult", 0) != 0 &&
            line.rfind("Server terminated", 0) != 0 &&
            line.rfind("Fatal server error", 0) != 0)
            return line;
        if (start == 0)
            break;
    }
    return "";
}

void StopLooking(Server *server) {
    server->looking = false;
    if (server->nestedInput != 0)
        XtRemoveInput(server->nestedInput);
    server->nestedInput = 0;
    if (server->lookTimer != 0)
        XtRemoveTimeOut(server->lookTimer);
    server->lookTimer = 0;
    if (server->nested != nullptr)
        XCloseDisplay(server->nested);
    server->nested = nullptr;
}

void WatchServers(XtSignalCallbackProc exited) {
    childSignal = XtAppAddSignal(appContext, exited, nullptr);
    passIOError = XSetIOErrorHandler(QuietIOError);
    struct sigaction action {};
    action.sa_handler = NoteChild;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
}
