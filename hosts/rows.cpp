// The waits remember the host's key, never the entry itself: an answer
// that comes after the table was cleared finds no entry and does nothing.

#include "hosts/rows.h"

#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "hosts/resolver.h"
#include "shell/clock.h"
#include "xdmcp/address.h"

namespace {

struct Wait {
    HostKey key;
    long deadlineMs;
};

// In the order the hosts first replied, so that the first deadline is the
// next.
std::deque<Wait> waits;
int waitTimer = -1;
// Entries named but not listed, for a listed entry shows their name and
// one of the two names is not settled yet.
std::vector<HostKey> held;
void (*listedHook)(bool lastName);

void TellListed(bool lastName) {
    if (listedHook != nullptr)
        listedHook(lastName);
}

// ---- telling hosts apart ----

bool NamedAlike(const HostEntry *a, const HostEntry *b) {
    return a->naming == Naming::kConfirmed && b->naming == Naming::kConfirmed &&
           Array8Equal(&a->hostname, &b->hostname);
}

// Decides, as `entry` is listed, whether it shows its address.  Once two
// entries not named alike show a name, every entry that shows it shows
// its address too, until the table is cleared; so the one other entry
// found tells whether the name is shared that way already.
void TellApart(HostEntry *entry) {
    const HostEntry *other = ListedNamesake(entry);
    if (other == nullptr || (!other->showsAddress && NamedAlike(entry, other)))
        return;
    bool shared = other->showsAddress;
    entry->showsAddress = true;
    RemakeLine(entry);
    if (shared)
        return;
    for (HostEntry *named : ListedNamesakes(entry)) {
        named->showsAddress = true;
        RemakeLine(named);
    }
}

// ---- the wait for names ----

// Lists `entry` unless the rule cannot yet decide between it and a listed
// entry that shows its name; true when it did.
bool ListIfSettled(HostEntry *entry) {
    const HostEntry *other = ListedNamesake(entry);
    if (other != nullptr && (entry->naming == Naming::kConfirming ||
                             other->naming == Naming::kConfirming))
        return false;
    ListHost(entry);
    return true;
}

void ListOrHold(HostEntry *entry) {
    if (ListIfSettled(entry))
        return;
    try {
        held.push_back(KeyOf(entry));
    } catch (const std::bad_alloc &) {
        ListHost(entry); // told apart from its namesake, at worst
    }
}

void ListHeld() {
    std::erase_if(held, [](const HostKey &key) {
        HostEntry *entry = FindHost(key);
        return entry == nullptr || entry->listed || ListIfSettled(entry);
    });
}

// Entries whose look-up has not settled in time are listed under the
// names their replies gave, or under names not confirmed.  True when a
// wait ended.
bool EndWaitsDue() {
    long now = NowMs();
    bool ended = false;
    while (!waits.empty() && waits.front().deadlineMs <= now) {
        HostEntry *entry = FindHost(waits.front().key);
        if (entry != nullptr) {
            if (entry->naming == Naming::kConfirming)
                entry->naming = Naming::kUnconfirmed;
            if (!entry->listed)
                ListHost(entry);
        }
        waits.pop_front();
        ended = true;
    }
    if (ended)
        ListHeld();
    return ended;
}

void ArmForNextWait() {
    if (!waits.empty())
        ArmTimer(waitTimer, waits.front().deadlineMs - NowMs());
}

// A name comes in two steps: an entry still waiting is listed under it at
// once, and named by the service when its confirmation comes in time.  A
// wait whose deadline has passed ends first, whichever the event loop
// takes first of a due deadline and an answer.
void NameFound(void *, const sockaddr *address, const char *name,
               bool confirmed, bool settled) {
    if (EndWaitsDue())
        ArmForNextWait();
    HostEntry *entry = FindHost(SenderKey(address));
    if (entry == nullptr)
        return;
    if (!settled) {
        if (entry->listed)
            return; // its wait is over
        RenameHost(entry, name);
        entry->naming = Naming::kConfirming;
        ListOrHold(entry);
    } else if (entry->naming == Naming::kConfirming) {
        entry->naming = confirmed ? Naming::kConfirmed : Naming::kUnconfirmed;
        ListHeld();
    } else if (!entry->listed) {
        if (name != nullptr) {
            RenameHost(entry, name);
            entry->naming =
                confirmed ? Naming::kConfirmed : Naming::kUnconfirmed;
        }
        ListOrHold(entry);
    }
    TellListed(std::ssize(ListedHosts()) == hostCount);
}

} // namespace

void TakeNewHost(HostEntry *entry) {
    HostKey key = KeyOf(entry);
    sockaddr_storage address;
    socklen_t length = KeyAddress(key, 0, &address);
    if (entry->hostname.length == 0 || length == 0 ||
        NameWaitDescriptor() < 0) {
        ListHost(entry);
        return;
    }
    try {
        waits.push_back({key, NowMs() + kNameWaitMs});
    } catch (const std::bad_alloc &) {
        ListHost(entry);
        return;
    }
    if (!LookUpAddress(reinterpret_cast<sockaddr *>(&address), length,
                       waits.back().deadlineMs, NameFound, nullptr)) {
        waits.pop_back();
        ListHost(entry);
        return;
    }
    if (waits.size() == 1)
        ArmTimer(waitTimer, kNameWaitMs);
}

void ListHost(HostEntry *entry) {
    TellApart(entry);
    entry->listed = true;
    InsertListed(entry);
}

int NameWaitDescriptor() {
    if (waitTimer < 0)
        waitTimer = OpenTimer();
    return waitTimer;
}

void NameWaitsDue() {
    DrainTimer(waitTimer);
    bool ended = EndWaitsDue();
    ArmForNextWait();
    if (ended)
        TellListed(false);
}

void SetListedHook(void (*listed)(bool lastName)) {
    listedHook = listed;
}

void DropNameWaits() {
    DiscardAddressLookUps();
    waits.clear();
    held.clear();
}

bool SameRow(const HostEntry *a, const HostEntry *b) {
    return HasLine(a) && std::strcmp(a->displayLine, b->displayLine) == 0 &&
           NamedAlike(a, b);
}
