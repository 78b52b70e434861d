// Launch settings: what the display manager tells the program on its
// command line or through resources, and the String-to-ARRAY8 converter
// that turns hexadecimal resource text into bytes.
#pragma once

#include <X11/Intrinsic.h>

#include "xdmcp/wire.h"

/// Filled once by the toolkit during start-up, read-only afterwards.  The
/// ARRAY8 records and their bodies live until the process ends.
struct LaunchSettings {
    ARRAY8 *vornAddress;   ///< display manager's socket address; null if absent
    ARRAY8 *clientAddress; ///< the display's address, echoed back; may be null
    int connectionType;    ///< echoed back as a CARD16; 0 if absent
};

extern LaunchSettings settings;

/// "-vornaddress", "-clientaddress", "-connectionType", "-session" (the
/// resource "session" of selection/session), "-scale" and "-contrast"
/// (those of shell/variants), for toolkit initialisation.
extern XrmOptionDescRec settingsOptions[];
extern const Cardinal settingsOptionCount;

/// Decodes `length` characters of `text` into length / 2 bytes at `out`
/// (a leftover character is dropped); digits may be in either case.
/// Returns 0 when every character was a digit 0-9 or a-f and the length
/// even, 1 otherwise (upper case included); the bytes are written either
/// way.
int HexToBytes(const char *text, CARD8 *out, int length);

/// Old-style toolkit converter from String to "ARRAY8".  Yields a pointer to
/// a new ARRAY8 whose body holds the decoded bytes.  Text that is not an
/// even number of hexadecimal digits draws the toolkit's conversion warning
/// and is decoded all the same.  A value of more than 65535 bytes, or a body
/// that cannot be allocated, draws the warning and yields an empty ARRAY8.
void StringToArray8(XrmValue *args, Cardinal *argCount, XrmValue *source,
                    XrmValue *destination) noexcept;

/// Fills `settings` from the resource database of `topLevel`; the converter
/// must be registered first.
void LoadSettings(Widget topLevel);

/// An application resource whose default is the resource file's alone
/// (compiled in as the fallback resources), so that the code names none:
/// the `field` of the record type `Record`, of `type`, called `name` and of
/// class `className`.  Absent from every file, it is zero.
#define FILE_RESOURCE(Record, name, className, type, field)                    \
    FileResource(name, className, type, sizeof(Record::field),                 \
                 XtOffsetOf(Record, field))
XtResource FileResource(const char *name, const char *className,
                        const char *type, Cardinal size, Cardinal offset);
