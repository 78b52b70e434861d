// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "xdmcp/wire.h"

#include <cstring>
#include <vector>

#include "tests/alloc_fail.h"
#include "tests/udp.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A read buffer over a copy of `bytes`.
struct ReadFixture {
    Bytes storage;
    WireBuffer buffer;
    explicit ReadFixture(Bytes bytes) : storage(std::move(bytes)) {
        buffer = {storage.data(), static_cast<int>(storage.size()), 0,
                  static_cast<int>(storage.size())};
    }
};

Bytes Written(const WireBuffer &b) {
    return Bytes(b.data, b.data + b.pointer);
}

TEST(WireValues, Card16IsHighByteFirstBothWays) {
    ReadFixture r({0x01, 0x02});
    CARD16 value = 0;
    ASSERT_EQ(ReadCard16(&r.buffer, &value), 1);
    EXPECT_EQ(value, 258);

    unsigned char area[2];
    WireBuffer w = {area, 2, 0, 0};
    ASSERT_EQ(WriteCard16(&w, 258), 1);
    EXPECT_EQ(Written(w), (Bytes{0x01, 0x02}));
}

TEST(WireValues, ReadsStopAtTheReceivedCount) {
    ReadFixture r({0x7f, 0x01, 0x02});
    r.buffer.count = 2; // the third byte was never received
    CARD8 byte = 0;
    ASSERT_EQ(ReadCard8(&r.buffer, &byte), 1);
    CARD16 value = 0xbeef;
    EXPECT_EQ(ReadCard16(&r.buffer, &value), 0);
    EXPECT_EQ(value, 0xbeef) << "a failed read stores nothing";
    EXPECT_EQ(r.buffer.pointer, 2)
        << "the byte read before the failure stays consumed";
    EXPECT_EQ(ReadCard8(&r.buffer, &byte), 0);
}

TEST(WireValues, ReadHeaderNeedsAllSixBytes) {
    ReadFixture whole({0x00, 0x01, 0x00, 0x05, 0x01, 0x02});
    MessageHeader h;
    ASSERT_EQ(ReadHeader(&whole.buffer, &h), 1);
    EXPECT_EQ(h.version, 1);
    EXPECT_EQ(h.opcode, 5);
    EXPECT_EQ(h.length, 258);

    ReadFixture cut({0x00, 0x01, 0x00, 0x05, 0x01});
    EXPECT_EQ(ReadHeader(&cut.buffer, &h), 0);
}

TEST(WireArray8, EmptyArrayHasNoBodyAndConsumesTwoBytes) {
    ReadFixture r({0x00, 0x00, 0x99});
    ARRAY8 a = {7, nullptr};
    ASSERT_EQ(ReadArray8(&r.buffer, &a), 1);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(r.buffer.pointer, 2);
}

TEST(WireArray8, ArrayRunningPastTheEndLeavesAnEmptyRecord) {
    ReadFixture r({0x00, 0x03, 0x41, 0x42});
    ARRAY8 a = {0, nullptr};
    EXPECT_EQ(ReadArray8(&r.buffer, &a), 0);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.data, nullptr);
    ReleaseArray8(&a); // releases nothing; ASan would catch a double free
    ReleaseArray8(&a);
}

TEST(WireArray8, ReadsTheBodyBytes) {
    ReadFixture r({0x00, 0x03, 'a', 'b', 'c'});
    ARRAY8 a = {0, nullptr};
    ASSERT_EQ(ReadArray8(&r.buffer, &a), 1);
    ASSERT_EQ(a.length, 3);
    EXPECT_EQ(std::memcmp(a.data, "abc", 3), 0);
    ReleaseArray8(&a);
}

TEST(WireArray8, BodyAllocationFailureLeavesAnEmptyRecord) {
    ReadFixture r({0x00, 0x02, 'a', 'b'});
    ARRAY8 a = {0, nullptr};
    FailAllocation();
    EXPECT_EQ(ReadArray8(&r.buffer, &a), 0);
    AllowAllocations();
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.data, nullptr);
}

TEST(WireArray8, AllocOfZeroHasABodyAndEqualsAnArrayWithout) {
    ARRAY8 allocated = {0, nullptr};
    ASSERT_EQ(AllocArray8(&allocated, 0), 1);
    EXPECT_NE(allocated.data, nullptr);
    EXPECT_EQ(allocated.length, 0);
    ARRAY8 bodiless = {0, nullptr};
    EXPECT_EQ(Array8Equal(&allocated, &bodiless), 1);
    ReleaseArray8(&allocated);
    EXPECT_EQ(allocated.data, nullptr);
}

