// The hosts a person logs in to, remembered between runs in the session
// and station modes: the file, one host a line, its numeric address, a
// blank and the name its row showed (for people reading the file; a
// remembered name confirms nothing).  Newest first, at most
// kMostRemembered.  It touches no X and no socket.
#pragma once

#include <string>
#include <vector>

constexpr std::size_t kMostRemembered = 20;

struct Remembered {
    std::string address; ///< numeric, IPv4 or IPv6 (a link-local one with
                         ///< "%" and its interface)
    std::string name;
};

/// What a file held: its hosts, newest first, at most kMostRemembered;
/// how many lines could not be read as a host; and, when the file exists
/// but cannot be read, why (else empty).
struct RememberedFile {
    std::vector<Remembered> hosts;
    int badLines = 0;
    std::string unreadable;
};

/// Where the file is: $XDG_STATE_HOME/hostpick/hosts, else
/// $HOME/.local/state/hostpick/hosts; empty when neither is set.
std::string RememberedPath();

/// Reads the file at `path`; a file that does not exist holds no host.
RememberedFile ReadRemembered(const std::string &path);

/// `hosts` with `newest` first and in no other place, cut to
/// kMostRemembered.
std::vector<Remembered> WithNewest(std::vector<Remembered> hosts,
                                   const Remembered &newest);

/// Writes `hosts` whole to `path` (its folder made, mode 0700, where
/// missing): to a temporary file of mode 0600 beside it, then renamed over
/// it.  0, or the errno of what failed, the file as it was.
int WriteRemembered(const std::string &path,
                    const std::vector<Remembered> &hosts);
