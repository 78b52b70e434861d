#include "selection/nested.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <exception>
#include <utility>

namespace {

constexpr char kCookieName[] = "MIT-MAGIC-COOKIE-1";
constexpr char kSocketPath[] = "/tmp/.X11-unix/X%d";
constexpr char kShown = 1;
constexpr char kBroken = 0;

void Close(int *fd) {
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

} // namespace

int ConnectDisplay(int number) {
    for (bool abstract : {false, true}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        char *path = address.sun_path + (abstract ? 1 : 0);
        std::snprintf(path, sizeof(address.sun_path) - 1, kSocketPath, number);
        socklen_t length = static_cast<socklen_t>(
            offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) +
            std::char_traits<char>::length(path) + (abstract ? 0 : 1));
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return -1;
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0)
            return fd;
        close(fd);
    }
    return -1;
}

namespace {

// A window on the root that is mapped now, or one that is mapped later.
bool WindowMapped(xcb_connection_t *c) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &events);
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (tree == nullptr)
        return false;
    bool mapped = false;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    int count = xcb_query_tree_children_length(tree);
    for (int i = 0; i < count && !mapped; i++) {
        xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(
            c, xcb_get_window_attributes(c, children[i]), nullptr);
        mapped = a != nullptr && a->map_state != XCB_MAP_STATE_UNMAPPED;
        std::free(a);
    }
    std::free(tree);
    while (!mapped) {
        xcb_generic_event_t *event = xcb_wait_for_event(c);
        if (event == nullptr)
            return false;
        mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
        std::free(event);
    }
    return true;
}

// The thread: xcb closes `fd`, a copy of the watch's socket, whatever
// happens.
void Watching(int fd, std::string cookie, int tell) noexcept {
    xcb_auth_info_t auth = {static_cast<int>(sizeof(kCookieName) - 1),
                            const_cast<char *>(kCookieName),
                            static_cast<int>(cookie.size()), cookie.data()};
    xcb_connection_t *c = xcb_connect_to_fd(fd, &auth);
    char outcome =
        xcb_connection_has_error(c) == 0 && WindowMapped(c) ? kShown : kBroken;
    xcb_disconnect(c);
    while (write(tell, &outcome, 1) < 0 && errno == EINTR)
        ;
}

} // namespace

bool StartWatch(Watch *watch, int number, const unsigned char *cookie,
                std::size_t cookieBytes) {
    int pipe[2];
    watch->socket = ConnectDisplay(number);
    if (watch->socket < 0 || pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Close(&watch->socket);
        return false;
    }
    watch->done = pipe[0];
    watch->tell = pipe[1];
    int copy = fcntl(watch->socket, F_DUPFD_CLOEXEC, 0);
    try {
        if (copy >= 0) {
            std::string bytes(reinterpret_cast<const char *>(cookie),
                              cookieBytes);
            watch->thread =
                std::thread(Watching, copy, std::move(bytes), watch->tell);
            return true;
        }
    } catch (const std::exception &) { // no thread, or no memory
        close(copy);
    }
    EndWatch(watch);
    return false;
}

bool WatchOutcome(Watch *watch) {
    char outcome = kBroken;
    if (read(watch->done, &outcome, 1) != 1)
        outcome = kBroken;
    EndWatch(watch);
    return outcome == kShown;
}

void EndWatch(Watch *watch) {
    if (watch->thread.joinable()) {
        shutdown(watch->socket, SHUT_RDWR);
        watch->thread.join();
    }
    Close(&watch->socket);
    Close(&watch->done);
    Close(&watch->tell);
}
