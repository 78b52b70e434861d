// How the list is laid out and drawn: its columns and scrolling, the
// lines handed to it, measured and drawn again, the selected line, framed
// in high contrast, and the width in which names are drawn.  Where the list
// draws type (shell/smooth), it paints every line here: the name, then the
// status from the same x in every line, an unwilling host's dimmed.  It
// works on the list widget of shell/window, which must exist.
#pragma once

#include <X11/Intrinsic.h>

/// Lays out the list for `lines` lines before it is handed them: in the
/// columns the resources ask for, or in as many more as it takes to keep
/// every line within the 16-bit coordinates of X, where it can be drawn,
/// scrolled to and clicked.
void FitColumns(int lines);

/// Scrolls the list so that line `index` is in view.
void ScrollToLine(int index);
/// Hands the list `n` lines, the widest `longest` pixels wide (0: the
/// list measures them), and has it draw those in view.
void ShowLines(const char **lines, int n, int longest);
/// What a line holds, for drawing it as type: the bytes that show the
/// host's name (with its address), where its status's field begins, and
/// whether it is drawn dimmed.
struct LineParts {
    int labelLength;
    int statusAt;
    bool dimmed;
};
/// The parts of line `index`, set by the list view; without it, a line
/// is a name alone.
extern LineParts (*partsOfLine)(int index);

/// The pixels `line`, made of `parts`, takes as the list draws it, and
/// those of the widest line the list was handed.
int LineWidth(const char *line, const LineParts &parts);
int LongestLine();
/// Has the list draw line `index` again, where the viewport shows it; the
/// X server is sent nothing for a line out of view.
void RedrawLine(int index);
/// Lines of the list that the viewport shows at once; at least 1.
int LinesPerPage();

/// After the widgets are made: pads names by the width the list draws them
/// in (see hosts/line), spaces its lines by its face's height, and paints
/// the selected line after every action.
void SetUpLooks();
/// Paints the selected line (and the one that was) once the toolkit is
/// idle, where the list draws type or, in high contrast, frames it.
void PaintSelectionSoon();
