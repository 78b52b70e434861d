// Texts with named placeholders, such as "{host}": the nested server's
// command line and the heading's texts of the session mode.  It touches no
// socket and no X.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A placeholder's name, without its braces, and what stands for it.
struct Placeholder {
    std::string_view name;
    std::string_view value;
};

/// `text` with each "{name}" of `values` replaced by its value.  Anything
/// else, an unknown "{name}" included, stays as it is.
std::string Expand(std::string_view text, std::span<const Placeholder> values);

/// The words of `command`, split at blanks and tabs, each expanded: a
/// value becomes part of its word, whatever blanks it holds, so that it is
/// never more than one argument.  A word that is one placeholder alone and
/// comes out empty is left out, and with it the option before it (a word
/// that begins with "-"), so that "-xkb-variant {xkbvariant}" adds nothing
/// where there is no variant.  No shell reads them.
std::vector<std::string> CommandWords(std::string_view command,
                                      std::span<const Placeholder> values);
