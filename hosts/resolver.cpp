// A request travels as one malloc'ed record: the main thread queues it, a
// worker fills in the answer and moves it to the list of answers, and the
// main thread, woken by a byte in the pipe, takes the answers, hands them
// over and releases the records.  A record is always on one of the two
// lists or in a worker's hands, never only in the pipe.

#include "hosts/resolver.h"

#include <X11/Intrinsic.h>
#include <fcntl.h>
#include <netdb.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shell/startup.h"

namespace {

// Enough to have several slow DNS answers outstanding at once; a hosts
// file look-up needs only the CPU.
constexpr int kWorkers = 8;
// Workers leave the CPU to the event loop, which must stay responsive.
constexpr int kWorkerNiceness = 10;
constexpr std::size_t kFirstAnswerRoom = 1024;
constexpr std::size_t kMostAnswerRoom = 65536;

struct LookUp {
    LookUp *next;
    int byName;      ///< 1: name to address; 0: address to name
    unsigned epoch;  ///< of an address look-up: the epoch it belongs to
    in_addr address; ///< asked about, or found
    char *name;      ///< asked about, or found (malloc'ed; null if none)
    int found;
    LookUpDone done;
    void *clientData;
};

pthread_mutex_t queueLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t queueFilled = PTHREAD_COND_INITIALIZER;
// Guarded by queueLock: the requests waiting for a worker, the answers
// waiting for the main thread, whether the main thread has been woken for
// them, and the workers waiting for a request.
LookUp *queueHead;
LookUp **queueTail = &queueHead;
LookUp *answerHead;
LookUp **answerTail = &answerHead;
int woken;
int idleWorkers;
int workers; // main thread only
std::atomic<unsigned> addressEpoch;
int wakePipe[2] = {-1, -1};

// Runs one hostent call, giving it more room until its answer fits, and
// keeps what the caller needs of the answer.
void Resolve(LookUp *request) {
    for (std::size_t room = kFirstAnswerRoom; room <= kMostAnswerRoom;
         room *= 2) {
        char *buffer = static_cast<char *>(std::malloc(room));
        if (buffer == nullptr)
            return;
        hostent host;
        hostent *result = nullptr;
        int error = 0;
        int status = request->byName
                         ? gethostbyname_r(request->name, &host, buffer, room,
                                           &result, &error)
                         : gethostbyaddr_r(
                               &request->address, sizeof(request->address),
                               AF_INET, &host, buffer, room, &result, &error);
        if (status == ERANGE) {
            std::free(buffer);
            continue;
        }
        if (status == 0 && result != nullptr) {
            if (request->byName) {
                // As gethostbyname is used: the first address, IPv4 only.
                request->found = host.h_addrtype == AF_INET &&
                                 host.h_length == sizeof(in_addr) &&
                                 host.h_addr_list[0] != nullptr;
                if (request->found)
                    std::memcpy(&request->address, host.h_addr_list[0],
                                sizeof(in_addr));
            } else {
                request->name = strdup(host.h_name);
                request->found = request->name != nullptr;
            }
        }
        std::free(buffer);
        return;
    }
}

void *Work(void *) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)),
                kWorkerNiceness);
    for (;;) {
        pthread_mutex_lock(&queueLock);
        while (queueHead == nullptr) {
            idleWorkers++;
            pthread_cond_wait(&queueFilled, &queueLock);
            idleWorkers--;
        }
        LookUp *request = queueHead;
        queueHead = request->next;
        if (queueHead == nullptr)
            queueTail = &queueHead;
        pthread_mutex_unlock(&queueLock);

        if (request->byName || request->epoch == addressEpoch.load())
            Resolve(request);

        pthread_mutex_lock(&queueLock);
        request->next = nullptr;
        *answerTail = request;
        answerTail = &request->next;
        int wake = !woken;
        woken = 1;
        pthread_mutex_unlock(&queueLock);
        // One byte at a time at most waits in the pipe.
        if (wake)
            while (write(wakePipe[1], "", 1) < 0 && errno == EINTR)
                ;
    }
    return nullptr;
}

// On the main thread: hands over the answers that have come back.
void TakeAnswers(XtPointer, int *, XtInputId *) {
    char wake;
    while (read(wakePipe[0], &wake, 1) > 0)
        ;
    pthread_mutex_lock(&queueLock);
    LookUp *a = answerHead;
    answerHead = nullptr;
    answerTail = &answerHead;
    woken = 0;
    pthread_mutex_unlock(&queueLock);
    while (a != nullptr) {
        LookUp *next = a->next;
        if (a->byName)
            a->done(a->clientData, a->found ? &a->address : nullptr, a->name);
        else if (a->epoch == addressEpoch.load())
            a->done(a->clientData, &a->address, a->found ? a->name : nullptr);
        std::free(a->name);
        std::free(a);
        a = next;
    }
}

// The pipe and the first worker come with the first request, so that a
// program that looks nothing up starts no thread.
int Ready() {
    if (wakePipe[0] < 0) {
        if (pipe2(wakePipe, O_CLOEXEC) != 0)
            return 0;
        fcntl(wakePipe[0], F_SETFL, O_NONBLOCK);
        WatchReadable(wakePipe[0], TakeAnswers);
    }
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

int Queue(LookUp *request) {
    if (!Ready()) {
        std::free(request->name);
        std::free(request);
        return 0;
    }
    pthread_mutex_lock(&queueLock);
    *queueTail = request;
    queueTail = &request->next;
    pthread_cond_signal(&queueFilled);
    pthread_mutex_unlock(&queueLock);
    return 1;
}

LookUp *NewLookUp(LookUpDone done, void *clientData) {
    auto *request = static_cast<LookUp *>(std::malloc(sizeof(LookUp)));
    if (request == nullptr)
        return nullptr;
    request->next = nullptr;
    request->byName = 0;
    request->epoch = 0;
    request->address = {INADDR_ANY};
    request->name = nullptr;
    request->found = 0;
    request->done = done;
    request->clientData = clientData;
    return request;
}

} // namespace

int LookUpAddress(const in_addr *address, LookUpDone done, void *clientData) {
    LookUp *request = NewLookUp(done, clientData);
    if (request == nullptr)
        return 0;
    request->address = *address;
    request->epoch = addressEpoch.load();
    return Queue(request);
}

int LookUpName(const char *name, LookUpDone done, void *clientData) {
    LookUp *request = NewLookUp(done, clientData);
    if (request == nullptr)
        return 0;
    request->byName = 1;
    request->name = strdup(name);
    if (request->name == nullptr) {
        std::free(request);
        return 0;
    }
    return Queue(request);
}

void DiscardAddressLookUps() {
    addressEpoch++;
}
