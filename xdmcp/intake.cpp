#include "xdmcp/intake.h"

#include <netinet/in.h>
#include <poll.h>

#include "hosts/hosts.h"
#include "xdmcp/discovery.h"
#include "xdmcp/wire.h"

static WireBuffer receiveBuffer;
// About a millisecond of work at a time.
static constexpr int kRepliesPerBatch = 64;

// The lengths are added as int, never as CARD16, so no sum wraps round to
// match a forged header length.
static int FieldsSize(const ARRAY8 *a, const ARRAY8 *b) {
    return 2 + a->length + 2 + b->length;
}

static void TakeReply() {
    sockaddr_in sender;
    socklen_t senderLength = sizeof(sender);
    if (!ReceiveMessage(querySocket, &receiveBuffer,
                        reinterpret_cast<sockaddr *>(&sender), &senderLength))
        return;
    MessageHeader header;
    if (!ReadHeader(&receiveBuffer, &header) || header.version != kXdmcpVersion)
        return;

    ARRAY8 authName = {0, nullptr};
    ARRAY8 hostname = {0, nullptr};
    ARRAY8 status = {0, nullptr};
    int takenOver = 0;
    if (header.opcode == kOpcodeWilling) {
        if (ReadArray8(&receiveBuffer, &authName) &&
            ReadArray8(&receiveBuffer, &hostname) &&
            ReadArray8(&receiveBuffer, &status) &&
            header.length ==
                2 + authName.length + FieldsSize(&hostname, &status))
            takenOver = RecordHost(&hostname, &status, &sender, 1);
        ReleaseArray8(&authName);
    } else if (header.opcode == kOpcodeUnwilling) {
        if (ReadArray8(&receiveBuffer, &hostname) &&
            ReadArray8(&receiveBuffer, &status) &&
            header.length == FieldsSize(&hostname, &status))
            takenOver = RecordHost(&hostname, &status, &sender, 0);
    }
    if (!takenOver) {
        ReleaseArray8(&hostname);
        ReleaseArray8(&status);
    }
}

static int Waiting(int socket) {
    pollfd ready = {socket, POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
}

// A burst of replies is taken in batches, and the list widget is told of
// each batch once: after the socket runs dry, or every 100 ms while the
// burst lasts.  A batch is bounded so that X events get their turn.
void HandleReply(XtPointer /*clientData*/, int * /*source*/,
                 XtInputId * /*id*/) {
    for (int taken = 1;; taken++) {
        TakeReply();
        if (!Waiting(querySocket)) {
            RefreshSoon(1);
            return;
        }
        if (taken == kRepliesPerBatch) {
            RefreshSoon(0);
            return;
        }
    }
}
