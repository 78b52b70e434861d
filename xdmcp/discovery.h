// Pings: when the program's queries go out.  A ping sends every query
// target (xdmcp/targets) its message once; pings come in series of three,
// 2000 ms apart.
#pragma once

#include <X11/Intrinsic.h>
#include <sys/socket.h>

/// A series of asks, of the pings and of a host added while the window is
/// up: three, 2000 ms apart, and the answers taken for one interval more.
constexpr int kAsksPerSeries = 3;
constexpr unsigned long kAskIntervalMs = 2000;

/// One series of asks, or several that count as one.  Lives as long as any
/// of its timers.
struct AskSeries {
    void (*ask)(void *data);  ///< asks once
    void (*over)(void *data); ///< the series has had its last answers
    void *data;
    int *asked;      ///< the asks counted; the owner sets it to 0 to start anew
    int endsPending; ///< the series' own
};

/// Asks once, counting the ask in `*series->asked`, and arms the timer of
/// the next ask, or, after the third, the end: `over` is called an interval
/// after the last ask of every chain of timers begun from the count 0, and
/// only if the count has not begun anew since.  No timer is ever
/// cancelled: asking from 0 during a series lets the earlier timers run on,
/// and they count against the same count.
void Ask(AskSeries *series);

/// The UDP socket for IPv4 queries and replies; negative if it could not be
/// opened.
extern int querySocket;
/// The UDP socket for IPv6 queries and replies; negative where the system
/// has no IPv6.
extern int querySocket6;
/// Pings sent since the last reset; the Ping action resets it.
extern int pingCount;

/// Prepares both query messages, opens `querySocket` and, where it can,
/// `querySocket6`, registers HandleReply on them, registers a target for
/// each of `arguments` (a null-terminated vector) and sends the first ping.
/// False, having done nothing else, when the IPv4 socket cannot be opened.
bool StartDiscovery(char **arguments);

/// Sends one ping of the series of pings (Ask), counted in pingCount.
/// Every ping reads the interfaces anew; the first of a series also looks
/// up the names not found yet, and a name that is found is sent its query
/// at once.
void SendQueries();

/// Sends one QUERY to `address` (IPv4 or IPv6, at the XDMCP port) now,
/// outside the pings: a host added while the window is up.
void SendQueryTo(const sockaddr *address);
