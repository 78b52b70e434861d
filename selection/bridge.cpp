// One thread serves both directions, one paste at a time.  While a paste
// waits on one display, the events of either that it does not wait for are
// kept, in order, for the loop.  A wait that would last longer than
// kBridgeWaitMs gives the paste up: the pasting client is told that there
// is no text, and the text's owner is left to its own time limit.
//
// hostpick's own windows, one on each display, are the owners it takes and
// the requestors it asks from.  An owner that is hostpick's on both sides
// of a selection at once (two copies crossing) is never asked: such a
// paste is refused, and the next copy on either side sets it right.

#include "selection/bridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "selection/latin1.h"
#include "selection/nested.h"
#include "shell/warn.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kCookieName[] = "MIT-MAGIC-COOKIE-1";
constexpr std::size_t kChunkBytes =
    std::size_t{64} * 1024; // larger texts go by INCR
constexpr std::uint32_t kXFixesMajor = 5;
constexpr std::size_t kBytesPerMegabyte = std::size_t{1024} * 1024;

// The atoms each display is asked for, in this order.
enum Atom {
    kClipboard,
    kUtf8,
    kText,
    kTargets,
    kTimestamp,
    kIncr,
    kPasted, // the property a text asked for arrives in
    kAtomCount
};
constexpr const char *kAtomNames[kAtomCount] = {
    "CLIPBOARD", "UTF8_STRING",     "TEXT", "TARGETS", "TIMESTAMP",
    "INCR",      "_HOSTPICK_PASTED"};
constexpr int kSelections = 2; // PRIMARY, CLIPBOARD
constexpr std::uint32_t kOwnerChanges =
    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
    XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;

// What xcb hands over, to be freed.
template <typename Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;
using Event = Owned<xcb_generic_event_t>;

struct Side {
    xcb_connection_t *c = nullptr;
    int fd = -1;
    xcb_window_t window = XCB_NONE; ///< hostpick's, owner and requestor
    xcb_atom_t atoms[kAtomCount] = {};
    std::uint8_t firstXFixesEvent = 0;
    bool own[kSelections] = {};
    xcb_timestamp_t ownedAt[kSelections] = {};
    std::deque<Event> later; ///< events kept while a paste waited

    xcb_atom_t Selection(int i) const {
        return i == 0 ? xcb_atom_t{XCB_ATOM_PRIMARY} : atoms[kClipboard];
    }
    int SelectionIndex(xcb_atom_t selection) const {
        return selection == XCB_ATOM_PRIMARY    ? 0
               : selection == atoms[kClipboard] ? 1
                                                : -1;
    }
};

struct Bridging {
    Side sides[2]; // the desktop, the login
    std::size_t mostBytes;
    Side &Other(const Side &side) {
        return &side == &sides[0] ? sides[1] : sides[0];
    }
};

// ---- waiting, never past a deadline ----

Clock::time_point Deadline() {
    return Clock::now() + std::chrono::milliseconds(kBridgeWaitMs);
}

// Whether `fd` has something to read before `deadline` (forever without
// one); a broken connection has.
bool Readable(int fd, std::optional<Clock::time_point> deadline) {
    for (;;) {
        int ms = -1;
        if (deadline) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - Clock::now());
            ms = static_cast<int>(std::max<long long>(0, left.count() + 1));
        }
        pollfd p = {fd, POLLIN, 0};
        int n = poll(&p, 1, ms);
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// The reply to request `sequence`, or null on an error, a broken
// connection or the deadline.
template <typename Reply>
Owned<Reply> Await(Side &side, unsigned sequence,
                   std::optional<Clock::time_point> deadline) {
    xcb_flush(side.c);
    for (;;) {
        void *reply = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (xcb_poll_for_reply(side.c, sequence, &reply, &error) != 0) {
            std::free(error);
            return Owned<Reply>(static_cast<Reply *>(reply), &std::free);
        }
        if (xcb_connection_has_error(side.c) != 0 ||
            !Readable(side.fd, deadline)) {
            xcb_discard_reply(side.c, sequence);
            return Owned<Reply>(nullptr, &std::free);
        }
    }
}

