// Reply intake: takes the hosts' WILLING and UNWILLING answers off the
// query socket and hands them to the host table.
#pragma once

#include <X11/Intrinsic.h>

/// Toolkit input callback for a query socket, `*source`, of either family.
/// Receives the datagrams waiting there, at most 64 in one call and none while
/// the window has an event waiting; a well-formed WILLING or UNWILLING reply of
/// version 1 goes to RecordHost, anything else is dropped silently, and every
/// body read for it is released.  Past kMostHosts hosts a new sender is
/// dropped, unless it is a query target.  Then asks the list view to show the
/// batch (RefreshSoon).
void HandleReply(XtPointer clientData, int *source, XtInputId *id) noexcept;