TEST(WireArray8, AllocFailureLeavesTheRecordUnchanged) {
    ARRAY8 a = {5, nullptr};
    FailAllocation();
    EXPECT_EQ(AllocArray8(&a, 3), 0);
    AllowAllocations();
    EXPECT_EQ(a.length, 5);
    EXPECT_EQ(a.data, nullptr);
}

TEST(WireArray8, EqualityComparesLengthThenBytes) {
    unsigned char ab[] = {'a', 'b'};
    unsigned char ac[] = {'a', 'c'};
    unsigned char a[] = {'a'};
    ARRAY8 xab = {2, ab};
    ARRAY8 xac = {2, ac};
    ARRAY8 xa = {1, a};
    ARRAY8 xab2 = {2, ac};
    xab2.data = ab;
    EXPECT_EQ(Array8Equal(&xab, &xac), 0);
    EXPECT_EQ(Array8Equal(&xa, &xab), 0);
    EXPECT_EQ(Array8Equal(&xab, &xab2), 1);
}

TEST(WireWrite, WritesStopAtTheCapacity) {
    unsigned char area[3] = {0, 0, 0};
    WireBuffer w = {area, 3, 3, 0};
    EXPECT_EQ(WriteCard8(&w, 0x55), 0);
    EXPECT_EQ(w.pointer, 3);

    w.pointer = 2;
    EXPECT_EQ(WriteCard16(&w, 0x0102), 0);
    EXPECT_EQ(area[2], 0x01) << "the high byte fits and is stored";
    EXPECT_EQ(w.pointer, 3);
}

TEST(WireWrite, Array8AndArrayOfArray8Layout) {
    unsigned char area[32];
    WireBuffer w = {area, sizeof(area), 0, 0};
    unsigned char x[] = {'x'};
    unsigned char yz[] = {'y', 'z'};
    ARRAY8 elements[] = {{1, x}, {2, yz}};
    ARRAYofARRAY8 arrays = {2, elements};
    ASSERT_EQ(WriteArrayOfArray8(&w, &arrays), 1);
    EXPECT_EQ(Written(w), (Bytes{2, 0, 1, 'x', 0, 2, 'y', 'z'}));

    ARRAYofARRAY8 none = {0, nullptr};
    w.pointer = 0;
    ASSERT_EQ(WriteArrayOfArray8(&w, &none), 1);
    EXPECT_EQ(Written(w), (Bytes{0}));
}

TEST(WireWrite, Card16KeepsTheLowSixteenBits) {
    unsigned char area[2];
    WireBuffer w = {area, 2, 0, 0};
    ASSERT_EQ(WriteCard16(&w, 65537), 1);
    EXPECT_EQ(Written(w), (Bytes{0x00, 0x01}));
}

TEST(WireHeader, StartsAMessageInAFreshStandardBody) {
    WireBuffer w = {nullptr, 0, 0, 0};
    MessageHeader h = {1, 2, 1};
    ASSERT_EQ(WriteHeader(&w, &h), 1);
    EXPECT_EQ(w.size, kStandardBodySize);
    EXPECT_EQ(Written(w), (Bytes{0, 1, 0, 2, 0, 1}));
    ARRAYofARRAY8 none = {0, nullptr};
    ASSERT_EQ(WriteArrayOfArray8(&w, &none), 1);
    EXPECT_EQ(Written(w), (Bytes{0, 1, 0, 2, 0, 1, 0}));

    // A second message reuses the body and starts over.
    CARD8 *body = w.data;
    ASSERT_EQ(WriteHeader(&w, &h), 1);
    EXPECT_EQ(w.data, body);
    EXPECT_EQ(w.pointer, 6);
    ReleaseBytes(w.data);
}

TEST(WireHeader, AllocationFailureLeavesTheBufferAsItWas) {
    unsigned char area[4];
    WireBuffer w = {area, 4, 3, 0};
    MessageHeader h = {1, 2, 1};
    FailAllocation();
    EXPECT_EQ(WriteHeader(&w, &h), 0);
    AllowAllocations();
    EXPECT_EQ(w.data, area);
    EXPECT_EQ(w.size, 4);
    EXPECT_EQ(w.pointer, 3);
}

