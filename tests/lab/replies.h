// What the tests exchange with the program, built and read independently
// of its own codec: XDMCP replies as simulated hosts send them, the report
// as a display manager receives it, hexadecimal text for option values.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

/// The two queries as the program sends them: version 1, the opcode, a
/// length of 1, no authentication names.
const Bytes kQuery = {0, 1, 0, 2, 0, 1, 0};
const Bytes kBroadcastQuery = {0, 1, 0, 1, 0, 1, 0};

Bytes WillingReply(const std::string &name, const std::string &status,
                   const std::string &authName = "");
Bytes UnwillingReply(const std::string &name, const std::string &status);
/// A DECLINE, a host's answer to a REQUEST it will not grant: the status,
/// and empty authentication name and data.
Bytes DeclineReply(const std::string &status);
/// n WILLING replies, the i-th with the name and the status that the two
/// printf formats give for i (a format may leave i out).
std::vector<Bytes> NumberedReplies(int n, const char *nameFormat,
                                   const char *statusFormat);
/// Adds `delta` to the header's length field (modulo 65536).
Bytes SkewLength(Bytes message, int delta);
/// Accepts one connection on the listening socket and reads the report it
/// carries until the sender closes.
Bytes ReadReport(int listenFd);
/// Lower-case hexadecimal, two digits per byte.
std::string Hex(const Bytes &bytes);
