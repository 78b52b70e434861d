#include "shell/windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <string>
#include <vector>

namespace {

constexpr long kMostWindows = 65536;

// The property's items, where it has the type and the format asked for.
template <typename Item>
std::vector<Item> Items(Display *display, Window window, const char *name,
                        Atom type, int format, long most) {
    Atom property = XInternAtom(display, name, True);
    Atom got = None;
    int gotFormat = 0;
    unsigned long count = 0;
    unsigned long after;
    unsigned char *data = nullptr;
    std::vector<Item> items;
    if (property != None &&
        XGetWindowProperty(display, window, property, 0, most, False, type,
                           &got, &gotFormat, &count, &after,
                           &data) == Success &&
        got == type && gotFormat == format) {
        const auto *first = reinterpret_cast<const Item *>(data);
        items.assign(first, first + count);
    }
    if (data != nullptr)
        XFree(data);
    return items;
}

// The window manager's client list, else the root's children.
std::vector<Window> TopLevels(Display *display) {
    Window root = DefaultRootWindow(display);
    std::vector<long> clients = LongProperty(display, root, "_NET_CLIENT_LIST",
                                             XA_WINDOW, kMostWindows);
    std::vector<Window> windows(clients.begin(), clients.end());
    Window parent;
    Window *children = nullptr;
    unsigned n = 0;
    if (windows.empty() &&
        XQueryTree(display, root, &root, &parent, &children, &n) != 0 &&
        children != nullptr)
        windows.assign(children, children + n);
    if (children != nullptr)
        XFree(children);
    return windows;
}

// The process of the client that made `window`, or -1 where the server
// cannot say.
pid_t OwnerOf(Display *display, Window window) {
    XResClientIdSpec asked = {window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue *ids = nullptr;
    pid_t pid = -1;
    if (XResQueryClientIds(display, 1, &asked, &count, &ids) == Success) {
        for (long i = 0; i < count && pid < 0; i++)
            if (XResGetClientIdType(&ids[i]) == XRES_CLIENT_ID_PID)
                pid = XResGetClientPid(&ids[i]);
        XResClientIdsDestroy(count, ids);
    }
    return pid;
}

bool Titled(Display *display, Window window, const std::string &title) {
    char *name = nullptr;
    bool titled = XFetchName(display, window, &name) != 0 && name != nullptr &&
                  title == name;
    if (name != nullptr)
        XFree(name);
    return titled;
}

} // namespace

std::vector<long> LongProperty(Display *display, Window window,
                               const char *name, Atom type, long most) {
    return Items<long>(display, window, name, type, 32, most);
}

std::string StringProperty(Display *display, Window window, const char *name,
                           long most) {
    std::vector<char> bytes =
        Items<char>(display, window, name, XA_STRING, 8, most);
    return {bytes.begin(), bytes.end()};
}

Window FindTopLevel(Display *display, pid_t pid, const std::string &title) {
    int event;
    int error;
    bool owners = XResQueryExtension(display, &event, &error) != 0;
    std::vector<Window> windows = TopLevels(display);
    for (Window w : windows)
        if (owners && OwnerOf(display, w) == pid)
            return w;
    for (Window w : windows)
        if (Titled(display, w, title))
            return w;
    return None;
}

void NameWindow(Display *display, Window window, const char *title,
                const char *instance, const char *className) {
    char *texts[] = {const_cast<char *>(title)};
    XTextProperty text;
    if (XmbTextListToTextProperty(display, texts, 1, XStdICCTextStyle, &text) >=
        Success) {
        XSetWMName(display, window, &text);
        XFree(text.value);
    }
    if (XmbTextListToTextProperty(display, texts, 1, XUTF8StringStyle, &text) >=
        Success) {
        XChangeProperty(display, window,
                        XInternAtom(display, "_NET_WM_NAME", False),
                        text.encoding, 8, PropModeReplace, text.value,
                        static_cast<int>(text.nitems));
        XFree(text.value);
    }
    if (instance != nullptr) {
        XClassHint hint = {const_cast<char *>(instance),
                           const_cast<char *>(className)};
        XSetClassHint(display, window, &hint);
    }
}

void BringToFront(Display *display, Window window, Window ours) {
    XRaiseWindow(display, window);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type =
        XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1; // from an application
    event.xclient.data.l[1] = CurrentTime;
    event.xclient.data.l[2] = static_cast<long>(ours);
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}
