// LightDM's XDMCP server as a real host of the lab, for the session
// mode's tests and benchmark.  It runs in a namespace of the lab's
// (Network::AddRealHost) and touches nothing of the machine's own: its
// state folder is a private one bind-mounted over /var/lib/lightdm in a
// mount namespace of its own, its system bus a dbus-daemon of its own, its
// host name its own (a UTS namespace), and it starts no seat.
#pragma once

#include <sys/types.h>

#include <string>

/// True when LightDM and its GTK greeter are installed (scripts/setup
/// installs them without starting or enabling them).
bool LightDMInstalled();

class LightDM {
  public:
    /// Starts LightDM in network namespace `ns` as host `hostname`, and
    /// waits (at most 10 s) until its XDMCP port is open.
    LightDM(const std::string &ns, const std::string &hostname);
    ~LightDM();
    LightDM(const LightDM &) = delete;
    LightDM &operator=(const LightDM &) = delete;

    /// True once its XDMCP port is open, until Stop.
    bool Listening() const {
        return listening_;
    }
    /// Ends LightDM, and so the sessions it manages, and its bus, by their
    /// PIDs.
    void Stop();
    /// What it and its greeters logged, for a test that failed.
    std::string Log() const;

  private:
    std::string dir_;
    pid_t pid_ = -1;
    bool listening_ = false;
};
