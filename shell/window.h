// The main window: its widget tree, its keyboard focus, and the list's
// columns and scrolling.  All fonts, labels, sizes and translations come from
// the resource database of class "Hostpick".
#pragma once

#include <X11/Intrinsic.h>

/// The application shell; its display rings the bell.
extern Widget topLevel;
/// The list of answering hosts; the host table hands it its lines.
extern Widget list;
/// The text entry in which a host is typed; null unless it was made.
extern Widget entry;

/// Creates, managed and in this order: paned, label, viewport, list, with
/// `withEntry` the box add holding addLabel and the text entry, then box
/// and the command buttons cancel, accept and ping.  The buttons get no
/// callbacks: translations bind them to the actions.
void CreateWidgets(Widget shell, bool withEntry);

/// Rings the bell of the shell's display at its base volume.
void RingBell();

/// The heading's text, and a new one for it.
String HeadingText();
void SetHeading(String text);

/// Makes the shell a well-mannered client for the keyboard: it accepts
/// the focus, takes it when first mapped (a login screen has no window
/// manager to give it), sends every key to the paned widget wherever the
/// pointer is, and takes the window manager's WM_DELETE_WINDOW as the
/// action Cancel.  Call before realising the shell.
void HandleFocus(Widget shell);
/// Sends every key to the entry, where there is one, or back to the paned
/// widget.
void KeysToEntry(bool toEntry);
/// As HandleFocus, for what needs the shell's window; call after realising.
void HandleWindowProtocols(Widget shell);

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
