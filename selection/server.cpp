#include "selection/server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "selection/link.h"
#include "shell/loop.h"
#include "shell/warn.h"

namespace {

constexpr std::size_t kMostErrorBytes = 4096;
constexpr unsigned kXTcpPort = 6000; // plus the display's number
constexpr std::size_t kMostDisplayDigits = 10;
constexpr unsigned long kLookMs = 50; // for the host's progress

XtSignalId childSignal;
bool unmeasuredTold;

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

// ---- the host's progress ----
// hostpick connects to the display only once the host's first client has
// its set-up: an XDMCP server takes the first client to complete its
// set-up after the host's Manage for the session's own, and ends the
// session when that one leaves, whatever other clients it has (a reset
// closes them all).  The watch's connection lasts only until the host's
// first window is mapped: it has nothing more to see.

void Shown(Server *s) {
    StopLooking(s);
    s->shown(s);
}

void Connected(Server *s) {
    s->connected = true;
    s->hostConnected(s);
}

void Watched(XtPointer clientData, int *, XtInputId *) noexcept;

// Without the kernel's count of bytes sent, an established connection is
// all that can be known, and it counts for both moments.
void Look(XtPointer clientData, XtIntervalId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    s->lookTimer = 0;
    if (!s->looking)
        return;
    Link link = HostLink(kXTcpPort + std::atoi(s->display.c_str() + 1));
    if (link == Link::kUnmeasured) {
        if (!unmeasuredTold)
            Warn("this kernel does not say what a connection was sent: "
                 "hostpick takes a host's connection for its login, and "
                 "never connects to a nested display");
        unmeasuredTold = true;
        Connected(s);
        Shown(s);
        return;
    }
    if (link == Link::kConnected && !s->connected)
        Connected(s);
    if (s->connected && StartWatch(&s->watch, std::atoi(s->display.c_str() + 1),
                                   s->cookie, kCookieBytes)) {
        s->watchInput = WatchReadable(s->watch.done, Watched, s);
        return;
    }
    s->lookTimer = StartTimer(kLookMs, Look, s);
}

// A connection refused or broken is made again, until the session is
// given up or its server ends.
void Watched(XtPointer clientData, int *, XtInputId *) noexcept {
    auto *s = static_cast<Server *>(clientData);
    XtRemoveInput(s->watchInput);
    s->watchInput = 0;
    if (WatchOutcome(&s->watch))
        Shown(s);
    else if (s->looking)
        s->lookTimer = StartTimer(kLookMs, Look, s);
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
    if (server->watchInput != 0)
        XtRemoveInput(server->watchInput);
    server->watchInput = 0;
    if (server->lookTimer != 0)
        XtRemoveTimeOut(server->lookTimer);
    server->lookTimer = 0;
    EndWatch(&server->watch);
}

void WatchServers(XtSignalCallbackProc exited) {
    childSignal = XtAppAddSignal(appContext, exited, nullptr);
    struct sigaction action {};
    action.sa_handler = NoteChild;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, nullptr);
}
