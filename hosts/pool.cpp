// A job is always on one of the lists or in a worker's hands.  The
// descriptor is a timer: a worker arms it to expire at once to wake the
// main thread, or 2 ms on to wake it for answers left to gather, which no
// later answer may end the gathering of when every worker is held up by a
// slow look-up.

#include "hosts/pool.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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
int wakeTimer = -1;

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

// The timer is armed under the lock, so that a later decision to wait
// never overrides an earlier one to wake.
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
    if (wake)
        ArmTimer(wakeTimer, 0);
    else if (!woken && gathered == 1)
        ArmTimer(wakeTimer, kGatherMs);
    woken = woken || wake;
    pthread_mutex_unlock(&poolLock);
}

int PoolDescriptor() {
    if (wakeTimer < 0)
        wakeTimer = OpenTimer();
    return wakeTimer;
}

void DeliverJobs() {
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