// The next event of `side` that `wanted` accepts, before `deadline`; the
// others are kept for the loop.  Null at the deadline or on a broken
// connection.
Event AwaitEvent(
    Side &side, Clock::time_point deadline,
    const std::function<bool(const xcb_generic_event_t *)> &wanted) {
    xcb_flush(side.c);
    for (;;) {
        Event event(xcb_poll_for_event(side.c), &std::free);
        if (event != nullptr) {
            if (wanted(event.get()))
                return event;
            side.later.push_back(std::move(event));
            continue;
        }
        if (xcb_connection_has_error(side.c) != 0 ||
            !Readable(side.fd, deadline))
            return Event(nullptr, &std::free);
    }
}

int Kind(const xcb_generic_event_t *event) {
    return event->response_type & 0x7f;
}

// ---- the set-up of each side ----

bool SetUp(Side &side) {
    xcb_intern_atom_cookie_t asked[kAtomCount];
    for (int i = 0; i < kAtomCount; i++)
        asked[i] = xcb_intern_atom(
            side.c, 0, std::char_traits<char>::length(kAtomNames[i]),
            kAtomNames[i]);
    auto version = xcb_xfixes_query_version(side.c, kXFixesMajor, 0);
    for (int i = 0; i < kAtomCount; i++) {
        auto atom = Await<xcb_intern_atom_reply_t>(side, asked[i].sequence,
                                                   std::nullopt);
        if (atom == nullptr)
            return false;
        side.atoms[i] = atom->atom;
    }
    auto fixes = Await<xcb_xfixes_query_version_reply_t>(side, version.sequence,
                                                         std::nullopt);
    const xcb_query_extension_reply_t *extension =
        xcb_get_extension_data(side.c, &xcb_xfixes_id);
    if (fixes == nullptr || extension == nullptr || !extension->present)
        return false;
    side.firstXFixesEvent = extension->first_event;

    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(side.c)).data;
    side.window = xcb_generate_id(side.c);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(side.c, XCB_COPY_FROM_PARENT, side.window, screen->root,
                      -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    for (int i = 0; i < kSelections; i++)
        xcb_xfixes_select_selection_input(side.c, side.window,
                                          side.Selection(i), kOwnerChanges);
    return xcb_flush(side.c) > 0;
}

// ---- ownership follows the last copy ----

void Own(Side &side, int i, bool own) {
    xcb_set_selection_owner(side.c, own ? side.window : XCB_NONE,
                            side.Selection(i), XCB_CURRENT_TIME);
    side.own[i] = own;
    xcb_flush(side.c);
}

// A selection of `side` has a new owner, or none.
void OwnerChanged(Bridging &b, Side &side,
                  const xcb_xfixes_selection_notify_event_t *e) {
    int i = side.SelectionIndex(e->selection);
    if (i < 0)
        return;
    Side &other = b.Other(side);
    if (e->owner == side.window) {
        side.own[i] = true;
        side.ownedAt[i] = e->selection_timestamp;
    } else if (e->owner != XCB_NONE) {
        side.own[i] = false;
        Own(other, i, true);
    } else {
        side.own[i] = false;
        if (other.own[i])
            Own(other, i, false);
    }
}

// At the start, the desktop's selections reach the login.
void OwnWhatTheDesktopHas(Bridging &b) {
    Side &desktop = b.sides[0];
    for (int i = 0; i < kSelections; i++) {
        auto owner = Await<xcb_get_selection_owner_reply_t>(
            desktop,
            xcb_get_selection_owner(desktop.c, desktop.Selection(i)).sequence,
            Deadline());
        if (owner != nullptr && owner->owner != XCB_NONE)
            Own(b.sides[1], i, true);
    }
}

// ---- a paste: the text asked of its owner on one side ----

enum class Fetched {
    kText,
    kNone,     ///< the owner has no text to give, or none in that type
    kLate,     ///< the owner's display did not answer in time
    kTooLarge, ///< beyond the limit
};

