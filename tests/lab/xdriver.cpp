#include "tests/lab/xdriver.h"

#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "tests/lab/poll.h"

namespace {

constexpr char kTestFont[] = "fixed";

// xdotool's --sync waits for the pointer to move, for 15 s when it is
// already in place; every move therefore starts from the screen's corner.
constexpr char kMoveTo[] = "xdotool mousemove 0 0 mousemove --sync --window ";

void Run(const std::string &command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        std::fprintf(stderr, "xdriver: failed: %s\n", command.c_str());
}

std::vector<Window> Children(Display *d, Window w) {
    Window root;
    Window parent;
    Window *children = nullptr;
    unsigned n = 0;
    std::vector<Window> all;
    if (XQueryTree(d, w, &root, &parent, &children, &n) != 0) {
        all.assign(children, children + n);
        XFree(children);
    }
    return all;
}

// The window's pixels, line by line; none when it cannot be read.
std::vector<unsigned long> Pixels(Display *d, Window w, const Geometry &g) {
    std::vector<unsigned long> pixels;
    XImage *image =
        XGetImage(d, w, 0, 0, g.width, g.height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return pixels;
    for (int y = 0; y < g.height; y++)
        for (int x = 0; x < g.width; x++)
            pixels.push_back(XGetPixel(image, x, y));
    XDestroyImage(image);
    return pixels;
}

// The viewport's window onto the list, which is the list window's parent.
Window Clip(Display *display, Window list) {
    Window root;
    Window clip;
    Window *children = nullptr;
    unsigned n = 0;
    XQueryTree(display, list, &root, &clip, &children, &n);
    if (children != nullptr)
        XFree(children);
    return clip;
}

} // namespace

std::vector<std::string> TestResources(const std::string &title) {
    return {"-title", title,
            "-xrm",   "*list.face:",
            "-xrm",   "*list.international: false",
            "-xrm",   std::string("*list.font: ") + kTestFont,
            "-xrm",   "*list.rowSpacing: 0",
            "-xrm",   "*list.internalHeight: 0"};
}

XDriver::XDriver() : display_(XOpenDisplay(nullptr)) {}

XDriver::~XDriver() {
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

Window XDriver::WaitForWindow(const std::string &title, int ms) {
    if (display_ == nullptr)
        return 0;
    Window found = 0;
    // A window manager's frames hold the top-level windows a level or two
    // down.
    std::function<void(Window, int)> look = [&](Window w, int depth) {
        char *name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display_, w, &name) != 0 && name != nullptr) {
            bool match = title == name;
            XFree(name);
            if (match && XGetWindowAttributes(display_, w, &a) != 0 &&
                a.map_state == IsViewable)
                found = w;
        }
        if (depth < 3 && found == 0)
            for (Window c : Children(display_, w))
                look(c, depth + 1);
    };
    PollUntil(
        [&] {
            for (Window w : Children(display_, DefaultRootWindow(display_)))
                look(w, 1);
            return found != 0;
        },
        ms, 20);
    return found;
}

// The widget tree is shell, paned, viewport, clip, list: the list's window
// is the only one four levels below the shell's.
Window XDriver::ListWindow(Window top) {
    std::function<Window(Window, int)> find = [&](Window w,
                                                  int depth) -> Window {
        if (depth == 4)
            return w;
        for (Window c : Children(display_, w))
            if (Window found = find(c, depth + 1))
                return found;
        return 0;
    };
    return find(top, 0);
}

Geometry XDriver::GeometryOf(Window w) {
    Window root;
    int x;
    int y;
    unsigned width;
    unsigned height;
    unsigned border;
    unsigned depth;
    XGetGeometry(display_, w, &root, &x, &y, &width, &height, &border, &depth);
    Window child;
    int rx;
    int ry;
    XTranslateCoordinates(display_, w, root, 0, 0, &rx, &ry, &child);
    return {rx - static_cast<int>(border), ry - static_cast<int>(border),
            static_cast<int>(width), static_cast<int>(height),
            static_cast<int>(border)};
}

int XDriver::RowHeight() {
    XFontStruct *font = XLoadQueryFont(display_, kTestFont);
    int h = font->max_bounds.ascent + font->max_bounds.descent;
    XFreeFont(display_, font);
    return h;
}

void XDriver::ClickRow(Window top, int row, int count) {
    Window list = ListWindow(top);
    int y = row * RowHeight() + RowHeight() / 2;
    Run(kMoveTo + std::to_string(list) + " 20 " + std::to_string(y) +
        " click --repeat " + std::to_string(count) + " --delay 60 1");
}

// The box is the pane with three children, the buttons cancel, accept and
// ping from left to right.
const std::vector<std::string> buttonOrder = {"Cancel", "Accept", "Ping"};

std::vector<Window> XDriver::Buttons(Window top) {
    std::vector<Window> buttons;
    for (Window pane : Children(display_, Children(display_, top).at(0)))
        if (Children(display_, pane).size() == buttonOrder.size())
            buttons = Children(display_, pane);
    std::sort(buttons.begin(), buttons.end(), [&](Window a, Window b) {
        return GeometryOf(a).x < GeometryOf(b).x;
    });
    return buttons;
}

