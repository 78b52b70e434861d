#include "hosts/hosts.h"

#include <X11/Intrinsic.h>
#include <X11/Xaw/List.h>
#include <netdb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/window.h"

HostEntry *hostEntries;
int hostCount;
char **displayLines;

static HostEntry **entryTail = &hostEntries;
// Slots in the displayLines array; hostCount runs ahead of it while a new
// entry waits for its rebuild.
static int displayLineSlots;

// Stands in for a display line that could not be allocated; never released.
static char kUnknownLine[] = "Unknown";
// Room beyond the name and status: the separating space, the terminating
// zero and a margin.
static constexpr int kLineSlack = 10;

static const char *Text(const ARRAY8 *array) {
    return array->data != nullptr ? reinterpret_cast<char *>(array->data) : "";
}

static void ReleaseLine(HostEntry *entry) {
    if (entry->displayLine != kUnknownLine)
        std::free(entry->displayLine);
}

// The name is filled out to 30 columns; the status is right-justified in a
// field as wide as its length, so it shows leading blanks only when it
// holds a zero byte.  Both stop at a zero byte.
static void FormatLine(HostEntry *entry) {
    int nameLength = entry->hostname.length;
    int statusLength = entry->status.length;
    std::size_t size = (nameLength > kNameColumns ? nameLength : kNameColumns) +
                       statusLength + kLineSlack;
    entry->displayLine = static_cast<char *>(std::malloc(size));
    if (entry->displayLine == nullptr) {
        entry->displayLine = kUnknownLine;
        return;
    }
    std::snprintf(entry->displayLine, size, "%-30.*s %*.*s", nameLength,
                  Text(&entry->hostname), statusLength, statusLength,
                  Text(&entry->status));
}

// A reply with a name from an IPv4 sender is shown under the name that the
// resolver gives its address, when it has one.
static void ResolveName(ARRAY8 *hostname, const ARRAY8 *key) {
    const hostent *host = gethostbyaddr(key->data, key->length, AF_INET);
    if (host == nullptr)
        return;
    ReleaseArray8(hostname);
    int length = static_cast<int>(std::strlen(host->h_name));
    if (AllocArray8(hostname, length))
        std::memcpy(hostname->data, host->h_name, length);
}

static HostEntry *NewEntry(ARRAY8 *hostname, const ARRAY8 *key,
                           CARD16 connectionType) {
    auto *entry = static_cast<HostEntry *>(std::malloc(sizeof(HostEntry)));
    if (entry == nullptr)
        return nullptr;
    if (hostname->length != 0 && connectionType == kFamilyInternet)
        ResolveName(hostname, key);
    entry->hostAddress = {0, nullptr};
    if (!AllocArray8(&entry->hostAddress, key->length)) {
        std::free(entry);
        return nullptr;
    }
    if (key->length != 0) // a local sender's key has no bytes at all
        std::memcpy(entry->hostAddress.data, key->data, key->length);
    entry->connectionType = connectionType;
    entry->hostname = *hostname;
    entry->next = nullptr;
    *entryTail = entry;
    entryTail = &entry->next;
    hostCount++;
    return entry;
}

int RecordHost(ARRAY8 *hostname, ARRAY8 *status, const sockaddr_in *sender,
               int willing) {
    in_addr senderAddress = sender->sin_addr;
    ARRAY8 key = {0, nullptr};
    CARD16 connectionType = kFamilyLocal;
    if (sender->sin_family == AF_INET) {
        key.length = sizeof(senderAddress);
        key.data = reinterpret_cast<CARD8 *>(&senderAddress);
        connectionType = kFamilyInternet;
    }

    HostEntry *entry = hostEntries;
    while (entry != nullptr && !(entry->connectionType == connectionType &&
                                 Array8Equal(&entry->hostAddress, &key)))
        entry = entry->next;

    if (entry == nullptr) {
        entry = NewEntry(hostname, &key, connectionType);
        if (entry == nullptr)
            return 0;
    } else {
        if (Array8Equal(&entry->status, status))
            return 0;
        // The entry keeps the name it was first shown under.
        ReleaseLine(entry);
        ReleaseArray8(&entry->status);
        ReleaseArray8(hostname);
    }
    entry->willing = willing;
    entry->status = *status;
    FormatLine(entry);
    RefreshList(hostCount);
    return 1;
}

int CompareLines(const void *a, const void *b) {
    return std::strcmp(*static_cast<char *const *>(a),
                       *static_cast<char *const *>(b));
}

void ShowLines(char **lines, int n) {
    // Given no array, the widget would show its own name as the one line;
    // an array that holds only the terminating null shows nothing.
    static const char *noLines[] = {nullptr};
    XawListChange(list, n == 0 ? noLines : const_cast<const char **>(lines), n,
                  0, True);
}

static void FillSorted(char **lines, int n) {
    int i = 0;
    for (const HostEntry *e = hostEntries; e != nullptr && i < n; e = e->next)
        lines[i++] = e->displayLine;
    std::qsort(lines, n, sizeof(*lines), CompareLines);
}

void RefreshList(int n) {
    char **lines = nullptr;
    if (n != 0) {
        lines = static_cast<char **>(std::malloc(n * sizeof(*lines)));
        if (lines == nullptr) {
            // After an update the widget's array may still point at the
            // released line.  Its slots suffice for the same number of
            // lines, so rebuild in place rather than leave it dangling; a
            // new entry released nothing, and the old array stays valid.
            if (displayLines != nullptr && n <= displayLineSlots) {
                FillSorted(displayLines, n);
                ShowLines(displayLines, n);
            }
            return;
        }
        FillSorted(lines, n);
    }
    ShowLines(lines, n);
    std::free(displayLines);
    displayLines = lines;
    displayLineSlots = n;
    hostCount = n;
}

void FreeHostEntry(HostEntry *entry) {
    ReleaseArray8(&entry->hostname);
    ReleaseArray8(&entry->hostAddress);
    ReleaseArray8(&entry->status);
    ReleaseLine(entry);
    std::free(entry);
}

void ClearHosts() {
    HostEntry *next;
    for (HostEntry *e = hostEntries; e != nullptr; e = next) {
        next = e->next;
        FreeHostEntry(e);
    }
    hostCount = 0;
    hostEntries = nullptr;
    entryTail = &hostEntries;
    RefreshList(0);
}
