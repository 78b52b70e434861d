// The waits remember the host's key, never the entry itself: an answer
// that comes after the table was cleared finds no entry and does nothing.

#include "hosts/names.h"

#include <deque>
#include <new>
#include <vector>

#include "hosts/resolver.h"
#include "hosts/view.h"
#include "shell/loop.h"
#include "xdmcp/address.h"

namespace {

struct Wait {
    HostKey key;
    long deadlineMs;
};

// In the order the hosts answered, so that the first deadline is the next.
std::deque<Wait> waits;
XtIntervalId timer;
bool timerArmed;
// Entries named but not listed, for a listed entry shows their name and
// one of the two names is not settled yet.
std::vector<HostKey> held;

// Lists `entry` unless the rows rule cannot yet decide between it and a
// listed entry that shows its name; true when it did.
bool ListIfSettled(HostEntry *entry) {
    const HostEntry *other = ListedNamesake(entry);
    if (other != nullptr && (entry->confirming || other->confirming))
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

// The last host to wait for its name is shown the soonest.
Pace PaceOfNames() {
    return std::ssize(ListedHosts()) == hostCount ? Pace::kSettled
                                                  : Pace::kIdle;
}

// A name comes in two steps: an entry still waiting is listed under it at
// once, and named by the service when its confirmation comes in time.
void NameFound(void *, const sockaddr *address, const char *name,
               bool confirmed, bool settled) {
    HostEntry *entry = FindHost(SenderKey(address));
    if (entry == nullptr)
        return;
    if (!settled) {
        if (entry->listed)
            return; // its wait is over
        NameHost(entry, name, false);
        entry->confirming = true;
        ListOrHold(entry);
    } else if (entry->confirming) {
        entry->confirming = false;
        entry->namedByService = confirmed;
        ListHeld();
    } else if (!entry->listed) {
        if (name != nullptr)
            NameHost(entry, name, confirmed);
        ListOrHold(entry);
    }
    RefreshSoon(PaceOfNames());
}

void DeadlinePassed(XtPointer, XtIntervalId *) noexcept;

void ArmTimer() {
    if (waits.empty())
        return;
    long wait = waits.front().deadlineMs - NowMs();
    timer = StartTimer(wait > 0 ? wait : 0, DeadlinePassed);
    timerArmed = true;
}

// Entries whose look-up has not settled in time are listed under the
// names their replies gave, or under names not confirmed.
void DeadlinePassed(XtPointer, XtIntervalId *) noexcept {
    timerArmed = false;
    long now = NowMs();
    while (!waits.empty() && waits.front().deadlineMs <= now) {
        HostEntry *entry = FindHost(waits.front().key);
        if (entry != nullptr) {
            entry->confirming = false;
            if (!entry->listed)
                ListHost(entry);
        }
        waits.pop_front();
    }
    ListHeld();
    ArmTimer();
    RefreshSoon(Pace::kIdle);
}

} // namespace

bool AwaitName(HostEntry *entry) {
    HostKey key = KeyOf(entry);
    sockaddr_storage address;
    socklen_t length = KeyAddress(key, 0, &address);
    if (entry->hostname.length == 0 || length == 0)
        return false;
    try {
        waits.push_back({key, NowMs() + kNameWaitMs});
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (!LookUpAddress(reinterpret_cast<sockaddr *>(&address), length,
                       waits.back().deadlineMs, NameFound, nullptr)) {
        waits.pop_back();
        return false;
    }
    if (!timerArmed)
        ArmTimer();
    return true;
}

void DropNameWaits() {
    DiscardAddressLookUps();
    waits.clear();
    held.clear();
    if (timerArmed)
        XtRemoveTimeOut(timer);
    timerArmed = false;
}
