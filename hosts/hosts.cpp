#include "hosts/hosts.h"

#include <X11/Intrinsic.h>
#include <X11/Xaw/List.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "hosts/resolver.h"
#include "shell/heading.h"
#include "shell/startup.h"
#include "shell/window.h"

HostEntry *hostEntries;
int hostCount;
char **displayLines;
int lineCount;

static HostEntry **entryTail = &hostEntries;

// Stands in for a display line that could not be allocated; never released.
static char kUnknownLine[] = "Unknown";
// Room beyond the name and status: the separating space, the terminating
// zero and a margin.
static constexpr int kLineSlack = 10;
static constexpr unsigned kFirstBuckets = 256;
static constexpr int kFirstLineSlots = 64;
static constexpr int kFirstRetiredSlots = 64;
static constexpr long kIdleRefreshMs = 20;
static constexpr long kBurstRefreshMs = 100;

// Entries by connection type and address; null until the first entry, and
// whenever memory ran out for it (FindEntry then walks the table).
static HostEntry **buckets;
static unsigned bucketCount; // a power of two

// The entry behind each of displayLines, in the same order.  When an
// insertion could not get room, both are rebuilt whole before the next
// hand-over.
static HostEntry **sortedEntries;
static int lineSlots;
static int sortedStale;

// What the widget was last handed: copies of the two arrays above, which
// change in place between hand-overs while the widget must not see them.
static char **shownLines;
static HostEntry **shownEntries;
static int shownCount;
static int shownSlots;
static int listDirty;
static long lastRefreshMs;
static XtIntervalId refreshTimer;
static long refreshDueMs; // 0 when no refresh is due

// Lines replaced since the last hand-over, which the widget may still draw
// until then.
static char **retiredLines;
static int retiredCount;
static int retiredSlots;

// Entries waiting for their reverse look-up, in the order they answered,
// so that the first one's deadline is the next to come.  Entries whose
// name settled meanwhile are passed over when they reach the head.
static HostEntry *unnamedHead;
static HostEntry **unnamedTail = &unnamedHead;
static XtIntervalId nameTimer;
static int nameTimerArmed;

static long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

static const char *Text(const ARRAY8 *array) {
    return array->data != nullptr ? reinterpret_cast<char *>(array->data) : "";
}

// ---- lookup by connection type and address ----

static unsigned Hash(CARD16 connectionType, const ARRAY8 *key) {
    unsigned hash = 2166136261u ^ connectionType; // FNV-1a
    for (int i = 0; i < key->length; i++)
        hash = (hash ^ key->data[i]) * 16777619u;
    return hash;
}

static int SameKey(const HostEntry *e, CARD16 connectionType,
                   const ARRAY8 *key) {
    return e->connectionType == connectionType &&
           Array8Equal(&e->hostAddress, key);
}

static HostEntry *FindEntry(CARD16 connectionType, const ARRAY8 *key) {
    HostEntry *e = buckets != nullptr
                       ? buckets[Hash(connectionType, key) & (bucketCount - 1)]
                       : hostEntries;
    while (e != nullptr && !SameKey(e, connectionType, key))
        e = buckets != nullptr ? e->sameHash : e->next;
    return e;
}

// Keeps the chains short as the table grows.  Returns 0 when there is no
// memory for more buckets: the old ones stay, with longer chains.
static int GrowBuckets() {
    unsigned count = bucketCount == 0 ? kFirstBuckets : 4 * bucketCount;
    auto *grown =
        static_cast<HostEntry **>(std::malloc(count * sizeof(HostEntry *)));
    if (grown == nullptr)
        return 0;
    std::memset(grown, 0, count * sizeof(HostEntry *));
    std::free(buckets);
    buckets = grown;
    bucketCount = count;
    for (HostEntry *e = hostEntries; e != nullptr; e = e->next) {
        HostEntry **bucket =
            &buckets[Hash(e->connectionType, &e->hostAddress) & (count - 1)];
        e->sameHash = *bucket;
        *bucket = e;
    }
    return 1;
}

static void HashIn(HostEntry *entry) {
    // Growing takes in every entry of the table, this one included.
    if (static_cast<unsigned>(hostCount) > 2 * bucketCount && GrowBuckets())
        return;
    if (buckets == nullptr)
        return;
    HostEntry **bucket =
        &buckets[Hash(entry->connectionType, &entry->hostAddress) &
                 (bucketCount - 1)];
    entry->sameHash = *bucket;
    *bucket = entry;
}

// ---- display lines ----

static void ReleaseLine(char *line) {
    if (line != kUnknownLine)
        std::free(line);
}

static void ReleaseRetiredLines() {
    for (int i = 0; i < retiredCount; i++)
        std::free(retiredLines[i]);
    retiredCount = 0;
}

