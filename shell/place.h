// Where the window goes: on one monitor, centred, with a third of the free
// height above it.  The choice of monitor and the arithmetic are plain
// functions; PlaceWindow asks the X server for its monitors.
#pragma once

#include <X11/Intrinsic.h>

#include <vector>

/// A rectangle of the screen, such as one monitor.
struct Area {
    int x;
    int y;
    int width;
    int height;
};

/// A monitor as the X server reports it.
struct Monitor {
    Area area;
    int widthMm;  ///< its width in millimetres; 0 where not known
    bool primary; ///< the one the configuration names primary
};

/// The one query for monitors, of placement and of the scale: RandR 1.5's
/// monitors, else (where RandR 1.5 is missing or reports none) Xinerama's
/// heads, none primary and of no known size; none where neither is there,
/// or memory runs out.
std::vector<Monitor> Monitors(Display *display);

/// The monitor for the window.  When the user gave a position, the one of
/// `heads` that holds it.  Otherwise `primary`, the primary monitor, when
/// the server names one (width 0 when not), else the first of `heads`.
/// The whole `screen` when none of these is there.
Area ChooseMonitor(const Area &primary, const std::vector<Area> &heads,
                   const Area &screen, bool userPlaced, int userX, int userY);

/// Where a window of the given size goes on `monitor`: centred
/// horizontally, a third of the free height above it.  Computed in signed
/// 16-bit arithmetic, so a window larger than the monitor gets a position
/// before its corner.
void WindowPosition(const Area &monitor, Dimension width, Dimension height,
                    Position *x, Position *y);

/// Fits the realised but unmapped shell to its monitor (ChooseMonitor, of
/// the Monitors), shrinking it (the
/// list scrolls) where it is larger, and moves it to WindowPosition on that
/// monitor unless the user gave a position (-geometry +x+y, or a geometry
/// resource).
void PlaceWindow(Widget shell);
/// A station's: the shell covers its monitor (the one a position given is
/// on, else the primary), borderless.
void CoverMonitor(Widget shell);

/// The monitor that holds the centre of the realised shell's window, as it
/// is now: one of the Monitors, else the whole screen.
Area WindowMonitor(Widget shell);

/// What a window manager adds around a window (_NET_FRAME_EXTENTS).
struct Frame {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

/// Where a second window (the login) goes beside the list's window, whose
/// outer area, frame and all, is `list`, both framed by `frame`: on the
/// side of `monitor` with more room, at most three quarters of the monitor
/// and at least `least` (or the monitor, where smaller), centred in
/// height.  When neither side has room for `least`, the list's window
/// moves first to the monitor's nearer edge: `*listX` is then its new
/// outer x, else it stays.  The area's x and y are the outer corner (as a
/// window asks for its position), its width and height the inside.
Area BesideList(const Area &monitor, const Area &list, const Frame &frame,
                const Area &least, int *listX);

/// The frame around the realised shell's window (may throw
/// std::bad_alloc), and its outer area, border and frame included.
Frame FrameOf(Widget shell);
Area OuterArea(Widget shell, const Frame &frame);
