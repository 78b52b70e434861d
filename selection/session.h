// The session mode: instead of reporting the chosen host, hostpick opens
// that host's login screen in a window of the person's desktop.  It starts
// a nested X server (Xephyr, or the site's command) that asks the host to
// manage it, watches what becomes of it and says so in the heading, and
// asks the hosts again when the session ends.  Once a login shows, its
// clipboard is joined to the desktop's (selection/bridge), where the
// resource "clipboard" allows.  The list stays while sessions run, and
// each session is the person's: it outlives hostpick.
#pragma once

#include <X11/Intrinsic.h>

#include <string>

#include "hosts/table.h"

/// Reads the mode and its texts from the resources of `shell` (the
/// resources "session", "station", "sessionCommand", "stationCommand",
/// "sessionTitle", "clipboard", "clipboardLimit" and the heading's texts);
/// call before the widgets are made.
void LoadSession(Widget shell);
/// In the mode, gives the heading its label ("sessionLabel"); call once
/// the widgets exist, before the heading loads its texts.
void ShowSessionHeading();

/// Called, where set, when a login has shown: with the host's numeric
/// address and the host as its row shows it.
extern void (*loginShown)(const std::string &address, const std::string &host);

/// True when the mode is on (the station's too).
bool SessionMode();
/// True in a station: a terminal whose X server hostpick alone serves.
/// Its window covers its monitor; a login, one at a time, covers it too,
/// started by "stationCommand", and hostpick's window is unmapped while
/// the login shows, and mapped again, with the focus, when it ends.
/// Cancel does nothing; Leave leaves.
bool StationMode();

/// Whether a resource of the session modes that is "true", "false" or
/// "default" turns its feature on: never outside them; by default, in the
/// session mode and not in a station.
bool ModeChooses(const char *asked);

/// Starts the nested server for `host`, the first host of a row, titled
/// with the host as its row shows it, unless the host's login is opening
/// or open already: then says so, and asks the window manager to bring
/// that login's window to the front.  What follows is told in the heading
/// and on standard error.  The server is given, on its command line and
/// nowhere else: the host's numeric address, a descriptor for its display
/// number, an authorization file of its own (mode 0600, removed once the
/// host is connected, or when the server or hostpick exits), the title and
/// a size of three quarters of the window's monitor.  Nothing else from
/// the network reaches it, and the title never starts with "-".  From the
/// first session on, SIGTERM, SIGINT and SIGHUP end hostpick as Cancel
/// does, and then by the same signal.
void OpenSession(const HostEntry *host);
