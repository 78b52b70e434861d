// Loopback UDP sockets for the unit tests.
#pragma once

#include <netinet/in.h>

#include <vector>

struct UdpSocket {
    int fd = -1;
    sockaddr_in address{}; ///< where it is bound
};

/// Binds a datagram socket to 127.0.0.1 at `port` (0: any free port).
UdpSocket BindUdp(int port = 0);
void CloseUdp(UdpSocket *s);
/// Sends `bytes` from `from` to `to`.
void SendBytes(const UdpSocket &from, const UdpSocket &to,
               const std::vector<unsigned char> &bytes);
/// Receives one datagram, waiting at most `ms`; empty when none came.
std::vector<unsigned char> ReceiveBytes(const UdpSocket &s, int ms,
                                        sockaddr_in *sender = nullptr);
/// Sends `bytes` to `to` with `source` (any local address, such as one of
/// 127.0.0.0/8) as the sender's address.
void SendBytesAs(in_addr source, const sockaddr_in &to,
                 const std::vector<unsigned char> &bytes);
