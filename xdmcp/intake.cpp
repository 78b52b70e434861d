#include "xdmcp/intake.h"

#include <netinet/in.h>
#include <poll.h>

#include "hosts/rows.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "shell/loop.h"
#include "xdmcp/address.h"
#include "xdmcp/targets.h"
#include "xdmcp/wire.h"

namespace {

WireBuffer receiveBuffer;
// About a millisecond of work at a time.
constexpr int kRepliesPerBatch = 64;

// The lengths are added as int, never as CARD16, so no sum wraps round to
// match a forged header length.
int FieldsSize(const ARRAY8 *a, const ARRAY8 *b) {
    return 2 + a->length + 2 + b->length;
}

// A flood of forged senders must not take the program's memory: once the
// table is full only the hosts it knows, and the targets the arguments
// named, have room.
bool HasRoom(const HostKey &sender) {
    return hostCount < kMostHosts || FindHost(sender) != nullptr ||
           IsQueryTarget(sender);
}

// The table stores the host; a new one is the rows rule's to list.
void Record(ARRAY8 *hostname, ARRAY8 *status, const HostKey &sender,
            int willing) {
    HostEntry *added;
    if (RecordHost(hostname, status, sender, willing, &added) && added)
        TakeNewHost(added);
}

void ReadReply(int socket) {
    sockaddr_storage storage;
    socklen_t senderLength = sizeof(storage);
    if (!ReceiveMessage(socket, &receiveBuffer,
                        reinterpret_cast<sockaddr *>(&storage), &senderLength))
        return;
    HostKey sender = SenderKey(reinterpret_cast<sockaddr *>(&storage));
    if (!HasRoom(sender))
        return;
    MessageHeader header;
    if (!ReadHeader(&receiveBuffer, &header) || header.version != kXdmcpVersion)
        return;

    ARRAY8 authName = {0, nullptr};
    ARRAY8 hostname = {0, nullptr};
    ARRAY8 status = {0, nullptr};
    if (header.opcode == kOpcodeWilling) {
        if (ReadArray8(&receiveBuffer, &authName) &&
            ReadArray8(&receiveBuffer, &hostname) &&
            ReadArray8(&receiveBuffer, &status) &&
            header.length ==
                2 + authName.length + FieldsSize(&hostname, &status))
            Record(&hostname, &status, sender, 1);
        ReleaseArray8(&authName);
    } else if (header.opcode == kOpcodeUnwilling) {
        if (ReadArray8(&receiveBuffer, &hostname) &&
            ReadArray8(&receiveBuffer, &status) &&
            header.length == FieldsSize(&hostname, &status))
            Record(&hostname, &status, sender, 0);
    }
    // Record has left both empty; a dropped reply has not.
    ReleaseArray8(&hostname);
    ReleaseArray8(&status);
}

} // namespace

// A burst of replies is taken in batches, and the list widget is told of
// each batch once: after the socket runs dry, or every 100 ms while the
// burst lasts.  A batch ends as soon as the window has an event waiting,
// which the loop dispatches before it comes back here: under any flood a
// key is answered within a reply's time.
void HandleReply(XtPointer /*clientData*/, int *source,
                 XtInputId * /*id*/) noexcept {
    for (int taken = 1;; taken++) {
        ReadReply(*source);
        Waiting waiting = WhatWaits(*source);
        if (!waiting.readable) {
            RefreshSoon(Pace::kIdle);
            return;
        }
        if (taken == kRepliesPerBatch || waiting.windowEvent) {
            RefreshSoon(Pace::kBurst);
            return;
        }
    }
}
