// The one way the program writes to standard error: a line of its own,
// "hostpick: " and what happened.  The report's own messages, which a
// display manager's users know by their words, keep them.
#pragma once

/// Writes "hostpick: ", the printf-style `format` filled in, and a newline
/// to standard error, in one write.
void Warn(const char *format, ...) __attribute__((format(printf, 1, 2)));
