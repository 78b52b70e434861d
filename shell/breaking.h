// Breaking a text into lines that fit a width, for the heading: at spaces,
// between CJK characters, and inside a word too long for a line; at most a
// number of lines, the last cut with an ellipsis when the text goes on.
// Pure: the width of a piece of text comes from the caller's measure, so
// that a change of how text is drawn changes only the measure.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// The width of a piece of text, drawn.
using Measure = std::function<int(std::string_view)>;

struct Broken {
    std::vector<std::string> lines;
    bool cut = false; ///< the text went on past the last line
};

/// The lines of `text` (UTF-8; a byte that is not is one character),
/// each no wider than `width` by `measure`, though a line always holds
/// one character; a newline breaks a line.  At most `mostLines`: past
/// them the last line ends in `ellipsis`.
Broken BreakLines(std::string_view text, int width, int mostLines,
                  const Measure &measure, std::string_view ellipsis);
