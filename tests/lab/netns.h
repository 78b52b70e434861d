// Plumbing for the network namespaces that the tests and benchmarks build:
// running ip(8), opening sockets inside a namespace, removing what a dead
// run left behind, and sending a datagram under a chosen source address.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

/// Runs a shell command quietly; says on standard error when it fails.
void Must(const std::string &command);

/// The whole of a file; empty when it cannot be read.
std::string ReadFile(const std::string &path);

/// Waits at most `ms` until process `pid` has UDP port `port` bound in its
/// network namespace (its /proc/PID/net tables); true if it has.
bool AwaitUdpPort(pid_t pid, int port, int ms);

/// Starts a name server, dnsmasq, in namespace `ns` on `address`, with no
/// upstream, no hosts file of its own, and `options` (records, or
/// "--addn-hosts=FILE"); it dies with the calling process.  Its PID once it
/// listens, or -1 when it did not start.
pid_t StartNameServer(const std::string &ns, const std::string &address,
                      std::vector<std::string> options);

/// Adds network namespace `ns` with its loopback up and duplicate address
/// detection off, so that every address added there is usable at once.
void AddNamespace(const std::string &ns);

/// Adds namespaces `client` and `lab` (as AddNamespace does), joined by a
/// veth pair: "lab0" in the client, "eth0" in the lab, both down.
void AddLinkedPair(const std::string &client, const std::string &lab);

/// 1 when the calling process is in namespace `ns` (one under /run/netns)
/// and that namespace was built by the run that started the process: `ns`
/// matches `format` with the PID of that run, an ancestor of the process,
/// as RemoveStaleNamespaces reads the names.  Never 1 in the machine's own
/// network (PID 1's).
int InBuiltNamespace(const std::string &ns, const char *format);

/// Removes the namespaces (and their /etc/netns folders) whose names
/// `format` matches with the PID of a process that no longer runs, such as
/// "hp%dn" for the names hp<pid>n....
void RemoveStaleNamespaces(const char *format);

/// Adds each of `addresses` ("10.60.0.2/16") to interface `dev` of
/// namespace `ns`, all with one ip(8) run.
void AddAddresses(const std::string &ns, const std::string &dev,
                  const std::vector<std::string> &addresses);

/// A socket of `type` opened in namespace `ns` and bound there to `ip` and
/// `port`, with SO_REUSEADDR and, for datagrams, IP_PKTINFO set.  An IPv6
/// `ip` gives an IPv6-only socket, with IPV6_RECVPKTINFO and
/// IPV6_RECVHOPLIMIT for datagrams, joined to `group` on the interface
/// `device` when they are given.  The calling thread stays in its own
/// namespace.
int SocketIn(const std::string &ns, int type, const char *ip, int port,
             const char *group = nullptr, const char *device = nullptr);

/// Sends one datagram from `fd` (not bound to an address) to `to`, with
/// `source`, which must be local, as the sender's address.  Returns what
/// sendmsg returns.
ssize_t SendAs(int fd, in_addr source, const sockaddr_in &to, const void *bytes,
               std::size_t size);
/// As SendAs, for IPv6.
ssize_t SendAs6(int fd, const in6_addr &source, const sockaddr_in6 &to,
                const void *bytes, std::size_t size);
