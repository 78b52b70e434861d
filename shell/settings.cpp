#include "shell/settings.h"

LaunchSettings settings;

namespace {

int HexValue(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    // Lower-case digits, and anything that is no digit at all: callers that
    // care look at the error flag.
    return c - 'a' + 10;
}

} // namespace

bool HexToBytes(const char *text, CARD8 *out, int length) {
    bool valid = length % 2 == 0;
    for (; length >= 2; length -= 2, text += 2, out++) {
        int value[2];
        for (int i = 0; i < 2; i++) {
            int c = static_cast<unsigned char>(text[i]);
            // Upper case decodes rightly but counts as an error, so that an
            // upper-case query target stays a host name.
            if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'f'))
                valid = false;
            value[i] = HexValue(c);
        }
        *out = static_cast<CARD8>((16 * value[0] + value[1]) & 0xff);
    }
    return valid;
}
