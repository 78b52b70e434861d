// The options and resources that fill the launch settings
// (shell/settings), and the String-to-ARRAY8 converter that turns
// hexadecimal resource text into bytes.
#pragma once

#include <X11/Intrinsic.h>

/// "-vornaddress", "-clientaddress", "-connectionType", "-session" and
/// "-station" (the resources of selection/session), "-scale" and "-contrast"
/// (those of shell/variants), for toolkit initialisation.
extern XrmOptionDescRec settingsOptions[];
extern const Cardinal settingsOptionCount;

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
