// Replies recorded in the host table as the reply intake records them,
// and the table's lines read back.
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

#include "shell/settings.h"
#include "xdmcp/wire.h"

struct HostEntry;

/// What Record does with a new entry, as the reply intake does: by default
/// the rows rule's TakeNewHost.
extern void (*takeNewHost)(HostEntry *entry);

/// An ARRAY8 with a body holding `bytes`.
ARRAY8 MakeArray8(const std::string &bytes);

/// Records a reply with `name` and `status` from `ip`, an IPv4 address (at
/// `port`, with the address family `family`) or an IPv6 one (with
/// "%interface", a name or an index, for a link-local one), and hands a new
/// entry to takeNewHost.  With `failAt`, the allocation of that number (from
/// 0) made by the table fails.  Returns what RecordHost returns.
int Record(const std::string &name, const std::string &status, const char *ip,
           int willing, int port = 177, sa_family_t family = AF_INET,
           int failAt = -1);

/// For the length of a test of choices: an empty table, and no launch
/// settings, which are put back after it.
struct EmptyChoice {
    EmptyChoice();
    ~EmptyChoice();
    LaunchSettings saved;
};

/// The listed lines, in order.
std::vector<std::string> Listed();

/// Runs the event loop until every entry is listed, its name settled; at
/// most 2 s.
void SettleNames();
