#include <gtest/gtest.h>

#include "shell/settings.h"

#include <string>
#include <vector>

#include "tests/alloc_fail.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(HexToBytes, DecodesLowerCaseDigits) {
    unsigned char out[4];
    EXPECT_EQ(HexToBytes("c0a80001", out, 8), 0);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xc0, 0xa8, 0x00, 0x01}));
}

TEST(HexToBytes, FlagsInvalidDigitsButWritesEveryPair) {
    unsigned char out[4];
    EXPECT_EQ(HexToBytes("c0a8000g", out, 8), 1);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xc0, 0xa8, 0x00, 0x10}));
}

TEST(HexToBytes, UpperCaseDecodesRightlyButCountsAsInvalid) {
    unsigned char out[4];
    EXPECT_EQ(HexToBytes("0A0b0FA0", out, 8), 1);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x0a, 0x0b, 0x0f, 0xa0}));
}

TEST(HexToBytes, OddLengthIsAnErrorAndDropsTheLastDigit) {
    unsigned char out[2] = {0, 0x77};
    EXPECT_EQ(HexToBytes("abc", out, 3), 1);
    EXPECT_EQ(out[0], 0xab);
    EXPECT_EQ(out[1], 0x77);
}

TEST(StringToArray8, BodyAllocationFailureWarnsAndYieldsAnEmptyArray) {
    char text[] = "0a0b";
    XrmValue source = {sizeof(text), text};
    XrmValue destination = {0, nullptr};
    testing::internal::CaptureStderr();
    FailAllocation();
    StringToArray8(nullptr, nullptr, &source, &destination);
    AllowAllocations();
    std::string warning = testing::internal::GetCapturedStderr();
    ASSERT_EQ(destination.size, sizeof(ARRAY8 *));
    const ARRAY8 *result = *reinterpret_cast<ARRAY8 **>(destination.addr);
    EXPECT_EQ(result->length, 0);
    EXPECT_EQ(result->data, nullptr);
    EXPECT_NE(warning.find("ARRAY8"), std::string::npos) << warning;
    XtFree(reinterpret_cast<char *>(const_cast<ARRAY8 *>(result)));
}

} // namespace
