// XDMCP replies as simulated hosts build them, independently of the
// program's own codec, and hexadecimal text for option values.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

Bytes WillingReply(const std::string &name, const std::string &status,
                   const std::string &authName = "");
Bytes UnwillingReply(const std::string &name, const std::string &status);
/// Adds `delta` to the header's length field (modulo 65536).
Bytes SkewLength(Bytes message, int delta);
/// Lower-case hexadecimal, two digits per byte.
std::string Hex(const Bytes &bytes);
