// Every allocation an entry needs is made before the entry joins the
// table, so that running out of memory drops the reply whole; listing an
// entry later never allocates, because room for every entry is reserved
// in the sorted sequence when it is recorded.
//
// A line the widget has been handed stays allocated until the widget has
// been handed another (LinesHanded): between hand-overs the widget may
// redraw at any time.  An entry holds at most one such line besides its
// current one, since lines made between two hand-overs were never shown.

#include "hosts/table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hosts/line.h"

HostEntry *hostEntries;
int hostCount;

namespace {

// Stands in for a line that could not be allocated; never released.
char kUnknownLine[] = "Unknown";

struct KeyHash {
    std::size_t operator()(const HostKey &key) const {
        std::size_t hash = 2166136261u ^ key.connectionType ^ key.scope;
        for (int i = 0; i < key.length; i++) // FNV-1a
            hash = (hash ^ key.address[i]) * 16777619u;
        return hash;
    }
};

HostEntry **entryTail = &hostEntries;
unsigned long firstReplies; // so far, to order the entries
std::unordered_map<HostKey, HostEntry *, KeyHash> byKey;
std::vector<HostEntry *> sorted;
std::vector<HostEntry *> namesakes; // ListedNamesakes', as large as sorted
bool linesChanged;
bool rowsChanged; // entries listed, or their order
// Entries that ClearHosts took out while the widget may still show them.
HostEntry *clearedEntries;
HostEntry **clearedTail = &clearedEntries;

void ReleaseLine(char *line) {
    if (line != kUnknownLine)
        std::free(line);
}

// Words that the rows of some hosts show before their statuses.
struct Mark {
    HostKey key;
    std::string word;
    bool untilCleared; ///< ClearHosts takes it away
};
std::vector<Mark> marks;

// The entry's status, after its host's word where it has one.
std::vector<CARD8> MarkedStatus(const HostEntry *entry) {
    std::vector<CARD8> status;
    if (marks.empty()) // as it is but in the session mode
        return status;
    HostKey key = KeyOf(entry);
    for (const Mark &m : marks)
        if (m.key == key) {
            status.assign(m.word.begin(), m.word.end());
            status.insert(status.end(), {' ', ' '});
        }
    if (!status.empty())
        status.insert(status.end(), entry->status.data,
                      entry->status.data + entry->status.length);
    return status;
}

// Gives the entry the line its name, status and, where it shows it, its
// address make now; "Unknown" when memory runs out.
void FormatEntryLine(HostEntry *entry) {
    entry->lineWidth = 0;
    char address[kKeyTextSize];
    if (entry->showsAddress)
        KeyText(KeyOf(entry), address);
    ARRAY8 status = entry->status;
    std::vector<CARD8> marked;
    try {
        marked = MarkedStatus(entry);
    } catch (const std::bad_alloc &) {
        // Shown without its word.
    }
    if (!marked.empty())
        status = {
            static_cast<CARD16>(std::min<std::size_t>(marked.size(), 0xffff)),
            marked.data()};
    entry->displayLine = FormatLine(
        &entry->hostname, entry->showsAddress ? address : nullptr, &status,
        &entry->nameLength, &entry->labelLength, &entry->statusAt);
    if (entry->displayLine == nullptr) {
        entry->displayLine = kUnknownLine;
        entry->labelLength = entry->statusAt =
            static_cast<int>(std::strlen(kUnknownLine));
    }
}

// ---- the sorted sequence ----

bool LineBefore(const HostEntry *a, const HostEntry *b) {
    int order = std::strcmp(a->displayLine, b->displayLine);
    return order < 0 || (order == 0 && a->order < b->order);
}

// Both return where in the sequence the entry went or was.
std::ptrdiff_t Insert(HostEntry *entry) {
    auto at = sorted.insert(
        std::lower_bound(sorted.begin(), sorted.end(), entry, LineBefore),
        entry);
    linesChanged = true;
    rowsChanged = true;
    return at - sorted.begin();
}

// Called while the entry still holds the line it was inserted under.
std::ptrdiff_t Remove(HostEntry *entry) {
    auto at = std::lower_bound(sorted.begin(), sorted.end(), entry, LineBefore);
    std::ptrdiff_t index = at - sorted.begin();
    sorted.erase(at);
    linesChanged = true;
    rowsChanged = true;
    return index;
}

} // namespace

// One that keeps its place changes its line alone.
void RemakeLine(HostEntry *entry) {
    bool moved = rowsChanged;
    std::ptrdiff_t was = entry->listed ? Remove(entry) : -1;
    if (entry->displayLine != entry->handedLine)
        ReleaseLine(entry->displayLine);
    FormatEntryLine(entry);
    if (entry->listed && Insert(entry) == was)
        rowsChanged = moved;
}

// ---- names that two hosts show ----

namespace {

bool SameName(const HostEntry *a, const HostEntry *b) {
    return a->displayLine != kUnknownLine && b->displayLine != kUnknownLine &&
           a->nameLength == b->nameLength &&
           std::memcmp(a->displayLine, b->displayLine, a->nameLength) == 0;
}

// The line of `listed` begins with the name that `named` shows, and a
// blank: so do the lines of all the entries that show that name, with or
// without their addresses.
bool BeginsWithName(const HostEntry *listed, const HostEntry *named) {
    return std::strncmp(listed->displayLine, named->displayLine,
                        named->nameLength + 1) == 0;
}

} // namespace

