// Pings: when the program's queries go out.  A ping sends every query
// target (xdmcp/targets) its message once; pings come in series of three,
// 2000 ms apart.
#pragma once

#include <X11/Intrinsic.h>

constexpr unsigned long kPingIntervalMs = 2000;

/// The one UDP socket for queries and replies; negative if it could not be
/// opened.
extern int querySocket;
/// Pings sent since the last reset; the Ping action resets it.
extern int pingCount;

/// Prepares both query messages, opens `querySocket`, registers HandleReply
/// on it, registers a target for each of `arguments` (a null-terminated
/// vector) and sends the first ping.  Returns 0, having done nothing else,
/// when the socket cannot be opened.
int StartDiscovery(char **arguments);

/// Sends one ping and, while the series lasts, arms the timer for the next.
/// The first ping of a series reads the interfaces and looks up the names
/// not found yet; a name that is found is sent its query at once.  Also the
/// toolkit timer callback; both arguments are ignored.
void SendQueries(XtPointer clientData = nullptr, XtIntervalId *id = nullptr);