// The property of hostpick's window that the owner wrote, taken and
// deleted; null past the deadline.
Owned<xcb_get_property_reply_t> TakeProperty(Bridging &b, Side &side) {
    std::uint32_t words = static_cast<std::uint32_t>(b.mostBytes / 4 + 1);
    return Await<xcb_get_property_reply_t>(
        side,
        xcb_get_property(side.c, 1, side.window, side.atoms[kPasted],
                         XCB_GET_PROPERTY_TYPE_ANY, 0, words)
            .sequence,
        Deadline());
}

// The chunks of an INCR transfer, each written once the last is deleted,
// until an empty one.
Fetched TakeIncrements(Bridging &b, Side &side, std::string *text) {
    for (;;) {
        Event event = AwaitEvent(side, Deadline(), [&](auto *e) {
            auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(e);
            return Kind(e) == XCB_PROPERTY_NOTIFY && p->window == side.window &&
                   p->atom == side.atoms[kPasted] &&
                   p->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (event == nullptr)
            return Fetched::kLate;
        auto chunk = TakeProperty(b, side);
        if (chunk == nullptr)
            return Fetched::kLate;
        if (chunk->type == XCB_NONE) // an old transfer's notice
            continue;
        int length = xcb_get_property_value_length(chunk.get());
        if (length == 0)
            return Fetched::kText;
        if (text->size() + length > b.mostBytes || chunk->bytes_after > 0)
            return Fetched::kTooLarge;
        text->append(
            static_cast<const char *>(xcb_get_property_value(chunk.get())),
            length);
    }
}

// The text of selection `i` of `side` in `type`.
Fetched FetchAs(Bridging &b, Side &side, int i, xcb_atom_t type,
                std::string *text) {
    xcb_delete_property(side.c, side.window, side.atoms[kPasted]);
    xcb_convert_selection(side.c, side.window, side.Selection(i), type,
                          side.atoms[kPasted], XCB_CURRENT_TIME);
    Event event = AwaitEvent(side, Deadline(), [&](auto *e) {
        auto *n = reinterpret_cast<const xcb_selection_notify_event_t *>(e);
        return Kind(e) == XCB_SELECTION_NOTIFY && n->requestor == side.window;
    });
    auto *notify =
        reinterpret_cast<const xcb_selection_notify_event_t *>(event.get());
    if (notify == nullptr)
        return Fetched::kLate;
    if (notify->property == XCB_NONE)
        return Fetched::kNone;
    auto reply = TakeProperty(b, side);
    if (reply == nullptr)
        return Fetched::kLate;
    if (reply->type == side.atoms[kIncr]) {
        auto *size = static_cast<const std::uint32_t *>(
            xcb_get_property_value(reply.get()));
        if (xcb_get_property_value_length(reply.get()) >= 4 &&
            *size > b.mostBytes)
            return Fetched::kTooLarge;
        return TakeIncrements(b, side, text);
    }
    if (reply->bytes_after > 0)
        return Fetched::kTooLarge;
    text->assign(static_cast<const char *>(xcb_get_property_value(reply.get())),
                 xcb_get_property_value_length(reply.get()));
    return Fetched::kText;
}

// The text, in UTF-8: as UTF8_STRING, else as STRING.
Fetched Fetch(Bridging &b, Side &side, int i, std::string *text) {
    Fetched fetched = FetchAs(b, side, i, side.atoms[kUtf8], text);
    if (fetched == Fetched::kNone) {
        fetched = FetchAs(b, side, i, XCB_ATOM_STRING, text);
        if (fetched == Fetched::kText)
            *text = Latin1ToUtf8(*text);
    }
    return fetched;
}

// ---- a paste: the text handed to the client that asked ----

void Answer(Side &side, const xcb_selection_request_event_t *request,
            xcb_atom_t property) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(side.c, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&notify));
    xcb_flush(side.c);
}

void Write(Side &side, xcb_window_t window, xcb_atom_t property,
           xcb_atom_t type, int format, const void *data, std::size_t units) {
    xcb_change_property(side.c, XCB_PROP_MODE_REPLACE, window, property, type,
                        format, static_cast<std::uint32_t>(units), data);
}

