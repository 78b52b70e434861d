// A request travels as one malloc'ed record: the main thread queues it, a
// worker fills in the answer and moves it to the list of answers, and the
// main thread, woken through the wake pipe or, for answers left to
// gather, the wake timer, takes the answers, hands them over and releases
// the records.  An address look-up that finds a name
// sends a copy to be told at once, and goes on to the queue of
// confirmations.  A record is always on one of the lists or in a worker's
// hands.

#include "hosts/resolver.h"

#include <fcntl.h>
#include <netdb.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "shell/loop.h"

namespace {

// Enough to have several slow DNS answers outstanding at once; a hosts
// file look-up needs only the CPU.
constexpr int kWorkers = 8;
// Workers leave the CPU to the event loop, which must stay responsive.
constexpr int kWorkerNiceness = 10;
// While look-ups are queued, answers wait up to this long, or until there
// are this many, to be handed over together: one wake of the event loop
// for a batch instead of one per answer.  The list is shown no faster.
constexpr long kGatherMs = 2;
constexpr int kGatherMost = 16;

struct LookUp {
    LookUp *next;
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

struct Queue {
    LookUp *head;
    LookUp **tail = &head;
};

void Append(Queue *queue, LookUp *request) {
    request->next = nullptr;
    *queue->tail = request;
    queue->tail = &request->next;
}

LookUp *Take(Queue *queue) {
    LookUp *request = queue->head;
    queue->head = request->next;
    if (queue->head == nullptr)
        queue->tail = &queue->head;
    return request;
}

pthread_mutex_t queueLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t queueFilled = PTHREAD_COND_INITIALIZER;
// Guarded by queueLock: the requests waiting for a worker (the forward
// look-ups that confirm names behind all others), the answers waiting for
// the main thread, how many and since when, whether the main thread has
// been woken for them, and the workers waiting for a request.
Queue asked;
Queue confirmations;
Queue answers;
int gathered;
long gatheredSinceMs;
bool woken;
int idleWorkers;
int workers; // main thread only
std::atomic<unsigned> addressEpoch;
int wakePipe[2] = {-1, -1};
int wakeTimer = -1;

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

void Answer(LookUp *request, LookUp *confirmation) {
    pthread_mutex_lock(&queueLock);
    Append(&answers, request);
    if (confirmation != nullptr)
        Append(&confirmations, confirmation);
    long now = NowMs();
    if (gathered++ == 0)
        gatheredSinceMs = now;
    // The last of the names, or of all answers, is not kept waiting; a
    // confirmation changes no line.
    bool confirms = request->settled && request->name != nullptr &&
                    request->nameDone == nullptr;
    bool wake = !woken && (gathered >= kGatherMost ||
                           now - gatheredSinceMs >= kGatherMs ||
                           (asked.head == nullptr &&
                            (!confirms || confirmations.head == nullptr)));
    // The timer wakes the main thread for answers that no later one ends
    // the gathering of, when every worker is held up by a slow look-up.
    bool setTimer = !woken && !wake && gathered == 1;
    woken = woken || wake;
    pthread_mutex_unlock(&queueLock);
    // One byte at a time at most waits in the pipe.
    if (wake)
        while (write(wakePipe[1], "", 1) < 0 && errno == EINTR)
            ;
    if (setTimer) {
        itimerspec gather{};
        gather.it_value.tv_nsec = kGatherMs * 1000000;
        timerfd_settime(wakeTimer, 0, &gather, nullptr);
    }
}

// Does one step of `request`, and answers, or queues its next step.  An
// address look-up whose reverse step is done carries the name it found.
void Step(LookUp *request) {
    if (request->nameDone != nullptr) {
        ResolveName(request);
        Answer(request, nullptr);
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
            Answer(told, request);
            return;
        }
        if (request->name != nullptr)
            ConfirmName(request);
    }
    request->settled = true;
    Answer(request, nullptr);
}

void *Work(void *) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)),
                kWorkerNiceness);
    for (;;) {
        pthread_mutex_lock(&queueLock);
        while (asked.head == nullptr && confirmations.head == nullptr) {
            idleWorkers++;
            pthread_cond_wait(&queueFilled, &queueLock);
            idleWorkers--;
        }
        LookUp *request = Take(asked.head != nullptr ? &asked : &confirmations);
        pthread_mutex_unlock(&queueLock);
        Step(request);
    }
    return nullptr;
}

// On the main thread: hands over the answers that have come back.
void DeliverAnswers(XtPointer, int *source, XtInputId *) noexcept {
    std::uint64_t wake; // a byte of the pipe, or the timer's count
    while (read(*source, &wake, sizeof(wake)) < 0 && errno == EINTR)
        ;
    pthread_mutex_lock(&queueLock);
    LookUp *a = answers.head;
    answers.head = nullptr;
    answers.tail = &answers.head;
    gathered = 0;
    woken = false;
    pthread_mutex_unlock(&queueLock);
    while (a != nullptr) {
        LookUp *next = a->next;
        if (a->nameDone != nullptr)
            a->nameDone(a->clientData, a->found, a->foundCount, a->unanswered);
        else if (a->epoch == addressEpoch.load())
            a->addressDone(a->clientData,
                           reinterpret_cast<sockaddr *>(&a->address), a->name,
                           a->confirmed, a->settled);
        std::free(a->name);
        std::free(a->found);
        std::free(a);
        a = next;
    }
}

// The pipe, the timer and the first worker come with the first request,
// so that a program that looks nothing up starts no thread.
bool OpenWakes() {
    if (wakeTimer >= 0)
        return true;
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    wakeTimer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (wakeTimer < 0)
        return false;
    WatchReadable(wakePipe[0], DeliverAnswers);
    WatchReadable(wakeTimer, DeliverAnswers);
    return true;
}

// A new worker for a request that would otherwise wait for a busy one, up
// to kWorkers.  True when some worker is there to take it.
bool StartWorkerIfNoneIdle() {
    pthread_mutex_lock(&queueLock);
    int idle = idleWorkers;
    pthread_mutex_unlock(&queueLock);
    if (idle == 0 && workers < kWorkers) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, Work, nullptr) == 0) {
            pthread_detach(thread);
            workers++;
        }
    }
    return workers > 0;
}

bool Queue(LookUp *request) {
    if (!OpenWakes() || !StartWorkerIfNoneIdle()) {
        std::free(request->name);
        std::free(request);
        return false;
    }
    pthread_mutex_lock(&queueLock);
    Append(&asked, request);
    pthread_cond_signal(&queueFilled);
    pthread_mutex_unlock(&queueLock);
    return true;
}

LookUp *NewLookUp(void *clientData) {
    auto *request = static_cast<LookUp *>(std::malloc(sizeof(LookUp)));
    if (request != nullptr) {
        *request = LookUp{};
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
    return Queue(request);
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
    return Queue(request);
}

void DiscardAddressLookUps() {
    addressEpoch++;
}