void XDriver::ClickButton(Window top, const std::string &label, int holdMs) {
    size_t index = std::find(buttonOrder.begin(), buttonOrder.end(), label) -
                   buttonOrder.begin();
    std::vector<Window> buttons = Buttons(top);
    Geometry g = GeometryOf(buttons.at(index));
    Run(kMoveTo + std::to_string(buttons[index]) + " " +
        std::to_string(g.width / 2) + " " + std::to_string(g.height / 2) +
        " mousedown 1 sleep " + std::to_string(holdMs / 1000.0) + " mouseup 1");
}

void XDriver::Key(Window top, const std::string &key) {
    Window list = ListWindow(top);
    Run(kMoveTo + std::to_string(list) + " 5 5 key " + key);
}

void XDriver::KeysOutside(const std::string &keys) {
    Run("xdotool mousemove 0 0 key --delay 80 " + keys);
}

void XDriver::TypeOutside(const std::string &text) {
    Run("xdotool mousemove 0 0 type --delay 80 '" + text + "'");
}

void XDriver::ClickAgain() {
    Run("xdotool click 1");
}

bool XDriver::ClickHighlightedLine(Window top) {
    Window clip = Clip(display_, ListWindow(top));
    Geometry g = GeometryOf(clip);
    std::vector<unsigned long> pixels = Pixels(display_, clip, g);
    // The scan line with the longest dark run, and that run's middle; some
    // scan line of a highlighted line holds its text, light inside the dark.
    unsigned long dark = BlackPixel(display_, DefaultScreen(display_));
    int bestY = -1, bestCount = 0, bestX = 0;
    bool text = false;
    for (int y = 0; y < g.height && !pixels.empty(); y++) {
        auto line = pixels.begin() + y * g.width;
        auto first = std::find(line, line + g.width, dark);
        auto last = std::find(std::make_reverse_iterator(line + g.width),
                              std::make_reverse_iterator(line), dark);
        int count = static_cast<int>(std::count(line, line + g.width, dark));
        if (count >= g.width / 4 && count < last.base() - first)
            text = true;
        for (int x = 0, run = 0; x < g.width; x++) {
            run = line[x] == dark ? run + 1 : 0;
            if (run > bestCount) {
                bestCount = run;
                bestY = y;
                bestX = x - run / 2;
            }
        }
    }
    if (bestCount < g.width / 4 || !text)
        return false;
    Run(kMoveTo + std::to_string(clip) + " " + std::to_string(bestX) + " " +
        std::to_string(bestY) + " click 1");
    return true;
}

void XDriver::CloseWindow(Window top) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = top;
    close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, top, False, NoEventMask, &close);
    XFlush(display_);
}

std::vector<unsigned long> XDriver::HeadingImage(Window top, Geometry *g) {
    std::vector<Window> panes =
        Children(display_, Children(display_, top).at(0));
    // The paned widget's grips are input-only: they have no pixels.
    std::erase_if(panes, [&](Window w) {
        XWindowAttributes a;
        return XGetWindowAttributes(display_, w, &a) == 0 ||
               a.c_class == InputOnly;
    });
    Window heading =
        *std::min_element(panes.begin(), panes.end(), [&](Window a, Window b) {
            return GeometryOf(a).y < GeometryOf(b).y;
        });
    Geometry geometry = GeometryOf(heading);
    if (g != nullptr)
        *g = geometry;
    return Pixels(display_, heading, geometry);
}

std::vector<unsigned long> XDriver::DrawnHeading(Window top, int ms) {
    std::vector<unsigned long> heading;
    PollUntil(
        [&] {
            heading = HeadingImage(top);
            return std::set<unsigned long>(heading.begin(), heading.end())
                       .size() > 1;
        },
        ms, 50);
    return heading;
}

std::vector<unsigned long> XDriver::ListImage(Window top) {
    Window clip = Clip(display_, ListWindow(top));
    return Pixels(display_, clip, GeometryOf(clip));
}

// The background is the commonest pixel: rows are drawn on it.
int XDriver::DrawnRows(Window top) {
    Window clip = ListView(top);
    Geometry g = GeometryOf(clip);
    std::vector<unsigned long> pixels = Pixels(display_, clip, g);
    std::map<unsigned long, int> counts;
    for (unsigned long pixel : pixels)
        counts[pixel]++;
    if (counts.empty())
        return 0;
    unsigned long background =
        std::max_element(
            counts.begin(), counts.end(),
            [](const auto &a, const auto &b) { return a.second < b.second; })
            ->first;
    int height = RowHeight();
    int rows = 0;
    for (; (rows + 1) * height <= g.height; rows++) {
        auto band = pixels.begin() + static_cast<long>(rows) * height * g.width;
        if (std::all_of(band, band + static_cast<long>(height) * g.width,
                        [&](unsigned long p) { return p == background; }))
            break;
    }
    return rows;
}

std::vector<unsigned long> XDriver::WindowImage(Window w) {
    return Pixels(display_, w, GeometryOf(w));
}

Window XDriver::ListView(Window top) {
    return Clip(display_, ListWindow(top));
}

void XDriver::ClickAt(Window w, int x, int y) {
    Run(kMoveTo + std::to_string(w) + " " + std::to_string(x) + " " +
        std::to_string(y) + " click 1");
}

void XDriver::Screenshot(const std::string &path) {
    Run("import -window root " + path);
}
