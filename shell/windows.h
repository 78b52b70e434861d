// Windows on hostpick's display: their properties read, and other
// clients' top-level windows, such as a nested server's, found by the
// process that made them, named in UTF-8 and classed, and brought to the
// front; hostpick's own window named and brought to the front alike.  Each asks
// the X server at once and waits on no other client; a window manager may
// refuse what is asked of it.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

/// The items of `window`'s property `name`, when it is of `type` and
/// `format` (8 or 32), at most `most`: 32-bit items as Xlib gives them, in
/// longs.  Empty where the window has no such property.  May throw
/// std::bad_alloc.
std::vector<long> LongProperty(Display *display, Window window,
                               const char *name, Atom type, long most);
std::string StringProperty(Display *display, Window window, const char *name,
                           long most);

/// The top-level window of process `pid`, by the X-Resource extension's
/// client IDs where the server has them, else the one titled `title`
/// (WM_NAME); None when there is neither.  Top-level windows are the window
/// manager's client list (_NET_CLIENT_LIST), else the root's children.
/// May throw std::bad_alloc.
Window FindTopLevel(Display *display, pid_t pid, const std::string &title);

/// Names `window` with `title` (in the locale's encoding): WM_NAME as
/// compound text and _NET_WM_NAME in UTF-8; with a non-null `instance`,
/// also sets WM_CLASS to it and `className`.
void NameWindow(Display *display, Window window, const char *title,
                const char *instance = nullptr,
                const char *className = nullptr);

/// Raises `window`, and asks the window manager to make it the active
/// window (_NET_ACTIVE_WINDOW), on behalf of `ours`, hostpick's own.
void BringToFront(Display *display, Window window, Window ours);
