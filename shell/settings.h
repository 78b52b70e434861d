// Launch settings: what the display manager tells the program on its
// command line or through resources (read by shell/options), and the
// decoder of hexadecimal text.
#pragma once

#include "xdmcp/wire.h"

/// Filled once by the toolkit during start-up, read-only afterwards.  The
/// ARRAY8 records and their bodies live until the process ends.
struct LaunchSettings {
    ARRAY8 *vornAddress;   ///< display manager's socket address; null if absent
    ARRAY8 *clientAddress; ///< the display's address, echoed back; may be null
    int connectionType;    ///< echoed back as a CARD16; 0 if absent
};

extern LaunchSettings settings;

/// Decodes `length` characters of `text` into length / 2 bytes at `out`
/// (a leftover character is dropped); digits may be in either case.
/// True when every character was a digit 0-9 or a-f and the length even,
/// false otherwise (upper case included); the bytes are written either
/// way.
bool HexToBytes(const char *text, CARD8 *out, int length);
