#include "shell/place.h"

#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <new>

#include "shell/windows.h"

namespace {

bool Holds(const Area &area, int x, int y) {
    return x >= area.x && x < area.x + area.width && y >= area.y &&
           y < area.y + area.height;
}

bool UserPlaced(Widget shell) {
    String geometry = nullptr;
    Arg arg;
    XtSetArg(arg, XtNgeometry, &geometry);
    XtGetValues(shell, &arg, 1);
    int x, y;
    unsigned width, height;
    return geometry != nullptr &&
           (XParseGeometry(geometry, &x, &y, &width, &height) &
            (XValue | YValue)) != 0;
}

// RandR 1.5's monitors, as the X server's configuration names them.
bool RandrMonitors(Display *display, std::vector<Monitor> *monitors) {
    int event, error, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) ||
        !XRRQueryVersion(display, &major, &minor) || (major == 1 && minor < 5))
        return false;
    int count = 0;
    XRRMonitorInfo *found =
        XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; i < count; i++)
        monitors->push_back(
            {{found[i].x, found[i].y, found[i].width, found[i].height},
             found[i].mwidth,
             found[i].primary != False});
    if (found != nullptr)
        XRRFreeMonitors(found);
    return count > 0;
}

void XineramaHeads(Display *display, std::vector<Monitor> *monitors) {
    int count = 0;
    XineramaScreenInfo *screens = XineramaIsActive(display)
                                      ? XineramaQueryScreens(display, &count)
                                      : nullptr;
    for (int i = 0; i < count; i++)
        monitors->push_back({{screens[i].x_org, screens[i].y_org,
                              screens[i].width, screens[i].height},
                             0,
                             false});
    if (screens != nullptr)
        XFree(screens);
}

// ChooseMonitor's choice among the monitors there are now, for a window
// the user placed at (x, y) or not.
Area MonitorOf(Widget shell, bool userPlaced, int x, int y) {
    Screen *screen = XtScreen(shell);
    Area primary = {0, 0, 0, 0};
    std::vector<Area> heads;
    try {
        for (const Monitor &m : Monitors(XtDisplay(shell))) {
            heads.push_back(m.area);
            if (m.primary && primary.width == 0)
                primary = m.area;
        }
    } catch (const std::bad_alloc &) {
        heads.clear(); // the whole screen, then
    }
    return ChooseMonitor(primary, heads,
                         {0, 0, WidthOfScreen(screen), HeightOfScreen(screen)},
                         userPlaced, x, y);
}

} // namespace

std::vector<Monitor> Monitors(Display *display) {
    std::vector<Monitor> monitors;
    try {
        if (!RandrMonitors(display, &monitors)) {
            monitors.clear();
            XineramaHeads(display, &monitors);
        }
    } catch (const std::bad_alloc &) {
        monitors.clear();
    }
    return monitors;
}

Area ChooseMonitor(const Area &primary, const std::vector<Area> &heads,
                   const Area &screen, bool userPlaced, int userX, int userY) {
    if (userPlaced) {
        auto head =
            std::find_if(heads.begin(), heads.end(),
                         [&](const Area &a) { return Holds(a, userX, userY); });
        return head != heads.end() ? *head : screen;
    }
    if (primary.width > 0)
        return primary;
    return !heads.empty() ? heads.front() : screen;
}

void WindowPosition(const Area &monitor, Dimension width, Dimension height,
                    Position *x, Position *y) {
    auto s16 = [](int v) { return static_cast<short>(v); };
    *x = s16(monitor.x + s16(s16(s16(monitor.width) - s16(width)) / 2));
    *y = s16(monitor.y + s16(s16(s16(monitor.height) - s16(height)) / 3));
}

