#include "shell/drawing.h"

#include <X11/IntrinsicP.h>
#include <X11/StringDefs.h>
#include <X11/Xaw/List.h>
#include <X11/Xaw/ListP.h>
#include <X11/Xaw/Viewport.h>
#include <X11/Xaw/ViewportP.h>

#include <algorithm>
#include <cstring>

#include "hosts/line.h"
#include "shell/variants.h"
#include "shell/window.h"

namespace {

// Past this, X coordinates wrap: nothing can be drawn or scrolled there.
constexpr int kMostPixels = 32767;

// The viewport, the list's parent, and its window onto the list.
Widget Viewport() {
    return XtParent(list);
}

Widget Clip() {
    return reinterpret_cast<ViewportWidget>(Viewport())->viewport.clip;
}

} // namespace

void FitColumns(int lines) {
    static int baseColumns = -1;
    static Boolean baseForced;
    static Boolean baseSideways;
    static int columns;
    ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    if (baseColumns < 0) {
        baseColumns = l.default_cols;
        baseForced = l.force_cols;
        Arg arg;
        XtSetArg(arg, XtNallowHoriz, &baseSideways);
        XtGetValues(Viewport(), &arg, 1);
        columns = baseColumns;
    }
    int rows = l.row_height > 0
                   ? (kMostPixels - 2 * l.internal_height) / l.row_height
                   : lines;
    int needed = rows > 0 && lines > rows ? (lines + rows - 1) / rows : 0;
    int wanted = needed > baseColumns ? needed : baseColumns;
    if (wanted == columns)
        return;
    columns = wanted;
    // The List header names these two as plain literals.
    Arg args[2];
    XtSetArg(args[0], const_cast<char *>(XtNdefaultColumns), columns);
    XtSetArg(args[1], const_cast<char *>(XtNforceColumns),
             needed > baseColumns || baseForced);
    XtSetValues(list, args, 2);
    XtSetArg(args[0], XtNallowHoriz, needed > baseColumns || baseSideways);
    XtSetValues(Viewport(), args, 1);
}

namespace {

// Where line `index` lies in the list, by the list's own layout, which the
// widget offers no call to read; false outside it.
bool LineCorner(int index, int *left, int *top) {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    if (index < 0 || index >= l.nitems || l.nrows <= 0 || l.ncols <= 0)
        return false;
    int row = l.vertical_cols ? index % l.nrows : index / l.ncols;
    int column = l.vertical_cols ? index / l.nrows : index % l.ncols;
    *top = l.internal_height + row * l.row_height;
    *left = l.internal_width + column * l.col_width;
    return true;
}

} // namespace

void ScrollToLine(int index) {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    int top, left;
    if (!LineCorner(index, &left, &top))
        return;

    Widget clip = Clip();
    int x = -list->core.x;
    int y = -list->core.y;
    if (top < y)
        y = top;
    else if (top + l.row_height > y + clip->core.height)
        y = top + l.row_height - clip->core.height;
    // A column wider than the view shows the start of its lines: the name.
    if (left < x)
        x = left;
    else if (left + l.col_width > x + clip->core.width)
        x = std::min(left, left + l.col_width - clip->core.width);
    XawViewportSetCoordinates(Viewport(), static_cast<Position>(x),
                              static_cast<Position>(y));
}

// The widget draws every one of its lines when it is handed them, a cost
// that grows with the list while the viewport shows a page of it.  So it
// lays them out with no window to draw in, and then draws the page in
// view, as an exposure asks it to.
void ShowLines(const char **lines, int n, int longest) {
    Window window = XtWindow(list);
    list->core.window = None;
    XawListChange(list, lines, n, longest, True);
    list->core.window = window;
    if (window == None)
        return;
    XMoveResizeWindow(XtDisplay(list), window, list->core.x, list->core.y,
                      list->core.width, list->core.height);
    Widget clip = Clip();
    XClearArea(XtDisplay(list), window, -list->core.x, -list->core.y,
               clip->core.width, clip->core.height, True);
}

namespace {

// The width of each character of the list's font (for ASCII, of its font
// set's first font) when all are alike, as in the fixed fonts; else 0.
int AsciiCellWidth() {
    const ListWidget l = reinterpret_cast<ListWidget>(list);
    XFontStruct *font = l->list.font;
    if (l->simple.international) {
        XFontStruct **fonts = nullptr;
        char **names = nullptr;
        font = l->list.fontset != nullptr &&
                       XFontsOfFontSet(l->list.fontset, &fonts, &names) > 0
                   ? fonts[0]
                   : nullptr;
    }
    return font != nullptr && font->min_bounds.width == font->max_bounds.width
               ? font->max_bounds.width
               : 0;
}

} // namespace

