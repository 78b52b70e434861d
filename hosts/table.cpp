// Every allocation an entry needs is made before the entry joins the
// table, so that running out of memory drops the reply whole; listing an
// entry later never allocates, because room for every entry is reserved
// in the sorted sequence when it is recorded.
//
// A line the widget has been handed stays allocated until the widget has
// been handed another (LinesShown): between hand-overs the widget may
// redraw at any time.  An entry holds at most one such line besides its
// current one, since lines made between two hand-overs were never shown.

#include "hosts/table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <new>
#include <unordered_map>

HostEntry *hostEntries;
int hostCount;

namespace {

// Stands in for a line that could not be allocated; never released.
char kUnknownLine[] = "Unknown";
constexpr char kReplacement = '?'; // for what would not show for what it is
constexpr char kCutMark[] = "..."; // ends a name or status that was cut
constexpr int kCutMarkColumns = sizeof(kCutMark) - 1;
// Room for the longest line: every byte of a name and a status, the cut
// marks, the address and the filling.
constexpr int kLineBytes = 2048;

struct KeyHash {
    std::size_t operator()(const HostKey &key) const {
        std::size_t hash = 2166136261u ^ key.connectionType ^ key.scope;
        for (int i = 0; i < key.length; i++) // FNV-1a
            hash = (hash ^ key.address[i]) * 16777619u;
        return hash;
    }
};

HostEntry **entryTail = &hostEntries;
unsigned long answers;
std::unordered_map<HostKey, HostEntry *, KeyHash> byKey;
std::vector<HostEntry *> sorted;
std::vector<HostEntry *> namesakes; // TellApart's, as large as sorted
bool linesChanged;
// Entries that ClearHosts took out while the widget may still show them.
HostEntry *clearedEntries;
HostEntry **clearedTail = &clearedEntries;
bool (*nameWait)(HostEntry *entry);

void ReleaseLine(char *line) {
    if (line != kUnknownLine)
        std::free(line);
}

// ---- lines ----

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
// such as the bidirectional overrides: Unicode's format characters, and
// the line and paragraph separators.
bool IsFormatCharacter(wint_t c) {
    return c == 0xad || (c >= 0x600 && c <= 0x605) || c == 0x61c ||
           c == 0x6dd || c == 0x70f || c == 0x8e2 || c == 0x180e ||
           (c >= 0x200b && c <= 0x200f) || (c >= 0x2028 && c <= 0x202e) ||
           (c >= 0x2060 && c <= 0x206f) || c == 0xfeff ||
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
    if (MB_CUR_MAX == 1) {
        auto c = static_cast<unsigned char>(*text);
        return (c >= 0x20 && c < 0x7f) || c >= 0xa0;
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

void AppendAddress(Line *line, const HostEntry *entry) {
    char address[kKeyTextSize];
    KeyText(KeyOf(entry), address);
    char text[sizeof(address) + 3];
    int length = std::snprintf(text, sizeof(text), " [%s]", address);
    Append(line, text, length, length);
}

// The name filled out to 30 columns, one space and the status.  The
// status is right-justified in a field as wide as its bytes, so it shows
// leading blanks only when it holds a zero byte.
void FormatLine(HostEntry *entry) {
    Line line{};
    AppendShown(&line, &entry->hostname, kMostNameBytes, kMostLineColumns / 2);
    entry->nameLength = line.length;
    if (entry->showsAddress)
        AppendAddress(&line, entry);
    Fill(&line, kNameColumns - line.columns);
    Append(&line, " ", 1, 1);
    const ARRAY8 *status = &entry->status;
    int kept = std::min<int>(status->length, kMostStatusBytes);
    if (status->data != nullptr)
        Fill(&line,
             std::min(kept - static_cast<int>(strnlen(
                                 reinterpret_cast<const char *>(status->data),
                                 kept)),
                      kMostLineColumns - kCutMarkColumns - line.columns));
    AppendShown(&line, status, kMostStatusBytes,
                std::max(kMostLineColumns - line.columns, kCutMarkColumns));
    entry->displayLine = static_cast<char *>(std::malloc(line.length + 1));
    if (entry->displayLine == nullptr) {
        entry->displayLine = kUnknownLine;
        return;
    }
    std::memcpy(entry->displayLine, line.text, line.length);
    entry->displayLine[line.length] = '\0';
}

// ---- the sorted sequence ----

bool LineBefore(const HostEntry *a, const HostEntry *b) {
    int order = std::strcmp(a->displayLine, b->displayLine);
    return order < 0 || (order == 0 && a->order < b->order);
}

void Insert(HostEntry *entry) {
    sorted.insert(
        std::lower_bound(sorted.begin(), sorted.end(), entry, LineBefore),
        entry);
    linesChanged = true;
}

// Called while the entry still holds the line it was inserted under.
void Remove(HostEntry *entry) {
    sorted.erase(
        std::lower_bound(sorted.begin(), sorted.end(), entry, LineBefore));
    linesChanged = true;
}

// Gives the entry the line that its name, status and address make now.
void Reformat(HostEntry *entry) {
    if (entry->listed)
        Remove(entry);
    if (entry->displayLine != entry->shownLine)
        ReleaseLine(entry->displayLine);
    FormatLine(entry);
    if (entry->listed)
        Insert(entry);
}

// ---- names that two hosts show ----

bool SameName(const HostEntry *a, const HostEntry *b) {
    return a->displayLine != kUnknownLine && b->displayLine != kUnknownLine &&
           a->nameLength == b->nameLength &&
           std::memcmp(a->displayLine, b->displayLine, a->nameLength) == 0;
}

bool NamedAlike(const HostEntry *a, const HostEntry *b) {
    return a->namedByService && b->namedByService &&
           Array8Equal(&a->hostname, &b->hostname);
}

// The line of `listed` begins with the name that `named` shows, and a
// blank: so do the lines of all the entries that show that name, with or
// without their addresses.
bool BeginsWithName(const HostEntry *listed, const HostEntry *named) {
    return std::strncmp(listed->displayLine, named->displayLine,
                        named->nameLength + 1) == 0;
}

// A listed entry that shows `entry`'s name, or null.
HostEntry *AnotherWithName(const HostEntry *entry) {
    auto at = std::lower_bound(
        sorted.begin(), sorted.end(), entry,
        [](const HostEntry *listed, const HostEntry *named) {
            return std::strncmp(listed->displayLine, named->displayLine,
                                named->nameLength + 1) < 0;
        });
    for (; at != sorted.end() && BeginsWithName(*at, entry); ++at)
        if (SameName(*at, entry))
            return *at;
    return nullptr;
}

// Decides, as `entry` is listed, whether it shows its address.  Once two
// entries not named alike show a name, every entry that shows it shows
// its address too, until the table is cleared; so the one other entry
// found tells whether the name is shared that way already.
void TellApart(HostEntry *entry) {
    HostEntry *other =
        entry->displayLine != kUnknownLine ? AnotherWithName(entry) : nullptr;
    if (other == nullptr || (!other->showsAddress && NamedAlike(entry, other)))
        return;
    entry->showsAddress = true;
    Reformat(entry);
    if (other->showsAddress)
        return;
    // Room for every entry is reserved with the sorted sequence.
    namesakes.clear();
    for (HostEntry *listed : sorted)
        if (SameName(listed, entry))
            namesakes.push_back(listed);
    for (HostEntry *named : namesakes) {
        named->showsAddress = true;
        Reformat(named);
    }
}

// ---- recording ----

// Keeps at most one byte beyond `most`: that byte tells the line that the
// text was cut.  False when there is no memory for the shorter body.
bool Keep(ARRAY8 *array, int most) {
    if (array->length <= most + 1)
        return true;
    ARRAY8 kept = {0, nullptr};
    if (!AllocArray8(&kept, most + 1))
        return false;
    std::memcpy(kept.data, array->data, most + 1);
    ReleaseArray8(array);
    *array = kept;
    return true;
}

// Hands a received body over to the entry; the record is left empty.
void Take(ARRAY8 *into, ARRAY8 *from) {
    *into = *from;
    *from = {0, nullptr};
}

int AddEntry(const HostKey &key, ARRAY8 *hostname, ARRAY8 *status,
             int willing) {
    auto *entry = static_cast<HostEntry *>(std::malloc(sizeof(HostEntry)));
    if (entry == nullptr)
        return 0;
    *entry = HostEntry{};
    if (!AllocArray8(&entry->hostAddress, key.length)) {
        std::free(entry);
        return 0;
    }
    try {
        std::size_t entries = static_cast<std::size_t>(hostCount) + 1;
        if (sorted.capacity() < entries) {
            sorted.reserve(2 * entries);
            namesakes.reserve(2 * entries);
        }
        byKey.emplace(key, entry);
    } catch (const std::bad_alloc &) {
        ReleaseArray8(&entry->hostAddress);
        std::free(entry);
        return 0;
    }
    std::memcpy(entry->hostAddress.data, key.address, key.length);
    entry->connectionType = key.connectionType;
    entry->scope = key.scope;
    entry->order = answers++;
    Take(&entry->hostname, hostname);
    Take(&entry->status, status);
    entry->willing = willing;
    FormatLine(entry);
    *entryTail = entry;
    entryTail = &entry->next;
    hostCount++;
    if (nameWait == nullptr || !nameWait(entry))
        ListHost(entry);
    return 1;
}

int UpdateEntry(HostEntry *entry, ARRAY8 *status, int willing) {
    if (Array8Equal(&entry->status, status))
        return 0;
    ReleaseArray8(&entry->status);
    Take(&entry->status, status);
    entry->willing = willing;
    Reformat(entry);
    return 1;
}

void ReleaseEntry(HostEntry *entry) {
    ReleaseArray8(&entry->hostname);
    ReleaseArray8(&entry->hostAddress);
    ReleaseArray8(&entry->status);
    if (entry->shownLine != entry->displayLine)
        ReleaseLine(entry->shownLine);
    ReleaseLine(entry->displayLine);
    std::free(entry);
}

} // namespace

int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const HostKey &key,
               int willing) {
    HostEntry *entry = FindHost(key);
    int recorded = 0;
    if (Keep(status, kMostStatusBytes)) {
        if (entry != nullptr)
            recorded = UpdateEntry(entry, status, willing);
        else if (Keep(hostname, kMostNameBytes))
            recorded = AddEntry(key, hostname, status, willing);
    }
    // Whatever the entry did not take.
    ReleaseArray8(hostname);
    ReleaseArray8(status);
    return recorded;
}

void SetNameWait(bool (*wait)(HostEntry *entry)) {
    nameWait = wait;
}

void NameHost(HostEntry *entry, const char *name) {
    ReleaseArray8(&entry->hostname);
    int length = std::min<int>(std::strlen(name), kMostNameBytes + 1);
    if (AllocArray8(&entry->hostname, length))
        std::memcpy(entry->hostname.data, name, length);
    entry->namedByService = true;
    ReleaseLine(entry->displayLine); // not listed yet: never shown
    FormatLine(entry);
}

void ListHost(HostEntry *entry) {
    TellApart(entry);
    entry->listed = true;
    Insert(entry);
}

HostKey KeyOf(const HostEntry *entry) {
    HostKey key{};
    key.connectionType = entry->connectionType;
    key.length = static_cast<CARD8>(entry->hostAddress.length);
    std::memcpy(key.address, entry->hostAddress.data, key.length);
    key.scope = entry->scope;
    return key;
}

HostEntry *FindHost(const HostKey &key) {
    auto found = byKey.find(key);
    return found != byKey.end() ? found->second : nullptr;
}

const std::vector<HostEntry *> &ListedHosts() {
    return sorted;
}

bool SameRow(const HostEntry *a, const HostEntry *b) {
    return a->displayLine != kUnknownLine &&
           std::strcmp(a->displayLine, b->displayLine) == 0 && NamedAlike(a, b);
}

bool LinesChanged() {
    return linesChanged;
}

void LinesShown() {
    for (HostEntry *entry : sorted) {
        if (entry->shownLine != entry->displayLine) {
            ReleaseLine(entry->shownLine);
            entry->shownLine = entry->displayLine;
        }
    }
    for (HostEntry *entry = clearedEntries, *next; entry != nullptr;
         entry = next) {
        next = entry->next;
        ReleaseEntry(entry);
    }
    clearedEntries = nullptr;
    clearedTail = &clearedEntries;
    linesChanged = false;
}

void ClearHosts() {
    for (HostEntry *entry = hostEntries; entry != nullptr; entry = entry->next)
        entry->listed = false;
    if (hostEntries != nullptr) {
        *clearedTail = hostEntries;
        clearedTail = entryTail;
    }
    hostEntries = nullptr;
    entryTail = &hostEntries;
    hostCount = 0;
    answers = 0;
    byKey.clear();
    sorted.clear();
    linesChanged = true;
}
