// The choice report: tells the display manager which host was chosen.
#pragma once

#include "hosts/table.h"

constexpr int kReportAreaSize = 1024;  ///< a longer report is cut here
constexpr int kVornAddressSize = 8;    ///< family, port and IPv4 address
constexpr int kReportTimeoutMs = 5000; ///< for the connection and the send

/// Without a vornAddress setting, prints the entry's connection type and
/// address bytes on standard output, flushed; when they cannot be written,
/// says so on standard error and exits with status 1.  Otherwise sends the
/// client address, the connectionType setting and the entry's address over one
/// TCP connection to vornAddress, waiting at most 5 s to connect and as long to
/// send; when that cannot be done, or not all of it was sent, says so on
/// standard error and exits with status 1.
void ReportChoice(const HostEntry *entry);
