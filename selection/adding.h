// Hosts that the person at the screen adds by typing them, where the site
// allows it ("allowAdd", off by default): a text entry under the list,
// reached with Tab and left with Tab, Shift-Tab or Escape.  An entry is
// held against the site's limits ("addAllowed", xdmcp/allowed) before
// anything is looked up or sent; a name is looked up on the resolver's
// workers; an allowed host is then asked like a host of the command line,
// three times 2 s apart, and by every Ping after.  At most 8 are added in
// a run.  The heading says what became of each.
#pragma once

#include <X11/Intrinsic.h>

/// Read by LoadAdding: whether the site allows adding, and so the entry.
extern bool allowAdd;

/// Reads the resources for the application shell `shell`; call before
/// the widgets are made.  Limits that cannot be read are one line on
/// standard error, and then no host may be added.
void LoadAdding(Widget shell);

/// The entry's Return: adds the host typed and empties the entry.  A host
/// already listed (its row's name, in either case, or its address) is
/// selected instead; a refused one rings the bell, and nothing is sent.
void AddHost(Widget w, XEvent *event, String *params,
             Cardinal *paramCount) noexcept;
/// The list's Tab: the keys go to the entry; without one, the key is
/// typed like any other (SelectTyped).
void FocusEntry(Widget w, XEvent *event, String *params,
                Cardinal *paramCount) noexcept;
/// The entry's Tab, Shift-Tab and Escape: the keys go to the list again.
void FocusList(Widget w, XEvent *event, String *params,
               Cardinal *paramCount) noexcept;
