#include <gtest/gtest.h>

#include <string>

#include "selection/latin1.h"

namespace {

TEST(Latin1, EveryByteGoesToUTF8AndBack) {
    std::string all;
    for (int c = 1; c < 256; c++)
        all += static_cast<char>(c);
    std::string utf8 = Latin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 127u + 2 * 128u);
    EXPECT_EQ(Utf8ToLatin1(utf8), all);
}

TEST(Latin1, WhatLatin1LacksIsOneQuestionMarkACharacterOrStrayByte) {
    const struct {
        std::string utf8, latin1;
    } rows[] = {
        {"Grüße", "Gr\xfc\xdf"
                  "e"},
        {"東京", "??"},     // three bytes each
        {"a😀b", "a?b"},     // four bytes
        {"\xc3", "?"},      // cut at the end
        {"\xc3x", "?x"},    // cut before an ASCII byte
        {"\xc0\xaf", "??"}, // overlong "/"
        {"\x80\xbf", "??"}, // stray continuation bytes
        {"\xff\xfe", "??"}, // never in UTF-8
        {"\xe6\x9d", "??"}, // a cut three-byte character
        {"", ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Utf8ToLatin1(row.utf8), row.latin1) << row.utf8;
}

} // namespace