TEST(WireHeader, MessageLargerThanTheStandardBodyFailsAtByte8193) {
    WireBuffer w = {nullptr, 0, 0, 0};
    MessageHeader h = {1, 5, 9000};
    ASSERT_EQ(WriteHeader(&w, &h), 1);
    EXPECT_EQ(w.size, kStandardBodySize);
    int written = 0;
    while (WriteCard8(&w, 0xaa))
        written++;
    EXPECT_EQ(6 + written, kStandardBodySize);
    ReleaseBytes(w.data);
}

// Datagram transfer over real loopback sockets.
class WireTransfer : public testing::Test {
  protected:
    void SetUp() override {
        receiver = BindUdp();
        sender = BindUdp();
    }
    void TearDown() override {
        CloseUdp(&receiver);
        CloseUdp(&sender);
        ReleaseBytes(buffer.data);
    }
    int Receive() {
        from = {};
        fromLength = sizeof(from);
        return ReceiveMessage(receiver.fd, &buffer,
                              reinterpret_cast<sockaddr *>(&from), &fromLength);
    }
    UdpSocket receiver;
    UdpSocket sender;
    WireBuffer buffer = {nullptr, 0, 0, 0};
    sockaddr_in from{};
    socklen_t fromLength = 0;
};

TEST_F(WireTransfer, AcceptsSixBytesAndRefusesFive) {
    SendBytes(sender, receiver, {0, 1, 0, 5, 0, 0});
    ASSERT_EQ(Receive(), 1);
    EXPECT_EQ(buffer.count, 6);
    EXPECT_EQ(buffer.pointer, 0);
    EXPECT_EQ(from.sin_port, sender.address.sin_port);
    EXPECT_EQ(fromLength, sizeof(sockaddr_in));

    SendBytes(sender, receiver, {0, 1, 0, 5, 0});
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(buffer.count, 0);

    SendBytes(sender, receiver, {});
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(buffer.count, 0);
}

TEST_F(WireTransfer, BodySmallerThanStandardIsReplacedOnce) {
    buffer.data = static_cast<CARD8 *>(AllocBytes(kStandardBodySize - 1));
    buffer.size = kStandardBodySize - 1;
    SendBytes(sender, receiver, {0, 1, 0, 5, 0, 0});
    ASSERT_EQ(Receive(), 1);
    EXPECT_EQ(buffer.size, kStandardBodySize);
    CARD8 *body = buffer.data;
    SendBytes(sender, receiver, {0, 1, 0, 5, 0, 0});
    ASSERT_EQ(Receive(), 1);
    EXPECT_EQ(buffer.data, body);
}

TEST_F(WireTransfer, DatagramLargerThanTheBodyIsCut) {
    Bytes big(kStandardBodySize + 100, 0x5a);
    SendBytes(sender, receiver, big);
    ASSERT_EQ(Receive(), 1);
    EXPECT_EQ(buffer.count, kStandardBodySize);
}

TEST_F(WireTransfer, BodilessBufferStillTakesTheDatagramOff) {
    SendBytes(sender, receiver, {0, 1, 0, 5, 0, 0});
    FailAllocation();
    EXPECT_EQ(Receive(), 0);
    AllowAllocations();
    EXPECT_EQ(buffer.count, 0);
    EXPECT_TRUE(ReceiveBytes(receiver, 0).empty())
        << "the datagram was consumed";
}

TEST_F(WireTransfer, ReceiveErrorReportsFailure) {
    WireBuffer b = {nullptr, 0, 0, 5};
    sockaddr_in f;
    socklen_t fl = sizeof(f);
    EXPECT_EQ(ReceiveMessage(-1, &b, reinterpret_cast<sockaddr *>(&f), &fl), 0);
    EXPECT_EQ(b.count, 0);
    ReleaseBytes(b.data);
}

TEST_F(WireTransfer, SendsExactlyTheWrittenBytesAndMayRepeat) {
    MessageHeader h = {1, 2, 1};
    ARRAYofARRAY8 none = {0, nullptr};
    ASSERT_EQ(WriteHeader(&buffer, &h), 1);
    ASSERT_EQ(WriteArrayOfArray8(&buffer, &none), 1);
    const auto *to = reinterpret_cast<const sockaddr *>(&receiver.address);
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(SendMessage(sender.fd, &buffer, to, sizeof(sockaddr_in)), 1);
        EXPECT_EQ(ReceiveBytes(receiver, 1000), (Bytes{0, 1, 0, 2, 0, 1, 0}));
    }
    EXPECT_EQ(SendMessage(-1, &buffer, to, sizeof(sockaddr_in)), 0);
}

} // namespace
