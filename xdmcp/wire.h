// XDMCP wire codec: the protocol's data types, the buffer in which one
// message is built or taken apart, and the datagram transfer of a buffer.
// Numbers travel most significant byte first; fields follow each other
// without gaps.  Every operation returns 1 on success and 0 on failure and
// never prints, rings or exits: the caller decides what a failure means.
#pragma once

#include <sys/socket.h>

#include <cstddef>

using CARD8 = unsigned char;
using CARD16 = unsigned short;

/// A counted byte string.  The holder of the record owns `data`; copying the
/// record hands the body over, and exactly one holder releases it.  An empty
/// ARRAY8 has length 0 and may or may not have a body.
struct ARRAY8 {
    CARD16 length;
    CARD8 *data;
};

/// A counted list of ARRAY8 values; owns `data` (null when count is 0).
struct ARRAYofARRAY8 {
    CARD8 count;
    ARRAY8 *data;
};

struct MessageHeader {
    CARD16 version;
    CARD16 opcode;
    CARD16 length; ///< bytes that follow the 6 header bytes
};

/// One message being written (at `pointer`, bounded by `size`) or read (at
/// `pointer`, bounded by `count`).  All zero is a valid empty buffer.  A
/// buffer laid over the caller's own storage may be given only to the value
/// writers: WriteHeader and ReceiveMessage replace a body that is too small.
struct WireBuffer {
    CARD8 *data;
    int size;
    int pointer;
    int count;
};

constexpr int kStandardBodySize = 8192; ///< every body the codec allocates
constexpr int kHeaderSize = 6;          ///< smallest acceptable datagram

constexpr CARD16 kXdmcpVersion = 1;
constexpr CARD16 kOpcodeBroadcastQuery = 1;
constexpr CARD16 kOpcodeQuery = 2;
constexpr CARD16 kOpcodeWilling = 5;
constexpr CARD16 kOpcodeUnwilling = 6;

/// malloc(size), with 0 made 1 so that success never yields null.
void *AllocBytes(std::size_t size);
/// free(block); null is ignored.
void ReleaseBytes(void *block);

/// Gives `array` an uninitialised body of `length` bytes.  `array` must hold
/// no body; on failure it is left unchanged.
int AllocArray8(ARRAY8 *array, int length);
/// Releases the body and leaves the record empty; safe to repeat.
void ReleaseArray8(ARRAY8 *array);
/// 1 when both have the same length and bytes.
int Array8Equal(const ARRAY8 *a, const ARRAY8 *b);

/// Readers take values at `pointer`, up to `count`, and move `pointer` past
/// them.  A failed read stores nothing in `out`, but the bytes a multi-byte
/// read took before it ran out stay taken: `pointer` is not moved back, and
/// the caller abandons the message.
int ReadCard8(WireBuffer *buffer, CARD8 *out);
int ReadCard16(WireBuffer *buffer, CARD16 *out);
/// Reads a length and that many bytes into a new body.  On failure the
/// record is left empty with no body, so releasing it is harmless.
int ReadArray8(WireBuffer *buffer, ARRAY8 *array);
/// On failure the fields read before it hold their values.
int ReadHeader(WireBuffer *buffer, MessageHeader *header);

/// Writers put values at `pointer`, up to `size`, and move `pointer` past
/// them.  A failed write leaves the bytes written before the failure in the
/// body, with `pointer` after them.
int WriteCard8(WireBuffer *buffer, unsigned value);
int WriteCard16(WireBuffer *buffer, unsigned value);
int WriteArray8(WireBuffer *buffer, const ARRAY8 *array);
int WriteArrayOfArray8(WireBuffer *buffer, const ARRAYofARRAY8 *arrays);
/// Starts a new message: resets `pointer` and writes the header, first
/// giving the buffer an 8192-byte body if the message would not fit.  When
/// that body cannot be allocated, the buffer is left as it was, `pointer`
/// included.
int WriteHeader(WireBuffer *buffer, const MessageHeader *header);

/// Receives one datagram into `buffer` (growing its body to 8192 bytes if
/// smaller, or going on with the body it has when that cannot be
/// allocated), with `pointer` at its start.  Fails, with `count` 0, on an
/// error or fewer than 6 bytes.
int ReceiveMessage(int socket, WireBuffer *buffer, sockaddr *from,
                   socklen_t *fromLength);
/// Sends the `pointer` bytes written so far as one datagram; 1 only when
/// all of them went out.  The buffer is left as it was, whatever happens.
int SendMessage(int socket, const WireBuffer *buffer, const sockaddr *to,
                socklen_t toLength);
