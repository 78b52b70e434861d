// Every value is moved one byte at a time through ReadCard8 and WriteCard8,
// so the bounds test lives in exactly two places.

#include "xdmcp/wire.h"

#include <cstdlib>

void *AllocBytes(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void ReleaseBytes(void *block) {
    std::free(block);
}

int AllocArray8(ARRAY8 *array, int length) {
    auto *body = static_cast<CARD8 *>(AllocBytes(length));
    if (body == nullptr)
        return 0;
    array->length = static_cast<CARD16>(length);
    array->data = body;
    return 1;
}

void ReleaseArray8(ARRAY8 *array) {
    ReleaseBytes(array->data);
    array->length = 0;
    array->data = nullptr;
}

int Array8Equal(const ARRAY8 *a, const ARRAY8 *b) {
    if (a->length != b->length)
        return 0;
    for (int i = 0; i < a->length; i++)
        if (a->data[i] != b->data[i])
            return 0;
    return 1;
}

int ReadCard8(WireBuffer *buffer, CARD8 *out) {
    if (buffer->pointer >= buffer->count)
        return 0;
    *out = buffer->data[buffer->pointer++];
    return 1;
}

int ReadCard16(WireBuffer *buffer, CARD16 *out) {
    CARD8 high;
    CARD8 low;
    if (!ReadCard8(buffer, &high) || !ReadCard8(buffer, &low))
        return 0;
    *out = static_cast<CARD16>(high * 256 + low);
    return 1;
}

int ReadArray8(WireBuffer *buffer, ARRAY8 *array) {
    if (!ReadCard16(buffer, &array->length))
        return 0;
    if (array->length == 0) {
        array->data = nullptr;
        return 1;
    }
    array->data = static_cast<CARD8 *>(AllocBytes(array->length));
    if (array->data == nullptr) {
        array->length = 0;
        return 0;
    }
    for (int i = 0; i < array->length; i++) {
        if (!ReadCard8(buffer, &array->data[i])) {
            ReleaseArray8(array);
            return 0;
        }
    }
    return 1;
}

int ReadHeader(WireBuffer *buffer, MessageHeader *header) {
    return ReadCard16(buffer, &header->version) &&
           ReadCard16(buffer, &header->opcode) &&
           ReadCard16(buffer, &header->length);
}

int WriteCard8(WireBuffer *buffer, unsigned value) {
    if (buffer->pointer >= buffer->size)
        return 0;
    buffer->data[buffer->pointer++] = static_cast<CARD8>(value & 0xff);
    return 1;
}

int WriteCard16(WireBuffer *buffer, unsigned value) {
    return WriteCard8(buffer, (value >> 8) & 0xff) &&
           WriteCard8(buffer, value & 0xff);
}

int WriteArray8(WireBuffer *buffer, const ARRAY8 *array) {
    if (!WriteCard16(buffer, array->length))
        return 0;
    for (int i = 0; i < array->length; i++)
        if (!WriteCard8(buffer, array->data[i]))
            return 0;
    return 1;
}

int WriteArrayOfArray8(WireBuffer *buffer, const ARRAYofARRAY8 *arrays) {
    if (!WriteCard8(buffer, arrays->count))
        return 0;
    for (int i = 0; i < arrays->count; i++)
        if (!WriteArray8(buffer, &arrays->data[i]))
            return 0;
    return 1;
}

namespace {

// A body too small for the message is replaced by a standard one, never
// by one sized to the message: every buffer then settles on a single
// 8192-byte body that later messages reuse without allocating.
int EnsureStandardBody(WireBuffer *buffer) {
    auto *body = static_cast<CARD8 *>(AllocBytes(kStandardBodySize));
    if (body == nullptr)
        return 0;
    ReleaseBytes(buffer->data);
    buffer->data = body;
    buffer->size = kStandardBodySize;
    return 1;
}

} // namespace

int WriteHeader(WireBuffer *buffer, const MessageHeader *header) {
    if (buffer->size < header->length + kHeaderSize &&
        !EnsureStandardBody(buffer))
        return 0;
    buffer->pointer = 0;
    return WriteCard16(buffer, header->version) &&
           WriteCard16(buffer, header->opcode) &&
           WriteCard16(buffer, header->length);
}

int ReceiveMessage(int socket, WireBuffer *buffer, sockaddr *from,
                   socklen_t *fromLength) {
    // On allocation failure the buffer goes on with the body it has; with
    // no body at all the datagram is still taken off the socket (as 0
    // bytes), so that a waiting datagram cannot keep the socket readable.
    if (buffer->size < kStandardBodySize)
        EnsureStandardBody(buffer);
    buffer->pointer = 0;
    ssize_t received =
        recvfrom(socket, buffer->data, static_cast<std::size_t>(buffer->size),
                 0, from, fromLength);
    if (received < kHeaderSize) {
        buffer->count = 0;
        return 0;
    }
    buffer->count = static_cast<int>(received);
    return 1;
}

int SendMessage(int socket, const WireBuffer *buffer, const sockaddr *to,
                socklen_t toLength) {
    ssize_t sent =
        sendto(socket, buffer->data, static_cast<std::size_t>(buffer->pointer),
               0, to, toLength);
    return sent == buffer->pointer ? 1 : 0;
}
