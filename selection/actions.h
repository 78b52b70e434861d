// The user's actions, registered under their own names at start-up and
// bound to keys, buttons and list clicks by the resource database.  All
// four ignore their arguments.
#pragma once

#include <X11/Intrinsic.h>

/// Reports the host of the selected row (each of them, in the order they
/// first answered, where several share it), then exits with status 0; in
/// the session mode, opens the login of its first host instead and
/// returns.
/// With nothing selected, or when a Ping has taken the row's hosts out
/// since, it only rings the bell.
void Accept(Widget w, XEvent *event, String *params,
            Cardinal *paramCount) noexcept;
/// Exits with status 0, reporting nothing; in a station, does nothing.
void Cancel(Widget w, XEvent *event, String *params,
            Cardinal *paramCount) noexcept;
/// Exits with status 0, reporting nothing, a station too: no key is bound
/// to it unless a site binds one.
void Leave(Widget w, XEvent *event, String *params,
           Cardinal *paramCount) noexcept;
/// Undoes the selection when it is the row of an unwilling host.
void CheckWilling(Widget w, XEvent *event, String *params,
                  Cardinal *paramCount) noexcept;
/// Empties the list and starts a new series of pings at once.
void Ping(Widget w, XEvent *event, String *params,
          Cardinal *paramCount) noexcept;