// A large text goes by INCR: each chunk once the client has deleted the
// last, then an empty one.  A client that stops taking them is left.
void HandOverInIncrements(Side &side,
                          const xcb_selection_request_event_t *request,
                          xcb_atom_t property, xcb_atom_t type,
                          const std::string &text) {
    std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(side.c, request->requestor, XCB_CW_EVENT_MASK,
                                 &mask);
    auto size = static_cast<std::uint32_t>(text.size());
    Write(side, request->requestor, property, side.atoms[kIncr], 32, &size, 1);
    Answer(side, request, property);
    for (std::size_t at = 0;; at += kChunkBytes) {
        Event deleted = AwaitEvent(side, Deadline(), [&](auto *e) {
            auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(e);
            return Kind(e) == XCB_PROPERTY_NOTIFY &&
                   p->window == request->requestor && p->atom == property &&
                   p->state == XCB_PROPERTY_DELETE;
        });
        if (deleted == nullptr)
            break;
        std::size_t length =
            at < text.size() ? std::min(kChunkBytes, text.size() - at) : 0;
        Write(side, request->requestor, property, type, 8,
              text.data() + std::min(at, text.size()), length);
        if (length == 0)
            break;
    }
    mask = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(side.c, request->requestor, XCB_CW_EVENT_MASK,
                                 &mask);
    xcb_flush(side.c);
}

// Tells why a paste was refused, where the person may wonder.
void TellRefused(Bridging &b, const Side &owner, Fetched fetched) {
    if (fetched == Fetched::kTooLarge)
        Warn("a paste of more than %zu MB was refused (clipboardLimit)",
             b.mostBytes / kBytesPerMegabyte);
    if (fetched == Fetched::kLate)
        Warn("a paste was refused: the %s did not answer within %d s",
             &owner == &b.sides[0] ? "desktop" : "login", kBridgeWaitMs / 1000);
}

// A client of `side` pastes a selection hostpick owns there.
void Serve(Bridging &b, Side &side,
           const xcb_selection_request_event_t *request) {
    int i = side.SelectionIndex(request->selection);
    Side &owner = b.Other(side);
    // Obsolete clients name no property: the target is the property.
    xcb_atom_t property =
        request->property != XCB_NONE ? request->property : request->target;
    const xcb_atom_t target = request->target;
    if (i >= 0 && target == side.atoms[kTargets]) {
        const xcb_atom_t targets[] = {side.atoms[kTargets],
                                      side.atoms[kTimestamp], side.atoms[kUtf8],
                                      XCB_ATOM_STRING, side.atoms[kText]};
        Write(side, request->requestor, property, XCB_ATOM_ATOM, 32, targets,
              std::size(targets));
        Answer(side, request, property);
        return;
    }
    if (i >= 0 && target == side.atoms[kTimestamp]) {
        Write(side, request->requestor, property, XCB_ATOM_INTEGER, 32,
              &side.ownedAt[i], 1);
        Answer(side, request, property);
        return;
    }
    bool asksText = target == side.atoms[kUtf8] ||
                    target == side.atoms[kText] || target == XCB_ATOM_STRING;
    std::string text;
    // Where hostpick owns the selection on both sides, there is none to ask.
    Fetched fetched = i < 0 || !asksText || owner.own[i]
                          ? Fetched::kNone
                          : Fetch(b, owner, i, &text);
    if (fetched != Fetched::kText) {
        TellRefused(b, owner, fetched);
        Answer(side, request, XCB_NONE);
        return;
    }
    xcb_atom_t type = side.atoms[kUtf8];
    if (target == XCB_ATOM_STRING) {
        text = Utf8ToLatin1(text);
        type = XCB_ATOM_STRING;
    }
    if (text.size() > kChunkBytes) {
        HandOverInIncrements(side, request, property, type, text);
    } else {
        Write(side, request->requestor, property, type, 8, text.data(),
              text.size());
        Answer(side, request, property);
    }
}

// ---- the loop ----

