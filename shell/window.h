// The main window: its widget tree and its keyboard focus; the list's
// layout and drawing are shell/drawing's.  All fonts, labels, sizes and
// translations come from the resource database of class "Hostpick".
#pragma once

#include <X11/Intrinsic.h>

/// The application shell; its display rings the bell.
extern Widget topLevel;
/// The list of answering hosts; the host table hands it its lines.
extern Widget list;
/// The text entry in which a host is typed; null unless it was made.
extern Widget entryWidget;

/// Creates, managed and in this order: paned, label, viewport, list, with
/// `withEntry` the box add holding addLabel and the text entry, then box
/// and the command buttons cancel, accept and ping.  The buttons get no
/// callbacks: translations bind them to the actions.  For a `station`, the
/// paned widget stands in a form, "station", which fills the window, and
/// there is no cancel.
void CreateWidgets(Widget shell, bool withEntry, bool station = false);

/// A station's window, once placed over its monitor: the paned widget in
/// its middle, at its own size.
void CentreInStation();

/// Maps the window again, above the others, and has it take the focus
/// once it shows.
void ShowWindowAgain();

/// Rings the bell of the shell's display at its base volume.
void RingBell();

/// The heading's text, whole, and a new one for it, which the heading
/// breaks onto as many lines as it needs, at most four (the last then
/// ending in an ellipsis, and the whole text going to standard error), and
/// is made tall enough for, the list giving up the height; again whenever
/// its width changes.
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
/// As HandleFocus, for what needs the shell's window, and names the window
/// in UTF-8 too (_NET_WM_NAME); call after realising.
void HandleWindowProtocols(Widget shell);
