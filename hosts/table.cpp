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
#include <new>
#include <unordered_map>

HostEntry *hostEntries;
int hostCount;

namespace {

// Stands in for a line that could not be allocated; never released.
char kUnknownLine[] = "Unknown";
// Room beyond the name and status: the separating space, the terminating
// zero and a margin.
constexpr int kLineSlack = 10;

struct KeyHash {
    std::size_t operator()(const HostKey &key) const {
        std::size_t hash = 2166136261u ^ key.connectionType; // FNV-1a
        for (int i = 0; i < key.length; i++)
            hash = (hash ^ key.address[i]) * 16777619u;
        return hash;
    }
};

HostEntry **entryTail = &hostEntries;
std::unordered_map<HostKey, HostEntry *, KeyHash> byKey;
std::vector<HostEntry *> sorted;
bool linesChanged;
// Entries that ClearHosts took out while the widget may still show them.
HostEntry *clearedEntries;
HostEntry **clearedTail = &clearedEntries;
bool (*nameWait)(HostEntry *entry);

const char *Text(const ARRAY8 *array) {
    return array->data != nullptr ? reinterpret_cast<char *>(array->data) : "";
}

void ReleaseLine(char *line) {
    if (line != kUnknownLine)
        std::free(line);
}

// The screen columns that `length` bytes of `text` take in the locale's
// encoding.  A byte that is no character there (any byte beyond ASCII in
// the C locale) takes one, as it does in printf's field width.
int ScreenColumns(const char *text, int length) {
    std::mbstate_t state{};
    int columns = 0;
    for (int at = 0; at < length;) {
        wchar_t character;
        std::size_t n =
            std::mbrtowc(&character, text + at, length - at, &state);
        if (n == 0 || n > static_cast<std::size_t>(length - at)) {
            state = std::mbstate_t{};
            n = 1;
            columns++;
        } else {
            int width = wcwidth(character);
            columns += width >= 0 ? width : 1;
        }
        at += static_cast<int>(n);
    }
    return columns;
}

// The name is filled out to 30 columns of the screen (in a UTF-8 locale a
// multibyte character is one column, where a field width would count its
// bytes); the status is right-justified in a field as wide as its length,
// so it shows leading blanks only when it holds a zero byte.  Both stop at
// a zero byte.
void FormatLine(HostEntry *entry) {
    const char *name = Text(&entry->hostname);
    int nameLength = static_cast<int>(strnlen(name, entry->hostname.length));
    int statusLength = entry->status.length;
    int fill = kNameColumns - ScreenColumns(name, nameLength);
    std::size_t size =
        entry->hostname.length + kNameColumns + statusLength + kLineSlack;
    entry->displayLine = static_cast<char *>(std::malloc(size));
    if (entry->displayLine == nullptr) {
        entry->displayLine = kUnknownLine;
        return;
    }
    std::snprintf(entry->displayLine, size, "%.*s%*s %*.*s", nameLength, name,
                  fill > 0 ? fill : 0, "", statusLength, statusLength,
                  Text(&entry->status));
}

bool LineBefore(const HostEntry *entry, const char *line) {
    return std::strcmp(entry->displayLine, line) < 0;
}

bool LineAfter(const char *line, const HostEntry *entry) {
    return std::strcmp(line, entry->displayLine) < 0;
}

// Behind the lines equal to its own, so that equal lines stand in the
// order in which they were listed.
void Insert(HostEntry *entry) {
    sorted.insert(std::upper_bound(sorted.begin(), sorted.end(),
                                   entry->displayLine, LineAfter),
                  entry);
    linesChanged = true;
}

// Called while the entry still holds the line it was inserted under.
void Remove(const HostEntry *entry) {
    auto at = std::lower_bound(sorted.begin(), sorted.end(), entry->displayLine,
                               LineBefore);
    sorted.erase(std::find(at, sorted.end(), entry));
    linesChanged = true;
}

// Hands a received body over to the entry; the record is left empty.
void Take(ARRAY8 *into, ARRAY8 *from) {
    *into = *from;
    *from = {0, nullptr};
}

HostKey SenderKey(const sockaddr_in *sender) {
    HostKey key{};
    key.connectionType = kFamilyLocal;
    if (sender->sin_family == AF_INET) {
        key.connectionType = kFamilyInternet;
        key.length = sizeof(sender->sin_addr);
        std::memcpy(key.address, &sender->sin_addr, key.length);
    }
    return key;
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
        if (sorted.capacity() < entries)
            sorted.reserve(2 * entries);
        byKey.emplace(key, entry);
    } catch (const std::bad_alloc &) {
        ReleaseArray8(&entry->hostAddress);
        std::free(entry);
        return 0;
    }
    std::memcpy(entry->hostAddress.data, key.address, key.length);
    entry->connectionType = key.connectionType;
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
    if (entry->listed)
        Remove(entry);
    if (entry->displayLine != entry->shownLine)
        ReleaseLine(entry->displayLine);
    ReleaseArray8(&entry->status);
    Take(&entry->status, status);
    entry->willing = willing;
    FormatLine(entry);
    if (entry->listed)
        Insert(entry);
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

int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const sockaddr_in *sender,
               int willing) {
    HostKey key = SenderKey(sender);
    HostEntry *entry = FindHost(key);
    int recorded = entry == nullptr ? AddEntry(key, hostname, status, willing)
                                    : UpdateEntry(entry, status, willing);
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
    int length = static_cast<int>(std::strlen(name));
    if (AllocArray8(&entry->hostname, length))
        std::memcpy(entry->hostname.data, name, length);
    ReleaseLine(entry->displayLine); // not listed yet: never shown
    FormatLine(entry);
}

void ListHost(HostEntry *entry) {
    entry->listed = true;
    Insert(entry);
}

HostKey KeyOf(const HostEntry *entry) {
    HostKey key{};
    key.connectionType = entry->connectionType;
    key.length = static_cast<CARD8>(entry->hostAddress.length);
    std::memcpy(key.address, entry->hostAddress.data, key.length);
    return key;
}

HostEntry *FindHost(const HostKey &key) {
    auto found = byKey.find(key);
    return found != byKey.end() ? found->second : nullptr;
}

const std::vector<HostEntry *> &ListedHosts() {
    return sorted;
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
    if (hostEntries != nullptr) {
        *clearedTail = hostEntries;
        clearedTail = entryTail;
    }
    hostEntries = nullptr;
    entryTail = &hostEntries;
    hostCount = 0;
    byKey.clear();
    sorted.clear();
    linesChanged = true;
}
