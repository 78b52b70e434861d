#include <gtest/gtest.h>

#include "shell/settings.h"

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(HexToBytes, DecodesLowerCaseDigits) {
    unsigned char out[4];
    EXPECT_TRUE(HexToBytes("c0a80001", out, 8));
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xc0, 0xa8, 0x00, 0x01}));
}

TEST(HexToBytes, FlagsInvalidDigitsButWritesEveryPair) {
    unsigned char out[4];
    EXPECT_FALSE(HexToBytes("c0a8000g", out, 8));
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xc0, 0xa8, 0x00, 0x10}));
}

TEST(HexToBytes, UpperCaseDecodesRightlyButCountsAsInvalid) {
    unsigned char out[4];
    EXPECT_FALSE(HexToBytes("0A0b0FA0", out, 8));
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x0a, 0x0b, 0x0f, 0xa0}));
}

TEST(HexToBytes, OddLengthIsAnErrorAndDropsTheLastDigit) {
    unsigned char out[2] = {0, 0x77};
    EXPECT_FALSE(HexToBytes("abc", out, 3));
    EXPECT_EQ(out[0], 0xab);
    EXPECT_EQ(out[1], 0x77);
}

} // namespace
