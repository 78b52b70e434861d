// The waits remember the host's key, never the entry itself: an answer
// that comes after the table was cleared finds no entry and does nothing.

#include "hosts/names.h"

#include <deque>
#include <new>

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

// Lists the entry of `key` if it is still waiting, named `name` if not null.
void Settle(const HostKey &key, const char *name, bool confirmed) {
    HostEntry *entry = FindHost(key);
    if (entry == nullptr || entry->listed)
        return;
    if (name != nullptr)
        NameHost(entry, name, confirmed);
    ListHost(entry);
}

void NameFound(void *, const sockaddr *address, const char *name,
               bool confirmed) {
    Settle(SenderKey(address), name, confirmed);
    RefreshSoon(true);
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
// names their replies gave.
void DeadlinePassed(XtPointer, XtIntervalId *) noexcept {
    timerArmed = false;
    long now = NowMs();
    while (!waits.empty() && waits.front().deadlineMs <= now) {
        Settle(waits.front().key, nullptr, false);
        waits.pop_front();
    }
    ArmTimer();
    RefreshSoon(true);
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
    if (timerArmed)
        XtRemoveTimeOut(timer);
    timerArmed = false;
}