void PlaceWindow(Widget shell) {
    Dimension width = 0;
    Dimension height = 0;
    Dimension border = 0;
    Position userX = 0;
    Position userY = 0;
    Arg args[5];
    XtSetArg(args[0], XtNwidth, &width);
    XtSetArg(args[1], XtNheight, &height);
    XtSetArg(args[2], XtNborderWidth, &border);
    XtSetArg(args[3], XtNx, &userX);
    XtSetArg(args[4], XtNy, &userY);
    XtGetValues(shell, args, 5);

    bool userPlaced = UserPlaced(shell);
    Area monitor = MonitorOf(shell, userPlaced, userX, userY);
    // Heading and buttons must stay on the monitor; the list gives way.
    int roomX = monitor.width - 2 * border;
    int roomY = monitor.height - 2 * border;
    if (width > roomX || height > roomY) {
        width = std::min<int>(width, roomX);
        height = std::min<int>(height, roomY);
        XtSetArg(args[0], XtNwidth, width);
        XtSetArg(args[1], XtNheight, height);
        XtSetValues(shell, args, 2);
    }
    if (userPlaced)
        return;
    Position x;
    Position y;
    WindowPosition(monitor, width, height, &x, &y);
    // The rule leaves the border out; the whole window stays on the monitor.
    x = static_cast<Position>(std::min<int>(x, monitor.x + roomX - width));
    y = static_cast<Position>(std::min<int>(y, monitor.y + roomY - height));
    XtSetArg(args[0], XtNx, x);
    XtSetArg(args[1], XtNy, y);
    XtSetValues(shell, args, 2);
}

void CoverMonitor(Widget shell) {
    Position userX = 0;
    Position userY = 0;
    XtVaGetValues(shell, XtNx, &userX, XtNy, &userY, nullptr);
    Area monitor = MonitorOf(shell, UserPlaced(shell), userX, userY);
    XtVaSetValues(shell, XtNx, static_cast<XtArgVal>(monitor.x), XtNy,
                  static_cast<XtArgVal>(monitor.y), XtNwidth,
                  static_cast<XtArgVal>(monitor.width), XtNheight,
                  static_cast<XtArgVal>(monitor.height), XtNborderWidth,
                  XtArgVal{0}, nullptr);
}

Area WindowMonitor(Widget shell) {
    Display *display = XtDisplay(shell);
    Screen *screen = XtScreen(shell);
    Dimension width = 0;
    Dimension height = 0;
    Arg args[2];
    XtSetArg(args[0], XtNwidth, &width);
    XtSetArg(args[1], XtNheight, &height);
    XtGetValues(shell, args, 2);
    Window child;
    int x = 0;
    int y = 0;
    XTranslateCoordinates(display, XtWindow(shell), RootWindowOfScreen(screen),
                          width / 2, height / 2, &x, &y, &child);
    return MonitorOf(shell, true, x, y);
}

Area BesideList(const Area &monitor, const Area &list, const Frame &frame,
                const Area &least, int *listX) {
    int frameWidth = frame.left + frame.right;
    int frameHeight = frame.top + frame.bottom;
    int end = monitor.x + monitor.width;
    int leastWidth = std::min(least.width, monitor.width - frameWidth);
    int x = *listX = list.x;
    auto left = [&] { return x - monitor.x - frameWidth; };
    auto right = [&] { return end - (x + list.width) - frameWidth; };
    if (std::max(left(), right()) < leastWidth)
        x = *listX = 2 * list.x + list.width < 2 * monitor.x + monitor.width
                         ? monitor.x
                         : end - list.width;
    bool toRight = right() >= left();
    int room = toRight ? right() : left();
    Area login;
    login.width = std::max(leastWidth, std::min(monitor.width * 3 / 4, room));
    login.height =
        std::max(std::min(least.height, monitor.height - frameHeight),
                 monitor.height * 3 / 4);
    int outerWidth = login.width + frameWidth;
    login.x = toRight ? std::min(x + list.width, end - outerWidth)
                      : std::max(x - outerWidth, monitor.x);
    login.y = monitor.y + (monitor.height - login.height - frameHeight) / 2;
    return login;
}

Frame FrameOf(Widget shell) {
    std::vector<long> sides =
        LongProperty(XtDisplay(shell), XtWindow(shell), "_NET_FRAME_EXTENTS",
                     XA_CARDINAL, 4);
    if (sides.size() != 4)
        return {};
    return {static_cast<int>(sides[0]), static_cast<int>(sides[1]),
            static_cast<int>(sides[2]), static_cast<int>(sides[3])};
}

Area OuterArea(Widget shell, const Frame &frame) {
    Display *display = XtDisplay(shell);
    XWindowAttributes a;
    Window child;
    int x = 0;
    int y = 0;
    if (XGetWindowAttributes(display, XtWindow(shell), &a) == 0)
        return {};
    XTranslateCoordinates(display, XtWindow(shell), a.root, 0, 0, &x, &y,
                          &child);
    int border = a.border_width;
    return {x - border - frame.left, y - border - frame.top,
            a.width + 2 * border + frame.left + frame.right,
            a.height + 2 * border + frame.top + frame.bottom};
}
