#include "hosts/line.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

int (*drawnColumns)(const char *text, int length);

namespace {

constexpr char kReplacement = '?'; // for what would not show for what it is
constexpr char kCutMark[] = "..."; // ends a name or status that was cut
constexpr int kCutMarkColumns = sizeof(kCutMark) - 1;
// Room for the longest line: every byte of a name and a status, the cut
// marks, the address and the filling.
constexpr int kLineBytes = 2048;
constexpr int kMostAddressBytes = 64;

struct Line {
    char text[kLineBytes];
    int length;
    int columns;
};

void Append(Line *line, const char *bytes, int length, int columns) {
    std::memcpy(line->text + line->length, bytes, length);
    line->length += length;
    line->columns += columns;
}

void Fill(Line *line, int columns) {
    for (; columns > 0; columns--)
        Append(line, " ", 1, 1);
}

// Invisible characters that change how the text around them is drawn,
// such as the bidirectional overrides: the format characters of Unicode
// 15.0 (general category Cf), and the line and paragraph separators.
bool IsFormatCharacter(wint_t c) {
    return c == 0xad || (c >= 0x600 && c <= 0x605) || c == 0x61c ||
           c == 0x6dd || c == 0x70f || (c >= 0x890 && c <= 0x891) ||
           c == 0x8e2 || c == 0x180e || (c >= 0x200b && c <= 0x200f) ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x206f) || c == 0xfeff ||
           (c >= 0xfff9 && c <= 0xfffb) || c == 0x110bd || c == 0x110cd ||
           (c >= 0x13430 && c <= 0x1343f) || (c >= 0x1bca0 && c <= 0x1bca3) ||
           (c >= 0x1d173 && c <= 0x1d17a) || c == 0xe0001 ||
           (c >= 0xe0020 && c <= 0xe007f);
}

// The first character of `text` in the locale's encoding: the bytes it
// takes and the columns it shows in.  False when it is to be shown as the
// replacement: a byte that starts no character, a control or a format
// character.  A single-byte locale is taken as Latin-1.
bool Decode(const char *text, int left, int *bytes, int *columns) {
    *bytes = 1;
    *columns = 1;
    // Printable ASCII is itself in every locale this runs in; most names
    // and statuses are nothing else.
    auto first = static_cast<unsigned char>(*text);
    if (first >= 0x20 && first < 0x7f)
        return true;
    if (MB_CUR_MAX == 1) {
        return first >= 0xa0;
    }
    std::mbstate_t state{};
    wchar_t c;
    std::size_t n = std::mbrtowc(&c, text, left, &state);
    if (n == 0 || n > static_cast<std::size_t>(left))
        return false;
    *bytes = static_cast<int>(n);
    int width = wcwidth(c);
    if (width < 0 || std::iswcntrl(c) || IsFormatCharacter(c))
        return false;
    *columns = width;
    return true;
}

// Appends what `array` shows, up to a zero byte and at most `mostBytes`
// of it, in at most `mostColumns`; text cut by either ends in the mark.
void AppendShown(Line *line, const ARRAY8 *array, int mostBytes,
                 int mostColumns) {
    const char *text = reinterpret_cast<const char *>(array->data);
    int length = array->data != nullptr
                     ? static_cast<int>(strnlen(text, array->length))
                     : 0;
    bool cut = length > mostBytes;
    length = std::min(length, mostBytes);
    int room = mostColumns - kCutMarkColumns;
    int start = line->columns;
    for (int at = 0, bytes, columns; at < length; at += bytes) {
        bool shown = Decode(text + at, length - at, &bytes, &columns);
        if (line->columns - start + columns > room) {
            // The mark fits where the rest would not, unless the rest is
            // this one character, which fits where the mark does.
            cut = cut || at + bytes < length ||
                  line->columns - start + columns > mostColumns;
            if (cut)
                break;
        }
        if (shown)
            Append(line, text + at, bytes, columns);
        else
            Append(line, &kReplacement, 1, 1);
    }
    if (cut)
        Append(line, kCutMark, kCutMarkColumns, kCutMarkColumns);
}

// The caller's address text is short and plain ASCII: a byte a column.
void AppendAddress(Line *line, const char *address) {
    int length = static_cast<int>(strnlen(address, kMostAddressBytes));
    Append(line, " [", 2, 2);
    Append(line, address, length, length);
    Append(line, "]", 1, 1);
}

} // namespace

char *FormatLine(const ARRAY8 *name, const char *address, const ARRAY8 *status,
                 int *nameLength, int *labelLength, int *statusAt) {
    Line line{};
    AppendShown(&line, name, kMostNameBytes, kMostLineColumns / 2);
    *nameLength = line.length;
    if (address != nullptr)
        AppendAddress(&line, address);
    *labelLength = line.length;
    if (drawnColumns != nullptr && line.columns != line.length)
        line.columns = drawnColumns(line.text, line.length);
    Fill(&line, kNameColumns - line.columns);
    Append(&line, " ", 1, 1);
    if (statusAt != nullptr)
        *statusAt = line.length;
    int kept = std::min<int>(status->length, kMostStatusBytes);
    if (status->data != nullptr)
        Fill(&line,
             std::min(kept - static_cast<int>(strnlen(
                                 reinterpret_cast<const char *>(status->data),
                                 kept)),
                      kMostLineColumns - kCutMarkColumns - line.columns));
    AppendShown(&line, status, kMostStatusBytes,
                std::max(kMostLineColumns - line.columns, kCutMarkColumns));
    auto *text = static_cast<char *>(std::malloc(line.length + 1));
    if (text == nullptr)
        return nullptr;
    std::memcpy(text, line.text, line.length);
    text[line.length] = '\0';
    return text;
}