static int GrowRetiredLines() {
    int slots = retiredSlots == 0 ? kFirstRetiredSlots : 2 * retiredSlots;
    auto *grown = static_cast<char **>(std::malloc(slots * sizeof(char *)));
    if (grown == nullptr)
        return 0;
    if (retiredCount != 0)
        std::memcpy(grown, retiredLines, retiredCount * sizeof(char *));
    std::free(retiredLines);
    retiredLines = grown;
    retiredSlots = slots;
    return 1;
}

// A listed entry's old line may still be in the widget's hands.  Without
// room to keep it until the next hand-over, the widget is made to let go
// of every line at once: the list shows nothing until then.
static void DropLine(HostEntry *entry) {
    char *line = entry->displayLine;
    if (!entry->listed || line == kUnknownLine || shownCount == 0) {
        ReleaseLine(line);
        return;
    }
    if (retiredCount == retiredSlots && !GrowRetiredLines()) {
        ShowLines(nullptr, 0);
        shownCount = 0;
        listDirty = 1;
        ReleaseRetiredLines();
        std::free(line);
        return;
    }
    retiredLines[retiredCount++] = line;
}

// The screen columns that `length` bytes of `text` take in the locale's
// encoding.  A byte that is no character there (any byte beyond ASCII in
// the C locale) takes one, as it does in printf's field width.
static int ScreenColumns(const char *text, int length) {
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
static void FormatLine(HostEntry *entry) {
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

int CompareLines(const void *a, const void *b) {
    return std::strcmp(*static_cast<char *const *>(a),
                       *static_cast<char *const *>(b));
}

static int CompareEntryLines(const void *a, const void *b) {
    return std::strcmp((*static_cast<HostEntry *const *>(a))->displayLine,
                       (*static_cast<HostEntry *const *>(b))->displayLine);
}

// ---- the sorted lines, kept sorted by insertion ----

static int GrowLines(int slots) {
    auto *lines = static_cast<char **>(std::malloc(slots * sizeof(char *)));
    auto *entries =
        static_cast<HostEntry **>(std::malloc(slots * sizeof(HostEntry *)));
    if (lines == nullptr || entries == nullptr) {
        std::free(lines);
        std::free(entries);
        return 0;
    }
    if (lineCount != 0) {
        std::memcpy(lines, displayLines, lineCount * sizeof(*lines));
        std::memcpy(entries, sortedEntries, lineCount * sizeof(*entries));
    }
    std::free(displayLines);
    std::free(sortedEntries);
    displayLines = lines;
    sortedEntries = entries;
    lineSlots = slots;
    return 1;
}

// The first position whose line sorts after `line` (after = 1) or not
// before it (after = 0).
static int LinePosition(const char *line, int after) {
    int low = 0;
    int high = lineCount;
    while (low < high) {
        int middle = low + (high - low) / 2;
        int order = std::strcmp(displayLines[middle], line);
        if (order < 0 || (after && order == 0))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

static void InsertLine(HostEntry *entry) {
    if (sortedStale)
        return;
    if (lineCount == lineSlots &&
        !GrowLines(lineSlots == 0 ? kFirstLineSlots : 2 * lineSlots)) {
        sortedStale = 1;
        return;
    }
    int at = LinePosition(entry->displayLine, 1);
    int moved = lineCount - at;
    std::memmove(displayLines + at + 1, displayLines + at,
                 moved * sizeof(*displayLines));
    std::memmove(sortedEntries + at + 1, sortedEntries + at,
                 moved * sizeof(*sortedEntries));
    displayLines[at] = entry->displayLine;
    sortedEntries[at] = entry;
    lineCount++;
}

// Called while the entry still holds the line it was inserted under.
static void RemoveLine(const HostEntry *entry) {
    if (sortedStale)
        return;
    int at = LinePosition(entry->displayLine, 0);
    while (at < lineCount && sortedEntries[at] != entry)
        at++;
    if (at == lineCount)
        return;
    int moved = lineCount - at - 1;
    std::memmove(displayLines + at, displayLines + at + 1,
                 moved * sizeof(*displayLines));
    std::memmove(sortedEntries + at, sortedEntries + at + 1,
                 moved * sizeof(*sortedEntries));
    lineCount--;
}

// After an insertion found no room: every listed line, sorted anew.
static int RebuildLines() {
    int n = 0;
    for (const HostEntry *e = hostEntries; e != nullptr; e = e->next)
        n += e->listed;
    if (n > lineSlots && !GrowLines(n))
        return 0;
    lineCount = 0;
    for (HostEntry *e = hostEntries; e != nullptr; e = e->next)
        if (e->listed)
            sortedEntries[lineCount++] = e;
    std::qsort(sortedEntries, lineCount, sizeof(*sortedEntries),
               CompareEntryLines);
    for (int i = 0; i < lineCount; i++)
        displayLines[i] = sortedEntries[i]->displayLine;
    sortedStale = 0;
    return 1;
}

static void ListEntry(HostEntry *entry) {
    entry->listed = 1;
    InsertLine(entry);
    listDirty = 1;
}

// ---- names ----

static void Rename(HostEntry *entry, const char *name) {
    ReleaseArray8(&entry->hostname);
    int length = static_cast<int>(std::strlen(name));
    if (AllocArray8(&entry->hostname, length))
        std::memcpy(entry->hostname.data, name, length);
    ReleaseLine(entry->displayLine); // not listed yet: never shown
    FormatLine(entry);
}

// A reply with a name from an IPv4 sender is shown under the name that the
// resolver gives its address, when it has one and gives it in time;
// whichever name the line is first shown under, it keeps.
static void NameFound(void *clientData, const in_addr * /*address*/,
                      const char *name) {
    auto *entry = static_cast<HostEntry *>(clientData);
    if (entry->listed)
        return;
    if (name != nullptr)
        Rename(entry, name);
    ListEntry(entry);
    RefreshSoon(1);
}

static void NameWaitOver(XtPointer, XtIntervalId *);

static void ArmNameTimer() {
    while (unnamedHead != nullptr && unnamedHead->listed)
        unnamedHead = unnamedHead->nextUnnamed;
    if (unnamedHead == nullptr) {
        unnamedTail = &unnamedHead;
        return;
    }
    long wait = unnamedHead->answeredMs + kNameWaitMs - NowMs();
    nameTimer =
        XtAppAddTimeOut(appContext, wait > 0 ? wait : 0, NameWaitOver, nullptr);
    nameTimerArmed = 1;
}

// Lists, under the names their replies gave, the entries whose look-up
// has not settled within kNameWaitMs of their first reply.
static void NameWaitOver(XtPointer, XtIntervalId *) {
    nameTimerArmed = 0;
    long now = NowMs();
    while (
        unnamedHead != nullptr &&
        (unnamedHead->listed || unnamedHead->answeredMs + kNameWaitMs <= now)) {
        HostEntry *entry = unnamedHead;
        unnamedHead = entry->nextUnnamed;
        if (!entry->listed)
            ListEntry(entry);
    }
    ArmNameTimer();
    RefreshSoon(1);
}

static void AwaitName(HostEntry *entry) {
    entry->answeredMs = NowMs();
    entry->nextUnnamed = nullptr;
    *unnamedTail = entry;
    unnamedTail = &entry->nextUnnamed;
    if (!nameTimerArmed)
        ArmNameTimer();
}

// ---- recording ----

static HostEntry *NewEntry(ARRAY8 *hostname, const ARRAY8 *key,
                           CARD16 connectionType) {
    auto *entry = static_cast<HostEntry *>(std::malloc(sizeof(HostEntry)));
    if (entry == nullptr)
        return nullptr;
    entry->hostAddress = {0, nullptr};
    if (!AllocArray8(&entry->hostAddress, key->length)) {
        std::free(entry);
        return nullptr;
    }
    if (key->length != 0) // a local sender's key has no bytes at all
        std::memcpy(entry->hostAddress.data, key->data, key->length);
    entry->next = nullptr;
    entry->connectionType = connectionType;
    entry->hostname = *hostname;
    entry->listed = 0;
    entry->sameHash = nullptr;
    entry->nextUnnamed = nullptr;
    entry->answeredMs = 0;
    *entryTail = entry;
    entryTail = &entry->next;
    hostCount++;
    return entry;
}

int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const sockaddr_in *sender,
               int willing) {
    in_addr senderAddress = sender->sin_addr;
    CARD8 keyBytes[sizeof(senderAddress)];
    std::memcpy(keyBytes, &senderAddress, sizeof(keyBytes));
    ARRAY8 key = {0, nullptr};
    CARD16 connectionType = kFamilyLocal;
    if (sender->sin_family == AF_INET) {
        key.length = sizeof(keyBytes);
        key.data = keyBytes;
        connectionType = kFamilyInternet;
    }

    HostEntry *entry = FindEntry(connectionType, &key);
    if (entry == nullptr) {
        entry = NewEntry(hostname, &key, connectionType);
        if (entry == nullptr)
            return 0;
        entry->willing = willing;
        entry->status = *status;
        FormatLine(entry);
        HashIn(entry);
        if (hostname->length != 0 && connectionType == kFamilyInternet &&
            LookUpAddress(&senderAddress, NameFound, entry))
            AwaitName(entry);
        else
            ListEntry(entry);
        return 1;
    }
    if (Array8Equal(&entry->status, status))
        return 0;
    // The entry keeps the name it was first shown under.
    if (entry->listed)
        RemoveLine(entry);
    DropLine(entry);
    ReleaseArray8(&entry->status);
    ReleaseArray8(hostname);
    entry->willing = willing;
    entry->status = *status;
    FormatLine(entry);
    if (entry->listed) {
        InsertLine(entry);
        listDirty = 1;
    }
    return 1;
}

// ---- the widget ----

void ShowLines(char **lines, int n) {
    // Given no array, the widget would show its own name as the one line;
    // an array that holds only the terminating null shows nothing.
    static const char *noLines[] = {nullptr};
    XawListChange(list, n == 0 ? noLines : const_cast<const char **>(lines), n,
                  0, True);
}

int ShownCount() {
    return shownCount;
}

HostEntry *ShownEntry(int index) {
    return index >= 0 && index < shownCount ? shownEntries[index] : nullptr;
}

int ShownIndex(const HostEntry *entry) {
    for (int i = 0; i < shownCount; i++)
        if (shownEntries[i] == entry)
            return i;
    return -1;
}

HostEntry *SelectedHost() {
    XawListReturnStruct *current = XawListShowCurrent(list);
    HostEntry *entry = ShownEntry(current->list_index);
    XtFree(reinterpret_cast<char *>(current));
    return entry;
}

void RefreshList() {
    if (!listDirty || (sortedStale && !RebuildLines()))
        return;
    HostEntry *selected = SelectedHost();
    char **lines = shownLines;
    HostEntry **entries = shownEntries;
    if (lineCount > shownSlots) {
        lines = static_cast<char **>(std::malloc(lineCount * sizeof(*lines)));
        entries = static_cast<HostEntry **>(
            std::malloc(lineCount * sizeof(*entries)));
        if (lines == nullptr || entries == nullptr) {
            std::free(lines);
            std::free(entries);
            return;
        }
    }
    // The widget redraws only once this callback returns, so the arrays it
    // holds may be filled in place just before it is told of them.
    if (lineCount != 0) {
        std::memcpy(lines, displayLines, lineCount * sizeof(*lines));
        std::memcpy(entries, sortedEntries, lineCount * sizeof(*entries));
    }
    FitColumns(lineCount);
    ShowLines(lines, lineCount);
    if (lines != shownLines) {
        std::free(shownLines);
        std::free(shownEntries);
        shownLines = lines;
        shownEntries = entries;
        shownSlots = lineCount;
    }
    shownCount = lineCount;
    ReleaseRetiredLines();
    listDirty = 0;
    lastRefreshMs = NowMs();
    int at = ShownIndex(selected);
    if (at >= 0)
        XawListHighlight(list, at);
    HeadingSeesLines(shownCount);
}

static void RefreshDue(XtPointer, XtIntervalId *) {
    refreshDueMs = 0;
    RefreshList();
}

void RefreshSoon(int idle) {
    if (!listDirty)
        return;
    long now = NowMs();
    long due = lastRefreshMs + (idle ? kIdleRefreshMs : kBurstRefreshMs);
    if (now >= due) {
        RefreshList();
        return;
    }
    if (refreshDueMs != 0 && refreshDueMs <= due)
        return;
    if (refreshDueMs != 0)
        XtRemoveTimeOut(refreshTimer);
    refreshTimer = XtAppAddTimeOut(appContext, due - now, RefreshDue, nullptr);
    refreshDueMs = due;
}

// ---- emptying ----

void FreeHostEntry(HostEntry *entry) {
    ReleaseArray8(&entry->hostname);
    ReleaseArray8(&entry->hostAddress);
    ReleaseArray8(&entry->status);
    ReleaseLine(entry->displayLine);
    std::free(entry);
}

static void ReleaseLineArrays(char ***lines, HostEntry ***entries, int *count,
                              int *slots) {
    std::free(*lines);
    std::free(*entries);
    *lines = nullptr;
    *entries = nullptr;
    *count = 0;
    *slots = 0;
}

void ClearHosts() {
    // The widget lets go of every line before any is released.
    ShowLines(nullptr, 0);
    ReleaseLineArrays(&shownLines, &shownEntries, &shownCount, &shownSlots);
    HeadingSeesLines(0);
    ReleaseRetiredLines();
    HostEntry *next;
    for (HostEntry *e = hostEntries; e != nullptr; e = next) {
        next = e->next;
        FreeHostEntry(e);
    }
    hostCount = 0;
    hostEntries = nullptr;
    entryTail = &hostEntries;
    std::free(buckets);
    buckets = nullptr;
    bucketCount = 0;
    ReleaseLineArrays(&displayLines, &sortedEntries, &lineCount, &lineSlots);
    sortedStale = 0;
    listDirty = 0;

    DiscardAddressLookUps();
    if (nameTimerArmed)
        XtRemoveTimeOut(nameTimer);
    nameTimerArmed = 0;
    unnamedHead = nullptr;
    unnamedTail = &unnamedHead;
}
