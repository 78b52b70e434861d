// How the list is laid out and drawn: its columns and scrolling, the
// lines handed to it, measured and drawn again, the frame of the selected
// line in high contrast, and the width in which names are drawn.  It
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
/// The pixels `line` takes as the list draws it, and those of the widest
/// line the list was handed.
int LineWidth(const char *line);
int LongestLine();
/// Has the list draw line `index` again, where the viewport shows it; the
/// X server is sent nothing for a line out of view.
void RedrawLine(int index);
/// Lines of the list that the viewport shows at once; at least 1.
int LinesPerPage();

/// After the widgets are made: pads names by the width the list's font set
/// draws them in (see hosts/line), and in high contrast frames the
/// selected line.
void SetUpLooks();
/// In high contrast, frames the selected line once the toolkit is idle;
/// otherwise nothing.
void FrameSelectionSoon();
