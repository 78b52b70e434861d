// Reply intake: takes the hosts' WILLING and UNWILLING answers off the
// query socket and hands them to the host table.
#pragma once

#include <X11/Intrinsic.h>

/// Toolkit input callback for `querySocket`; its arguments are ignored.
/// Receives one datagram; a well-formed WILLING or UNWILLING reply of
/// version 1 goes to RecordHost, anything else is dropped silently.  Every
/// body read for the datagram is released exactly once unless the host
/// table took it over.
void HandleReply(XtPointer clientData, int *source, XtInputId *id);