const HostEntry *ListedNamesake(const HostEntry *entry) {
    if (entry->displayLine == kUnknownLine)
        return nullptr;
    auto at = std::lower_bound(
        sorted.begin(), sorted.end(), entry,
        [](const HostEntry *listed, const HostEntry *named) {
            return std::strncmp(listed->displayLine, named->displayLine,
                                named->nameLength + 1) < 0;
        });
    for (; at != sorted.end() && BeginsWithName(*at, entry); ++at)
        if (*at != entry && SameName(*at, entry))
            return *at;
    return nullptr;
}

// ---- recording ----

namespace {

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
void MoveBody(ARRAY8 *into, ARRAY8 *from) {
    *into = *from;
    *from = {0, nullptr};
}

HostEntry *AddEntry(const HostKey &key, ARRAY8 *hostname, ARRAY8 *status,
                    int willing) {
    auto *entry = static_cast<HostEntry *>(std::malloc(sizeof(HostEntry)));
    if (entry == nullptr)
        return nullptr;
    *entry = HostEntry{};
    if (!AllocArray8(&entry->hostAddress, key.length)) {
        std::free(entry);
        return nullptr;
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
        return nullptr;
    }
    std::memcpy(entry->hostAddress.data, key.address, key.length);
    entry->connectionType = key.connectionType;
    entry->scope = key.scope;
    entry->order = firstReplies++;
    MoveBody(&entry->hostname, hostname);
    MoveBody(&entry->status, status);
    entry->willing = willing;
    FormatEntryLine(entry);
    *entryTail = entry;
    entryTail = &entry->next;
    hostCount++;
    return entry;
}

int UpdateEntry(HostEntry *entry, ARRAY8 *status, int willing) {
    if (Array8Equal(&entry->status, status))
        return 0;
    ReleaseArray8(&entry->status);
    MoveBody(&entry->status, status);
    entry->willing = willing;
    RemakeLine(entry);
    return 1;
}

void ReleaseEntry(HostEntry *entry) {
    ReleaseArray8(&entry->hostname);
    ReleaseArray8(&entry->hostAddress);
    ReleaseArray8(&entry->status);
    if (entry->handedLine != entry->displayLine)
        ReleaseLine(entry->handedLine);
    ReleaseLine(entry->displayLine);
    std::free(entry);
}

} // namespace

int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const HostKey &key,
               int willing, HostEntry **added) {
    HostEntry *entry = FindHost(key);
    int recorded = 0;
    if (added != nullptr)
        *added = nullptr;
    if (Keep(status, kMostStatusBytes)) {
        if (entry != nullptr) {
            recorded = UpdateEntry(entry, status, willing);
        } else if (Keep(hostname, kMostNameBytes)) {
            entry = AddEntry(key, hostname, status, willing);
            recorded = entry != nullptr;
            if (added != nullptr)
                *added = entry;
        }
    }
    // Whatever the entry did not take.
    ReleaseArray8(hostname);
    ReleaseArray8(status);
    return recorded;
}

void RenameHost(HostEntry *entry, const char *name) {
    ReleaseArray8(&entry->hostname);
    int length = std::min<int>(std::strlen(name), kMostNameBytes + 1);
    if (AllocArray8(&entry->hostname, length))
        std::memcpy(entry->hostname.data, name, length);
    ReleaseLine(entry->displayLine); // not listed yet: never shown
    FormatEntryLine(entry);
}

void InsertListed(HostEntry *entry) {
    Insert(entry);
}

std::span<HostEntry *const> ListedNamesakes(const HostEntry *entry) {
    // Room for every entry is reserved with the sorted sequence.
    namesakes.clear();
    for (HostEntry *listed : sorted)
        if (SameName(listed, entry))
            namesakes.push_back(listed);
    return namesakes;
}

bool HasLine(const HostEntry *entry) {
    return entry->displayLine != kUnknownLine;
}

std::string_view ShownName(const HostEntry *entry) {
    if (!HasLine(entry))
        return {};
    return {entry->displayLine, static_cast<std::size_t>(entry->nameLength)};
}

std::string_view ShownLabel(const HostEntry *entry) {
    if (!HasLine(entry))
        return {};
    return {entry->displayLine, static_cast<std::size_t>(entry->labelLength)};
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

bool LinesChanged() {
    return linesChanged;
}

bool RowsChanged() {
    return rowsChanged;
}

void LinesHanded() {
    for (HostEntry *entry : sorted) {
        if (entry->handedLine != entry->displayLine) {
            ReleaseLine(entry->handedLine);
            entry->handedLine = entry->displayLine;
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
    rowsChanged = false;
}

void MarkHost(const HostKey &key, std::string_view word, bool untilCleared) {
    std::erase_if(marks, [&](const Mark &m) { return m.key == key; });
    try {
        if (!word.empty())
            marks.push_back({key, std::string(word), untilCleared});
    } catch (const std::bad_alloc &) {
        // The row goes without its word.
    }
    if (HostEntry *entry = FindHost(key))
        RemakeLine(entry);
}

void ClearHosts() {
    std::erase_if(marks, [](const Mark &m) { return m.untilCleared; });
    for (HostEntry *entry = hostEntries; entry != nullptr; entry = entry->next)
        entry->listed = false;
    if (hostEntries != nullptr) {
        *clearedTail = hostEntries;
        clearedTail = entryTail;
    }
    hostEntries = nullptr;
    entryTail = &hostEntries;
    hostCount = 0;
    firstReplies = 0;
    byKey.clear();
    sorted.clear();
    linesChanged = true;
    rowsChanged = true;
}
