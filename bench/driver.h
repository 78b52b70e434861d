// The program's side of a benchmark: hostpick's window and its queries to
// BROADCAST, run by the program's own code, only ever inside a network
// namespace that the benchmark built for them.
#pragma once

#include <string>

/// Opens the window as hostpick does, when the calling process is in
/// namespace `ns` and a running benchmark built it (its name matching
/// `format`, see InBuiltNamespace); otherwise says so on standard error,
/// naming `bench`, and returns false.
bool OpenWindowIn(const char *bench, const std::string &ns, const char *format);

/// Queries BROADCAST, as `hostpick BROADCAST` does; nothing unless
/// OpenWindowIn has succeeded.
void QueryBroadcast();
