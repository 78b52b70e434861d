// The choice report: tells the display manager which host was chosen.
#pragma once

#include "hosts/table.h"

constexpr int kReportAreaSize = 1024; ///< a longer report is cut here
/// vornAddress: a family of 2 (IPv4) and its port and address; or a family
/// of 10 (IPv6) and, as in a sockaddr_in6, its port, flow label (ignored),
/// address, and the scope id in host order, which may be left out.
constexpr int kVornAddressSize = 8;
constexpr int kVorn6AddressSize = 24;
constexpr int kVorn6ScopedSize = 28;
constexpr int kReportTimeoutMs = 5000; ///< for the connection and the send

/// Without a vornAddress setting, prints the entry's connection type and
/// address bytes on standard output, flushed; when they cannot be written,
/// says so on standard error and exits with status 1.  Otherwise sends the
/// client address, the connectionType setting and the entry's address over one
/// TCP connection to vornAddress, waiting at most 5 s to connect and as long to
/// send; when that cannot be done, or not all of it was sent, says so on
/// standard error and exits with status 1.
void ReportChoice(const HostEntry *entry);
