// A simulated XDMCP network for the end-to-end tests and the demo.
//
// Every piece lives in network namespaces that this code creates and
// removes: a client namespace, where hostpick runs, with one bridge per LAN;
// one namespace per simulated host, joined to its LAN's bridge by a veth
// pair.  Each host listens on UDP port 177, logs every datagram it receives
// with its time and destination, and answers every query with its list of
// replies.  Names resolve from the client namespace's own hosts file, never
// through DNS.  Nothing is sent from the machine's own namespace.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/lab/replies.h"

/// A search path for the toolkit's resource files that finds the build
/// tree's, as installed: a language's first, then the main one.
std::string XFileSearchPath();

/// One datagram a simulated host received.
struct Arrival {
    double ms; ///< since the network was built
    int host;  ///< index from AddHost
    Bytes bytes;
    std::string to; ///< destination address: the host's own, a broadcast
                    ///< address or a multicast group
    sockaddr_storage from;
    int hopLimit = -1; ///< of an IPv6 datagram
};

/// How a simulated host uses a display it is given to manage.
struct Managing {
    int setupDelayMs = 0; ///< from its TCP connection to its X set-up
    bool grab = false;    ///< grabs the server and keeps it, else maps a window
};

/// The networks a LAN carries.
enum class Stack { kIPv4, kIPv6, kDual };

/// A process started in the client namespace; ended by its PID.
struct Program {
    pid_t pid = -1;
    std::string out; ///< file holding its standard output
    std::string err; ///< file holding its standard error
    int status = -1; ///< exit status once it has ended, else -1

    /// Waits up to `ms` for the end; returns the exit status, or -1 if it is
    /// still running (or died by a signal: then `status` is 128 + signal).
    int Wait(int ms);
    void Kill();
    std::string Stdout() const;
    std::string Stderr() const;
    /// The processes it started that have not been reaped.
    std::vector<pid_t> Children() const;
};

class Network {
  public:
    Network();
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    /// LAN n is 10.(55+n).0.0/24 (or /`prefix`) on bridge "lan<n>" in the
    /// client namespace, whose own address there is 10.(55+n).0.1; with
    /// IPv6, fd00:(55+n)::/64, the client at fd00:(55+n)::1.  Duplicate
    /// address detection is off, so every address is usable at once.
    void AddLan(int lan, bool up = true, int prefix = 24,
                Stack stack = Stack::kIPv4);
    /// The client reaches LAN `lan` (IPv4) by a route alone, as a subnet
    /// behind a router: its own address there has no broadcast address,
    /// so that no BROADCAST goes there.
    void RouteOnly(int lan);
    /// A host at 10.(55+lan).0.<octet>, and on an IPv6 LAN at
    /// fd00:(55+lan)::<octet> and fe80::(55+lan):<octet>, joined to the
    /// XDMCP group ff02::12b, that sends `replies` back for each datagram it
    /// receives (none: it stays silent).  Returns its index.
    int AddHost(int lan, int octet, std::vector<Bytes> replies);
    /// Host `host` answers a REQUEST, a display's request to be managed,
    /// with `reply`; without one a host leaves every REQUEST unanswered.
    void AnswerRequests(int host, Bytes reply);
    /// Host `host` grants every REQUEST with an ACCEPT that gives the
    /// display a cookie of the host's, and takes the display's MANAGE as a
    /// session's first client does: it connects to the display's port at
    /// the address the MANAGE came from, sends its X connection set-up
    /// `how.setupDelayMs` later, then maps a window or grabs the server.
    /// Its connections stay open until the network goes.
    void ManageDisplays(int host, Managing how);
    /// How many of the host's connections to displays have had their
    /// set-up and are still open: the server has not closed them.
    int OpenSessions(int host);
    /// Host `host` grabs the servers of its open sessions, and keeps them
    /// grabbed; true once each server has answered a request made after
    /// its grab.
    bool GrabSessions(int host);
    /// A namespace of its own for a real host at 10.(55+lan).0.<octet> (and
    /// on an IPv6 LAN fd00:(55+lan)::<octet>), joined to the LAN; its name.
    std::string AddRealHost(int lan, int octet);
    /// Host `host` answers only its first `queries` queries from now on.
    void AnswerOnly(int host, int queries);
    /// From its second query on, host `host` sends `replies` instead.
    void Then(int host, std::vector<Bytes> replies);
    /// After its first query, host `host` also sends a WILLING reply named
    /// `name` every `everyMs`, each with a new status.
    void Chatter(int host, const std::string &name, int everyMs);
    /// replies.size() hosts in one namespace, at 10.(55+lan).0.<first> and
    /// the addresses after it (past .255 on a LAN wider than /24): host i
    /// answers with replies[i], from its own address, a broadcast query or
    /// a query to its address.  Returns the index under which their
    /// arrivals are logged.
    int AddCrowd(int lan, int first, std::vector<Bytes> replies);
    /// A line for the client namespace's hosts file: "10.55.0.11 name".
    void AddName(const std::string &line);
    /// A name server at 10.(55+lan).0.<octet> that never answers (a bound
    /// socket that nobody reads), asked after the hosts file.
    void AddDeadNameServer(int lan, int octet);
    /// Whether that name server has been asked anything.
    bool DeadNameServerAsked();
    /// A real name server, dnsmasq, at 10.(55+lan).0.<octet>, the client's
    /// only source of names ("hosts: dns"), with no upstream: it knows the
    /// records `records` gives as its options (--host-record=name,address,
    /// --ptr-record=reverse-name,name, --server=/domain/address).  Ended by
    /// its PID with the network.
    void AddNameServer(int lan, int octet,
                       const std::vector<std::string> &records);
    /// Starts answering; hosts added later are not served.
    void Start();

