// The choice report: tells the display manager which host was chosen.
#pragma once

#include "hosts/table.h"

/// Without a vornAddress setting, prints the entry's connection type and
/// address bytes on standard output, flushed; when they cannot be written,
/// says so on standard error and exits with status 1.  Otherwise sends the
/// client address, the connectionType setting and the entry's address, cut
/// at 1024 bytes, over one TCP connection to vornAddress, waiting at most
/// 5 s to connect and as long to send; when that cannot be done, or not all
/// of it was sent, says so on standard error and exits with status 1.
/// vornAddress holds a family of 2 (IPv4) and its port and address, or a
/// family of 10 (IPv6) and, as in a sockaddr_in6, its port, flow label
/// (ignored), address, and the scope id in host order, which may be left
/// out.
void ReportChoice(const HostEntry *entry);