void Handle(Bridging &b, Side &side, const xcb_generic_event_t *event) {
    int kind = Kind(event);
    if (kind == side.firstXFixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        OwnerChanged(
            b, side,
            reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(
                event));
    } else if (kind == XCB_SELECTION_CLEAR) {
        auto *e = reinterpret_cast<const xcb_selection_clear_event_t *>(event);
        int i = side.SelectionIndex(e->selection);
        if (i >= 0)
            side.own[i] = false;
    } else if (kind == XCB_SELECTION_REQUEST) {
        Serve(b, side,
              reinterpret_cast<const xcb_selection_request_event_t *>(event));
    }
}

// The next event of `side`, kept or read; null when there is none now.
Event NextEvent(Side &side) {
    if (side.later.empty())
        return Event(xcb_poll_for_event(side.c), &std::free);
    Event event = std::move(side.later.front());
    side.later.pop_front();
    return event;
}

// Until either connection breaks.  Handling an event of one side may read
// the other's (a paste waits on it): the loop sleeps only once neither
// has one.
void Loop(Bridging &b) {
    for (;;) {
        bool handled = false;
        for (Side &side : b.sides) {
            for (Event event = NextEvent(side); event != nullptr;
                 event = NextEvent(side)) {
                Handle(b, side, event.get());
                handled = true;
            }
            if (xcb_connection_has_error(side.c) != 0)
                return;
        }
        if (handled)
            continue;
        pollfd p[2] = {{b.sides[0].fd, POLLIN, 0}, {b.sides[1].fd, POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR)
            return;
    }
}

// The thread: xcb closes both sockets, whatever happens.
void Run(xcb_connection_t *desktop, int login, std::string cookie,
         std::size_t mostBytes) noexcept {
    xcb_auth_info_t auth = {static_cast<int>(sizeof(kCookieName) - 1),
                            const_cast<char *>(kCookieName),
                            static_cast<int>(cookie.size()), cookie.data()};
    Bridging b;
    b.mostBytes = mostBytes;
    b.sides[0].c = desktop;
    b.sides[1].c = xcb_connect_to_fd(login, &auth);
    try {
        bool up = true;
        for (Side &side : b.sides) {
            side.fd = xcb_get_file_descriptor(side.c);
            up = up && xcb_connection_has_error(side.c) == 0 && SetUp(side);
        }
        if (up) {
            OwnWhatTheDesktopHas(b);
            Loop(b);
        } else if (xcb_connection_has_error(b.sides[0].c) == 0 &&
                   xcb_connection_has_error(b.sides[1].c) == 0) {
            Warn("the clipboard is not shared with a login: a display "
                 "lacks XFixes");
        }
    } catch (const std::exception &) { // no memory: the bridge ends
        Warn("the clipboard is no longer shared with a login: out of memory");
    }
    for (Side &side : b.sides) {
        side.later.clear();
        xcb_disconnect(side.c);
    }
}

void Close(int *fd) {
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

} // namespace

bool StartBridge(Bridge *bridge, const char *desktop, int number,
                 const unsigned char *cookie, std::size_t cookieBytes,
                 int megabytes) {
    xcb_connection_t *c = xcb_connect(desktop, nullptr);
    int login = ConnectDisplay(number);
    if (xcb_connection_has_error(c) == 0 && login >= 0) {
        bridge->desktop = fcntl(xcb_get_file_descriptor(c), F_DUPFD_CLOEXEC, 0);
        bridge->login = fcntl(login, F_DUPFD_CLOEXEC, 0);
        try {
            std::string bytes(reinterpret_cast<const char *>(cookie),
                              cookieBytes);
            bridge->thread = std::thread(Run, c, login, std::move(bytes),
                                         static_cast<std::size_t>(megabytes) *
                                             kBytesPerMegabyte);
            return true;
        } catch (const std::exception &) { // no thread, or no memory
        }
    }
    xcb_disconnect(c);
    if (login >= 0)
        close(login);
    EndBridge(bridge);
    Warn("the clipboard cannot be shared with display :%d", number);
    return false;
}

void EndBridge(Bridge *bridge) {
    if (bridge->thread.joinable()) {
        shutdown(bridge->login, SHUT_RDWR);
        shutdown(bridge->desktop, SHUT_RDWR);
        bridge->thread.join();
    }
    Close(&bridge->login);
    Close(&bridge->desktop);
}
