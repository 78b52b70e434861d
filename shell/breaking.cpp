#include "shell/breaking.h"

#include <algorithm>
#include <cstdint>

namespace {

// A character: its code point, and where its bytes start.
struct Char {
    char32_t code;
    std::size_t at;
};

// Lenient UTF-8: a byte that starts no valid sequence stands for itself.
std::vector<Char> Decode(std::string_view text) {
    std::vector<Char> chars;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        int more = byte >= 0xf0 && byte < 0xf8   ? 3
                   : byte >= 0xe0 && byte < 0xf0 ? 2
                   : byte >= 0xc2 && byte < 0xe0 ? 1
                                                 : 0;
        char32_t code = more == 0 ? byte : byte & (0x3f >> more);
        int taken = 0;
        while (taken < more && i + 1 + taken < text.size() &&
               (static_cast<unsigned char>(text[i + 1 + taken]) & 0xc0) == 0x80)
            code = code << 6 | (text[i + 1 + taken++] & 0x3f);
        if (taken < more) {
            code = byte;
            taken = 0;
        }
        chars.push_back({code, i});
        i += 1 + taken;
    }
    return chars;
}

bool Cjk(char32_t c) {
    return (c >= 0x1100 && c <= 0x11ff) || (c >= 0x2e80 && c <= 0x9fff) ||
           (c >= 0xa960 && c <= 0xa97f) || (c >= 0xac00 && c <= 0xd7af) ||
           (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
           (c >= 0xff00 && c <= 0xffef) || (c >= 0x20000 && c <= 0x3ffff);
}

// Marks that close, small kana and the long-vowel mark never begin a line;
// marks that open never end one.
constexpr std::u32string_view kNeverFirst =
    U"、。，．：；！？）」』】〕〉》ー々ぁぃぅぇぉっゃゅょゎァィゥェォッャュョ"
    U"ヮヵヶ"
    U".,;:!?)]}…";
constexpr std::u32string_view kNeverLast = U"「『（【〔〈《([{";

bool Space(char32_t c) {
    return c == ' ' || c == '\t';
}

// A word and the blanks before it, which a line's start drops.
struct Piece {
    std::string_view blanks;
    std::string_view word;
    bool newline = false; ///< a line ends before it
};

std::vector<Piece> Pieces(std::string_view text) {
    std::vector<Char> chars = Decode(text);
    std::vector<Piece> pieces;
    std::size_t start = 0; // of the blanks before the current word
    std::size_t word = 0;  // of the current word
    bool newline = false;
    auto end = [&](std::size_t at) {
        if (word < at)
            pieces.push_back({text.substr(start, word - start),
                              text.substr(word, at - word), newline});
        newline = false;
        start = word = at;
    };
    for (std::size_t i = 0; i < chars.size(); i++) {
        char32_t c = chars[i].code;
        std::size_t at = chars[i].at;
        std::size_t next = i + 1 < chars.size() ? chars[i + 1].at : text.size();
        if (c == '\n') {
            end(at);
            newline = true;
            start = word = next;
        } else if (Space(c)) {
            if (word < at)
                end(at);
            word = next;
        } else if (i > 0 && word < at && !Space(chars[i - 1].code) &&
                   (Cjk(c) || Cjk(chars[i - 1].code)) &&
                   kNeverFirst.find(c) == kNeverFirst.npos &&
                   kNeverLast.find(chars[i - 1].code) == kNeverLast.npos) {
            end(at);
        }
    }
    end(text.size());
    return pieces;
}

// The longest start of `word`, of one character at least, that fits.
std::size_t FittingBytes(std::string_view word, int width,
                         const Measure &measure) {
    std::vector<Char> chars = Decode(word);
    std::size_t fits = chars.size() > 1 ? chars[1].at : word.size();
    for (std::size_t i = 2; i <= chars.size(); i++) {
        std::size_t bytes = i < chars.size() ? chars[i].at : word.size();
        if (measure(word.substr(0, bytes)) > width)
            break;
        fits = bytes;
    }
    return fits;
}

} // namespace

Broken BreakLines(std::string_view text, int width, int mostLines,
                  const Measure &measure, std::string_view ellipsis) {
    Broken broken;
    std::vector<std::string> &lines = broken.lines;
    std::string line;
    bool open = false; // a line has begun
    auto finish = [&] {
        if (open)
            lines.push_back(line);
        line.clear();
        open = false;
    };
    for (const Piece &p : Pieces(text)) {
        if (p.newline) {
            finish();
            open = true;
        }
        std::string joined = line + std::string(p.blanks) + std::string(p.word);
        if (!line.empty() && measure(joined) <= width) {
            line = joined;
            continue;
        }
        if (!line.empty())
            finish();
        std::string_view rest = p.word;
        while (measure(rest) > width && rest.size() > 1) {
            std::size_t fits = FittingBytes(rest, width, measure);
            if (fits >= rest.size())
                break;
            lines.emplace_back(rest.substr(0, fits));
            rest.remove_prefix(fits);
        }
        line = std::string(rest);
        open = true;
    }
    finish();
    if (static_cast<int>(lines.size()) > mostLines && mostLines > 0) {
        broken.cut = true;
        lines.resize(mostLines);
        std::string &last = lines.back();
        while (!last.empty() && measure(last + std::string(ellipsis)) > width) {
            std::vector<Char> chars = Decode(last);
            last.resize(chars.back().at);
        }
        last.erase(last.find_last_not_of(" \t") + 1);
        last += ellipsis;
    }
    return broken;
}
