// The actions that move the list's selection, so that a host can be
// chosen with the keyboard alone, and the double click that accepts only
// the host both of its clicks landed on.  Each scrolls the selected line
// into view.  They take the toolkit's action arguments; only SelectTyped
// reads the event.
#pragma once

#include <X11/Intrinsic.h>

/// Selects row `row` (within the list) and scrolls it into view.
void SelectRow(int row);

/// The next line; with nothing selected, the first.
void SelectNext(Widget w, XEvent *event, String *params,
                Cardinal *paramCount) noexcept;
/// The previous line; with nothing selected, the last.
void SelectPrevious(Widget w, XEvent *event, String *params,
                    Cardinal *paramCount) noexcept;
void SelectFirst(Widget w, XEvent *event, String *params,
                 Cardinal *paramCount) noexcept;
void SelectLast(Widget w, XEvent *event, String *params,
                Cardinal *paramCount) noexcept;
/// A viewport's worth of lines down or up.
void SelectNextPage(Widget w, XEvent *event, String *params,
                    Cardinal *paramCount) noexcept;
void SelectPreviousPage(Widget w, XEvent *event, String *params,
                        Cardinal *paramCount) noexcept;
/// Adds the key's characters to the text typed so far (started afresh
/// after a second without a key) and selects the first line, from the top,
/// that begins with it, in either case.  Without such a line the selection
/// stays, the bell rings and the character is dropped.  Keys that give no
/// printable character are ignored.
void SelectTyped(Widget w, XEvent *event, String *params,
                 Cardinal *paramCount) noexcept;
/// Accept, when the host now selected is the one that was selected when
/// the button went down, that is, when both clicks of a double click
/// landed on the same host.  Otherwise the click only selected.
void AcceptClick(Widget w, XEvent *event, String *params,
                 Cardinal *paramCount) noexcept;
