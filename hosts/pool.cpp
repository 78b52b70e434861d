// A job is always on one of the lists or in a worker's hands.  The
// descriptor is an epoll set of two: a pipe, which a worker writes a byte
// to to wake the main thread, and a timer, which it sets 2 ms on to wake
// it for answers left to gather, which no later answer may end the
// gathering of when every worker is held up by a slow look-up.  Both are
// written outside the lock, as they were decided under it.

#include "hosts/pool.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "shell/clock.h"

namespace {

// Enough to have several slow DNS answers outstanding at once; a hosts
// file look-up needs only the CPU.
constexpr int kWorkers = 8;
// Workers leave the CPU to the event loop, which must stay responsive.
constexpr int kWorkerNiceness = 10;
// Answers wait up to this long, or until there are this many, to be
// handed over together.  The list is shown no faster.
constexpr long kGatherMs = 2;
constexpr int kGatherMost = 16;

struct JobList {
    Job *head;
    Job **tail = &head;
};

void Append(JobList *list, Job *job) {
    job->next = nullptr;
    *list->tail = job;
    list->tail = &job->next;
}

Job *Take(JobList *list) {
    Job *job = list->head;
    list->head = job->next;
    if (list->head == nullptr)
        list->tail = &list->head;
    return job;
}

pthread_mutex_t poolLock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t jobQueued = PTHREAD_COND_INITIALIZER;
// Guarded by poolLock: the two lanes, the answers waiting for the main
// thread, how many and since when, whether the main thread has been woken
// for them, and the workers waiting for a job.
JobList firstLane;
JobList secondLane;
JobList answered;
int gathered;
long gatheredSinceMs;
bool woken;
int idleWorkers;
int workers; // main thread only
int wakePipe[2] = {-1, -1};
int wakeTimer = -1;
int wakes = -1; // the epoll set of both

void *Work(void *) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)),
                kWorkerNiceness);
    for (;;) {
        pthread_mutex_lock(&poolLock);
        while (firstLane.head == nullptr && secondLane.head == nullptr) {
            idleWorkers++;
            pthread_cond_wait(&jobQueued, &poolLock);
            idleWorkers--;
        }
        Job *job = Take(firstLane.head != nullptr ? &firstLane : &secondLane);
        pthread_mutex_unlock(&poolLock);
        job->run(job);
    }
    return nullptr;
}

// A new worker for a job that would otherwise wait for a busy one, up to
// kWorkers.  True when some worker is there to take it.
bool StartWorkerIfNoneIdle() {
    pthread_mutex_lock(&poolLock);
    int idle = idleWorkers;
    pthread_mutex_unlock(&poolLock);
    if (idle == 0 && workers < kWorkers) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, Work, nullptr) == 0) {
            pthread_detach(thread);
            workers++;
        }
    }
    return workers > 0;
}

} // namespace

bool QueueJob(Job *job) {
    if (PoolDescriptor() < 0 || !StartWorkerIfNoneIdle())
        return false;
    job->behind = false;
    pthread_mutex_lock(&poolLock);
    Append(&firstLane, job);
    pthread_cond_signal(&jobQueued);
    pthread_mutex_unlock(&poolLock);
    return true;
}

void JobDone(Job *job, Job *next) {
    pthread_mutex_lock(&poolLock);
    bool fromBehind = job->behind;
    Append(&answered, job);
    if (next != nullptr) {
        next->behind = true;
        Append(&secondLane, next);
    }
    long now = NowMs();
    if (gathered++ == 0)
        gatheredSinceMs = now;
    // The last answer of the first lane, or of all, is not kept waiting.
    bool wake = !woken && (gathered >= kGatherMost ||
                           now - gatheredSinceMs >= kGatherMs ||
                           (firstLane.head == nullptr &&
                            (!fromBehind || secondLane.head == nullptr)));
    bool gather = !woken && !wake && gathered == 1;
    woken = woken || wake;
    pthread_mutex_unlock(&poolLock);
    // One byte at a time at most waits in the pipe.
    if (wake)
        while (write(wakePipe[1], "", 1) < 0 && errno == EINTR)
            ;
    if (gather)
        ArmTimer(wakeTimer, kGatherMs);
}

int PoolDescriptor() {
    if (wakes >= 0)
        return wakes;
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    if (wakeTimer < 0 && (wakeTimer = OpenTimer()) < 0)
        return -1;
    int set = epoll_create1(EPOLL_CLOEXEC);
    epoll_event readable{};
    readable.events = EPOLLIN;
    for (int fd : {wakePipe[0], wakeTimer}) {
        readable.data.fd = fd;
        if (set < 0 || epoll_ctl(set, EPOLL_CTL_ADD, fd, &readable) != 0) {
            if (set >= 0)
                close(set);
            return -1;
        }
    }
    return wakes = set;
}

void DeliverJobs() {
    char bytes[16];
    while (read(wakePipe[0], bytes, sizeof(bytes)) > 0)
        ;
    DrainTimer(wakeTimer);
    pthread_mutex_lock(&poolLock);
    Job *job = answered.head;
    answered.head = nullptr;
    answered.tail = &answered.head;
    gathered = 0;
    woken = false;
    pthread_mutex_unlock(&poolLock);
    while (job != nullptr) {
        Job *next = job->next;
        job->deliver(job);
        job = next;
    }
}
