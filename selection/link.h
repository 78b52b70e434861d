// How far the host has come with the nested display, known without an X
// connection: the kernel's socket diagnostics (what `ss -ti` reads) say
// how many bytes the nested server's side of each TCP connection to the
// display's port has sent.  The host's first client has had its connection
// set-up reply once that side has sent kSetupReplyBytes: a reply that
// grants the connection describes the screens in hundreds of bytes, one
// that refuses it holds a reason of a few dozen.
#pragma once

#include <cstddef>

/// Fewer than the smallest set-up reply that grants a connection, more
/// than the largest that refuses one.
constexpr unsigned long long kSetupReplyBytes = 256;

enum class Link {
    kNone,        ///< no connection to the port is established
    kEstablished, ///< one is, and has not yet had its set-up reply
    kUnmeasured,  ///< one is, but the kernel cannot say what it was sent
    kConnected,   ///< one has had its set-up reply
};

/// What the connections to local TCP port `port` (the display's, 6000 + N)
/// have come to, in this network namespace: the furthest of them, in the
/// order above.  Asks the
/// kernel at once and waits on nothing else.
Link HostLink(unsigned port);

/// What the kernel's answer `bytes` (socket diagnostics' messages, as
/// recv gives them) says of local port `port`, added to `link`.
Link ReadLinks(const unsigned char *bytes, std::size_t size, unsigned port,
               Link link);
