// The hosts a person logs in to, remembered between runs (selection/
// remembered keeps the file), in the session and station modes where the
// resource "remember" allows: by default in the session mode, and not in a
// station, which one account serves for everyone.  The remembered hosts
// are asked at every ping beside the command line's targets; the host
// opened last is selected as soon as its row shows, unless a row is
// selected already; how many did not answer is told, in the heading and on
// standard error, once a series ends;
// and every login that shows puts its host first in the file.
#pragma once

#include <X11/Intrinsic.h>

#include <string>
#include <vector>

/// Reads the resource "remember" of `shell` and, where it is on, the file;
/// one that cannot be read, or lines of it that cannot, are one line on
/// standard error, and skipped.  Call after LoadSession.
void LoadRemembering(Widget shell);

/// The remembered hosts' addresses, newest first.
std::vector<std::string> RememberedTargets();

/// The login of the host at numeric `address`, its row showing `name`, has
/// shown (selection/session's loginShown, once remembering is on): the
/// host goes first in the file.  A file that cannot be written is one line
/// on standard error.
void Remember(const std::string &address, const std::string &name);
