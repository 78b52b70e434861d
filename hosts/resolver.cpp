// A request travels as one malloc'ed record, a job of the pool
// (hosts/pool): the main thread queues it, a worker fills in the answer,
// and the main thread hands it over and releases the record.  An address
// look-up that finds a name sends a copy to be told at once, and goes on
// in the pool's second lane, behind the reverse look-ups, to be confirmed.

#include "hosts/resolver.h"

#include <netdb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "hosts/pool.h"
#include "shell/clock.h"

namespace {

struct LookUp {
    Job job;         ///< first, so that a job is its look-up
    unsigned epoch;  ///< of an address look-up: the epoch it belongs to
    long deadlineMs; ///< of an address look-up: no step begun after it
    // An IPv4 or IPv6 address asked about: the room of the larger, not of
    // any family's, for thousands of these may wait in a burst.
    sockaddr_in6 address;
    socklen_t addressLength;
    char *name; ///< asked about, or found (malloc'ed; null if none)
    sockaddr_storage *found; ///< a name's addresses (malloc'ed)
    int foundCount;
    bool confirmed;              ///< the name found leads back to the address
    bool settled;                ///< the forward look-up is done, if any
    bool unanswered;             ///< the name service did not answer
    AddressLookedUp addressDone; ///< for an address look-up
    NameLookedUp nameDone;       ///< for a name look-up
    void *clientData;
};

std::atomic<unsigned> addressEpoch;

// A name's addresses of either family, once each (one socket type asked).
void ResolveName(LookUp *request) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *first = nullptr;
    int error = getaddrinfo(request->name, nullptr, &hints, &first);
    // No such name, or none with an address, is an answer; the rest is not.
    request->unanswered =
        error != 0 && error != EAI_NONAME && error != EAI_NODATA;
    if (error != 0)
        return;
    int count = 0;
    for (const addrinfo *a = first; a != nullptr; a = a->ai_next)
        count++;
    request->found = static_cast<sockaddr_storage *>(
        std::malloc(count * sizeof(sockaddr_storage)));
    for (const addrinfo *a = first; a != nullptr && request->found != nullptr;
         a = a->ai_next)
        if (a->ai_addrlen <= sizeof(sockaddr_storage))
            std::memcpy(&request->found[request->foundCount++], a->ai_addr,
                        a->ai_addrlen);
    freeaddrinfo(first);
}

// The bytes of an IPv4 or IPv6 socket address's address.
std::string_view AddressBytes(const sockaddr *address) {
    if (address->sa_family == AF_INET)
        return {reinterpret_cast<const char *>(
                    &reinterpret_cast<const sockaddr_in *>(address)->sin_addr),
                sizeof(in_addr)};
    return {reinterpret_cast<const char *>(
                &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr),
            sizeof(in6_addr)};
}

void FindName(LookUp *request) {
    char name[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&request->address),
                    request->addressLength, name, sizeof(name), nullptr, 0,
                    NI_NAMEREQD) == 0)
        request->name = strdup(name);
}

// A name that anyone may give their own address in reverse counts only
// when its forward records, which its owner keeps, lead back to the
// address: the practice of TCP wrappers' PARANOID and OpenSSH's UseDNS.
void ConfirmName(LookUp *request) {
    const auto *address = reinterpret_cast<const sockaddr *>(&request->address);
    // Only the address's own family can lead back to it: a name server is
    // asked one question, not two.
    addrinfo hints{};
    hints.ai_family = address->sa_family;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *first = nullptr;
    if (getaddrinfo(request->name, nullptr, &hints, &first) != 0)
        return;
    for (const addrinfo *a = first; a != nullptr; a = a->ai_next)
        request->confirmed |= a->ai_family == address->sa_family &&
                              AddressBytes(a->ai_addr) == AddressBytes(address);
    freeaddrinfo(first);
}

// A copy of an address look-up that has found its name, to be told before
// the name is confirmed; null when there is no memory for it.
LookUp *NameToTell(const LookUp *request) {
    auto *told = static_cast<LookUp *>(std::malloc(sizeof(LookUp)));
    if (told == nullptr)
        return nullptr;
    *told = *request;
    told->name = strdup(request->name);
    if (told->name == nullptr) {
        std::free(told);
        return nullptr;
    }
    return told;
}

// Does one step of `request`, and answers, or queues its next step.  An
// address look-up whose reverse step is done carries the name it found.
void Step(Job *job) {
    auto *request = reinterpret_cast<LookUp *>(job);
    if (request->nameDone != nullptr) {
        ResolveName(request);
        JobDone(&request->job);
        return;
    }
    bool inTime =
        request->epoch == addressEpoch.load() && NowMs() < request->deadlineMs;
    if (request->name != nullptr) {
        if (inTime)
            ConfirmName(request);
    } else if (inTime) {
        FindName(request);
        LookUp *told = request->name != nullptr ? NameToTell(request) : nullptr;
        if (told != nullptr) {
            JobDone(&told->job, &request->job);
            return;
        }
        if (request->name != nullptr)
            ConfirmName(request);
    }
    request->settled = true;
    JobDone(&request->job);
}

// On the main thread: hands the answer over, unless its epoch is gone.
void Deliver(Job *job) {
    auto *a = reinterpret_cast<LookUp *>(job);
    if (a->nameDone != nullptr)
        a->nameDone(a->clientData, a->found, a->foundCount, a->unanswered);
    else if (a->epoch == addressEpoch.load())
        a->addressDone(a->clientData, reinterpret_cast<sockaddr *>(&a->address),
                       a->name, a->confirmed, a->settled);
    std::free(a->name);
    std::free(a->found);
    std::free(a);
}

bool Submit(LookUp *request) {
    if (QueueJob(&request->job))
        return true;
    std::free(request->name);
    std::free(request);
    return false;
}

LookUp *NewLookUp(void *clientData) {
    auto *request = static_cast<LookUp *>(std::malloc(sizeof(LookUp)));
    if (request != nullptr) {
        *request = LookUp{};
        request->job.run = Step;
        request->job.deliver = Deliver;
        request->clientData = clientData;
    }
    return request;
}

} // namespace

bool LookUpAddress(const sockaddr *address, socklen_t length, long deadlineMs,
                   AddressLookedUp done, void *clientData) {
    LookUp *request = NewLookUp(clientData);
    if (request == nullptr || length > sizeof(request->address)) {
        std::free(request);
        return false;
    }
    std::memcpy(&request->address, address, length);
    request->addressLength = length;
    request->deadlineMs = deadlineMs;
    request->epoch = addressEpoch.load();
    request->addressDone = done;
    return Submit(request);
}

bool LookUpName(const char *name, NameLookedUp done, void *clientData) {
    LookUp *request = NewLookUp(clientData);
    if (request == nullptr)
        return false;
    request->nameDone = done;
    request->name = strdup(name);
    if (request->name == nullptr) {
        std::free(request);
        return false;
    }
    return Submit(request);
}

void DiscardAddressLookUps() {
    addressEpoch++;
}
