// The words on the command line that are for the person, not for the
// toolkit or the hosts: -help and -version, answered before any display is
// opened, and the options nobody knows, which are never taken for hosts.
#pragma once

#include <cstdio>

enum class Asked { kRun, kHelp, kVersion };

/// What the words of `argv` (argv[0] first) ask for: the first of -help,
/// --help, -version and --version, if any, answers the run.
Asked AskedFor(char *const *argv);
/// The first word left by the toolkit (null-terminated `words`) that
/// begins with "-": an option unknown to hostpick, as no host name begins
/// so.  Null when none does.
const char *UnknownOption(char *const *words);
/// Writes the synopsis of every option to `out`.
void PrintSynopsis(std::FILE *out);
/// "hostpick VERSION".
void PrintVersion(std::FILE *out);
