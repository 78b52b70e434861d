// The nested server's authorization file: one MIT-MAGIC-COOKIE-1 of its
// own, in a file only the user can read, which the server reads once.
#pragma once

#include "selection/server.h"

/// Writes the server's authorization file: one entry for any address and
/// display with a new random cookie, mode 0600, in $XDG_RUNTIME_DIR where
/// it is a folder of the user's with no permission for anyone else, or
/// else in a private folder of /tmp.  False, with the error number in `*error`,
/// when it cannot.
bool WriteAuthFile(Server *server, int *error);
/// Removes the file, and the folder made for it.
void RemoveAuthFile(Server *server);
