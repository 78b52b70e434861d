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
#include "shell/smooth.h"
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

LineParts (*partsOfLine)(int index);

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

int CoreLineWidth(const char *line) {
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

// Where the status of a line whose name (and address) is `labelWidth`
// pixels wide begins, from the line's start: past the names' column, as
// wide as kNameColumns of the face's "0", or past a longer name, and a
// blank.
int StatusOffset(Face *face, int labelWidth) {
    static const int column = kNameColumns * TextWidth(face, "0", 1);
    static const int blank = TextWidth(face, " ", 1);
    return std::max(column, labelWidth) + blank;
}

// The parts clamped to the line, whatever their source.
LineParts Clamped(LineParts parts, int length) {
    parts.labelLength = std::clamp(parts.labelLength, 0, length);
    parts.statusAt = std::clamp(parts.statusAt, parts.labelLength, length);
    return parts;
}

} // namespace

int LineWidth(const char *line, const LineParts &given) {
    Face *face = FaceOf(list);
    if (face == nullptr)
        return CoreLineWidth(line);
    int length = static_cast<int>(std::strlen(line));
    LineParts parts = Clamped(given, length);
    return StatusOffset(face, TextWidth(face, line, parts.labelLength)) +
           TextWidth(face, line + parts.statusAt, length - parts.statusAt);
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
// wide.
constexpr int kFrameWidth = 1; // pixels at scale 1
int paintedSelection = -1;     // the line last painted selected, as type
GC frameGc;                    // core font sets: the frame's
bool selectionDue;

// ---- lines drawn as type ----

void PaintLine(int index, Smooth *s) {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    int left, top;
    if (!LineCorner(index, &left, &top) || l.list == nullptr)
        return;
    bool selected = index == l.highlight;
    auto width = static_cast<unsigned>(l.col_width);
    auto height = static_cast<unsigned>(l.row_height);
    XftDrawRect(s->draw, selected ? &s->ink : &s->paper, left, top, width,
                height);
    const char *line = l.list[index];
    int length = static_cast<int>(std::strlen(line));
    LineParts parts =
        Clamped(partsOfLine != nullptr ? partsOfLine(index)
                                       : LineParts{length, length, false},
                length);
    const XftColor *color = selected       ? &s->paper
                            : parts.dimmed ? &s->dim
                                           : &s->ink;
    int x = left + l.column_space / 2;
    int y =
        top + (l.row_height - FaceHeight(s->face)) / 2 + FaceAscent(s->face);
    int labelWidth = TextWidth(s->face, line, parts.labelLength);
    DrawText(s->face, s->draw, color, x, y, line, parts.labelLength);
    DrawText(s->face, s->draw, color, x + StatusOffset(s->face, labelWidth), y,
             line + parts.statusAt, length - parts.statusAt);
    if (!contrast)
        return;
    int stroke = Scaled(kFrameWidth, scale);
    auto thin = static_cast<unsigned>(stroke);
    // An unwilling host's line is struck through, beside its grey.
    if (parts.dimmed)
        XftDrawRect(s->draw, color, x, top + l.row_height / 2 - stroke / 2,
                    static_cast<unsigned>(LineWidth(line, parts)), thin);
    if (selected && width > 4 * thin && height > 4 * thin) {
        int in = stroke;
        XftDrawRect(s->draw, &s->paper, left + in, top + in, width - 2 * thin,
                    thin);
        XftDrawRect(s->draw, &s->paper, left + in, top + l.row_height - 2 * in,
                    width - 2 * thin, thin);
        XftDrawRect(s->draw, &s->paper, left + in, top + in, thin,
                    height - 2 * thin);
        XftDrawRect(s->draw, &s->paper, left + l.col_width - 2 * in, top + in,
                    thin, height - 2 * thin);
    }
}

void PaintLines(Widget, const XRectangle &area) {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    Smooth *s = SmoothOf(list);
    if (s == nullptr || l.row_height <= 0 || l.col_width <= 0)
        return;
    int firstRow = std::max(0, (area.y - l.internal_height) / l.row_height);
    int lastRow = std::min(
        l.nrows - 1, (area.y + area.height - l.internal_height) / l.row_height);
    int firstColumn = std::max(0, (area.x - l.internal_width) / l.col_width);
    int lastColumn = std::min(
        l.ncols - 1, (area.x + area.width - l.internal_width) / l.col_width);
    for (int column = firstColumn; column <= lastColumn; column++)
        for (int row = firstRow; row <= lastRow; row++) {
            int index = l.vertical_cols ? column * l.nrows + row
                                        : row * l.ncols + column;
            if (index < l.nitems)
                PaintLine(index, s);
        }
}

// ---- the selected line ----

void DrawFrame() {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    int left, top;
    if (XtIsRealized(list) && l.is_highlighted == l.highlight &&
        LineCorner(l.highlight, &left, &top)) {
        // A wide line is centred on the rectangle's edges.
        int width = Scaled(kFrameWidth, scale);
        int inset = width + width / 2;
        XDrawRectangle(XtDisplay(list), XtWindow(list), frameGc, left + inset,
                       top + inset, std::max(l.col_width - 3 * width, 1),
                       std::max(l.row_height - 3 * width, 1));
    }
}

Boolean PaintSelection(XtPointer) noexcept {
    selectionDue = false;
    Smooth *s = SmoothOf(list);
    if (s == nullptr) {
        DrawFrame();
        return True;
    }
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    if (paintedSelection != l.highlight) {
        if (paintedSelection >= 0 && paintedSelection < l.nitems)
            PaintLine(paintedSelection, s);
        paintedSelection = l.highlight;
        if (paintedSelection >= 0)
            PaintLine(paintedSelection, s);
    }
    return True;
}

void PaintOnExpose(Widget, XtPointer, XEvent *event, Boolean *) noexcept {
    if (event->type == Expose && event->xexpose.count == 0)
        PaintSelectionSoon();
}

void PaintAfterAction(Widget, XtPointer, String, XEvent *, String *,
                      Cardinal *) noexcept {
    PaintSelectionSoon();
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

// The same in the widths of the face's "0", the names' column's unit.
int TypedColumns(const char *text, int length) {
    Face *face = FaceOf(list);
    int cell = TextWidth(face, "0", 1);
    if (cell <= 0)
        return length;
    return (TextWidth(face, text, length) + cell / 2) / cell;
}

} // namespace

void PaintSelectionSoon() {
    if ((frameGc != nullptr || FaceOf(list) != nullptr) && !selectionDue) {
        selectionDue = true;
        XtAppAddWorkProc(XtWidgetToApplicationContext(list), PaintSelection,
                         nullptr);
    }
}

void SetUpLooks() {
    const ListPart &l = reinterpret_cast<ListWidget>(list)->list;
    Face *face = FaceOf(list);
    if (face != nullptr) {
        drawnColumns = TypedColumns;
        paintRows = PaintLines;
        // The list spaces its lines by its core font set: by as much more
        // as the face is taller.
        int taller = FaceHeight(face) - (l.row_height - l.row_space);
        if (taller > 0)
            XtVaSetValues(list, XtNrowSpacing, l.row_space + taller, nullptr);
    } else if (reinterpret_cast<ListWidget>(list)->simple.international) {
        drawnColumns = DrawnColumns;
    }
    if (face == nullptr && contrast) {
        XGCValues values;
        Arg arg;
        XtSetArg(arg, XtNbackground, &values.foreground);
        XtGetValues(list, &arg, 1);
        values.line_width = Scaled(kFrameWidth, scale);
        frameGc = XtGetGC(list, GCForeground | GCLineWidth, &values);
    }
    if (face == nullptr && !contrast)
        return;
    if (frameGc != nullptr)
        XtAddEventHandler(list, ExposureMask, False, PaintOnExpose, nullptr);
    XtAppAddActionHook(XtWidgetToApplicationContext(list), PaintAfterAction,
                       nullptr);
}