int LineWidth(const char *line) {
    static const int cell = AsciiCellWidth();
    const ListWidget l = reinterpret_cast<ListWidget>(list);
    int length = 0;
    while (line[length] > 0)
        length++;
    // Measuring asks the font set for every character.
    if (line[length] == '\0' && cell > 0)
        return length * cell;
    length += static_cast<int>(std::strlen(line + length));
    return l->simple.international
               ? XmbTextEscapement(l->list.fontset, line, length)
               : XTextWidth(l->list.font, line, length);
}

int LongestLine() {
    return reinterpret_cast<ListWidget>(list)->list.longest;
}

void RedrawLine(int index) {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    int left, top;
    if (!XtIsRealized(list) || !LineCorner(index, &left, &top))
        return;
    // Where the viewport's window shows the line, if it does.
    Widget clip = Clip();
    int x = left + list->core.x;
    int y = top + list->core.y;
    if (x + l.col_width <= 0 || y + l.row_height <= 0 ||
        x >= clip->core.width || y >= clip->core.height)
        return;
    XClearArea(XtDisplay(list), XtWindow(list), left, top,
               static_cast<unsigned>(l.col_width),
               static_cast<unsigned>(l.row_height), True);
}

int LinesPerPage() {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    Widget clip = Clip();
    int lines = l.row_height > 0 ? clip->core.height / l.row_height : 1;
    return lines > 1 ? lines : 1;
}

namespace {

// The frame of the selected line in high contrast: a line of the list's
// background inside the inverted cell, as far from its edge as it is
// wide, drawn once the toolkit is idle after anything that may have drawn
// or moved the selection.  The list fills a line's whole cell when it
// draws it again, frame included.
constexpr int kFrameWidth = 1; // pixels at scale 1
GC frameGc;
bool frameDue;

Boolean DrawFrame(XtPointer) noexcept {
    frameDue = false;
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    int left, top;
    if (XtIsRealized(list) && l.is_highlighted == l.highlight &&
        LineCorner(l.highlight, &left, &top)) {
        // A wide line is centred on the rectangle's edges.
        int width = kFrameWidth * scale;
        int inset = width + width / 2;
        XDrawRectangle(XtDisplay(list), XtWindow(list), frameGc, left + inset,
                       top + inset, std::max(l.col_width - 3 * width, 1),
                       std::max(l.row_height - 3 * width, 1));
    }
    return True;
}

void FrameOnExpose(Widget, XtPointer, XEvent *event, Boolean *) noexcept {
    if (event->type == Expose && event->xexpose.count == 0)
        FrameSelectionSoon();
}

void FrameAfterAction(Widget, XtPointer, String, XEvent *, String *,
                      Cardinal *) noexcept {
    FrameSelectionSoon();
}

// How many of the list's character cells `text` takes as its font set
// draws it: a character the set has no glyph for is drawn in another's
// width, and a combining mark in a whole cell.
int DrawnColumns(const char *text, int length) {
    XFontSet fontSet = reinterpret_cast<ListWidget>(list)->list.fontset;
    int cell = XmbTextEscapement(fontSet, " ", 1);
    if (cell <= 0)
        return length;
    return (XmbTextEscapement(fontSet, text, length) + cell / 2) / cell;
}

} // namespace

void FrameSelectionSoon() {
    if (frameGc != nullptr && !frameDue) {
        frameDue = true;
        XtAppAddWorkProc(XtWidgetToApplicationContext(list), DrawFrame,
                         nullptr);
    }
}

void SetUpLooks() {
    if (reinterpret_cast<ListWidget>(list)->simple.international)
        drawnColumns = DrawnColumns;
    if (!contrast)
        return;
    XGCValues values;
    Arg arg;
    XtSetArg(arg, XtNbackground, &values.foreground);
    XtGetValues(list, &arg, 1);
    values.line_width = kFrameWidth * scale;
    frameGc = XtGetGC(list, GCForeground | GCLineWidth, &values);
    XtAddEventHandler(list, ExposureMask, False, FrameOnExpose, nullptr);
    XtAppAddActionHook(XtWidgetToApplicationContext(list), FrameAfterAction,
                       nullptr);
}
