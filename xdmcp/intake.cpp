#include "xdmcp/intake.h"

#include <netinet/in.h>

#include "hosts/hosts.h"
#include "xdmcp/discovery.h"
#include "xdmcp/wire.h"

static WireBuffer receiveBuffer;

// The lengths are added as int, never as CARD16, so no sum wraps round to
// match a forged header length.
static int FieldsSize(const ARRAY8 *a, const ARRAY8 *b) {
    return 2 + a->length + 2 + b->length;
}

void HandleReply(XtPointer /*clientData*/, int * /*source*/,
                 XtInputId * /*id*/) {
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