    std::vector<Arrival> Arrivals();
    /// How many hosts have replied to a query so far.
    int Replying();
    /// A UDP socket on port 177 in the client namespace itself, which sees
    /// the broadcasts that hostpick sends, as every local socket does.
    void ListenInClient();
    /// Datagrams the client namespace's own listener received.
    std::vector<Arrival> ClientArrivals();
    /// A TCP listener for the display manager in the client namespace, on
    /// 127.0.0.1 (::1 with `ipv6`); returns its port.
    int ListenForReport(bool ipv6 = false);
    /// The client namespace without IPv6 (disable_ipv6), for the LANs
    /// added after.
    void DisableIPv6();
    /// The bytes of each connection made to that listener so far, once
    /// there is one, or after `waitMs`.
    std::vector<Bytes> Reports(int waitMs = 0);
    /// A counter from the client namespace's /proc/net/snmp, e.g. "Ip",
    /// "OutNoRoutes".
    long Snmp(const std::string &group, const std::string &field);

    /// Later Runs write the program's standard output to `path`.
    void StdoutTo(const std::string &path) {
        stdout_ = path;
    }
    /// The programs' XDG_STATE_HOME, the lab's, removed with it.
    std::string StateFolder() const {
        return "/tmp/" + prefix_ + "-state";
    }
    /// Later Runs set `name` to `value` in the program's environment.
    void SetEnv(const std::string &name, const std::string &value) {
        env_.emplace_back(name, value);
    }
    /// Runs hostpick (or `binary`) with `args` in the client namespace,
    /// with the build tree's resource files (XFileSearchPath).
    Program Run(const std::vector<std::string> &args,
                const std::string &binary = "");
    /// Later Runs start the program under `command` (such as valgrind and
    /// its options), which is given the program and its arguments.
    void RunUnder(std::vector<std::string> command) {
        runUnder_ = std::move(command);
    }
    /// Runs a command there and returns its exit status.
    int Exec(const std::string &command);

    const std::string &client() const {
        return client_;
    }
    double Now() const;

  private:
    void Serve();

    std::string prefix_;
    std::string client_;
    std::vector<std::string> namespaces_;
    struct Host {
        int fd = -1;  ///< IPv4, on port 177
        int fd6 = -1; ///< IPv6, on port 177
        std::vector<Bytes> replies;
        int answersLeft = -1; ///< negative: no limit
        std::vector<Bytes> later;
        bool changes = false;       ///< answers with `later` after its first
        std::vector<in_addr> crowd; ///< a crowd's addresses, one per reply
        std::string chatter;        ///< the name of its chatter, if any
        int chatterMs = 0;
        sockaddr_in chatterTo{}; ///< whom it chatters to, once queried
        int said = 0;
        Bytes requestReply; ///< the answer to a REQUEST, if any
        std::string ns;
        bool manages = false; ///< ManageDisplays
        Managing how;
        std::vector<unsigned> managed; ///< session IDs it has connected for
        std::vector<int> sessions;     ///< its connections to displays
        bool replied = false;          ///< it has sent a reply to a query
    };
    std::string Join(int lan, int octet, const std::string &ns);
    void Chat(double now);
    void Answer(Host &h, const Arrival &a, int fd);
    bool Grant(Host &h, const Arrival &a, int fd);
    void Manage(int host, sockaddr_storage display, int number);
    std::vector<std::thread> clients_; ///< of the managing hosts
    std::vector<Host> hosts_;
    int clientUdp_ = -1;
    int deadNameServer_ = -1;
    int reportFd_ = -1;
    std::vector<Bytes> reports_;
    std::vector<Arrival> arrivals_;
    std::vector<Arrival> clientArrivals_;
    std::vector<pid_t> programs_;
    std::vector<std::string> runUnder_;
    std::string stdout_;
    double nextChat_ = 0;
    std::vector<std::pair<std::string, std::string>> env_;
    std::map<int, int> prefixes_; ///< each LAN's prefix length
    std::map<int, Stack> stacks_;
    std::thread server_;
    std::atomic<bool> stop_{false};
    int wake_[2] = {-1, -1};
    double epoch_;
};
