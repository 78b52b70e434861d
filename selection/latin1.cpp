#include "selection/latin1.h"

std::string Latin1ToUtf8(const std::string &latin1) {
    std::string utf8;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xc0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return utf8;
}

std::string Utf8ToLatin1(const std::string &utf8) {
    std::string latin1;
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        // A byte that starts no character, or an overlong one, is one.
        std::size_t length = c < 0xc2 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        bool whole = i + length <= utf8.size();
        for (std::size_t k = 1; whole && k < length; k++)
            whole = (utf8[i + k] & 0xc0) == 0x80;
        if (c < 0x80)
            latin1 += static_cast<char>(c);
        else if (whole && length == 2 && c <= 0xc3) // U+0080 to U+00FF
            latin1 += static_cast<char>((c & 0x03) << 6 | (utf8[i + 1] & 0x3f));
        else
            latin1 += '?';
        i += whole ? length : 1;
    }
    return latin1;
}
