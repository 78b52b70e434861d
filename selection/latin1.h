// Text in ISO 8859-1, the type STRING of X selections, to and from
// UTF-8.  Pure.
#pragma once

#include <string>

/// Every byte a character.
std::string Latin1ToUtf8(const std::string &latin1);
/// Characters beyond Latin-1, and bytes that are not UTF-8 (a byte that
/// starts no character, an overlong or cut sequence), become "?", one
/// for each character or stray byte.
std::string Utf8ToLatin1(const std::string &utf8);
