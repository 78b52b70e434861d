// The pool of worker threads that the name look-ups run on (hosts/resolver),
// so that a slow or dead name server never holds up the window.  Jobs wait
// in two lanes: a worker takes from the second only when the first is
// empty.  Answers come back to the main thread in batches, through one
// descriptor that the event loop watches: while jobs are queued, answers
// are gathered for up to 2 ms, or until there are 16, so that the loop
// wakes once per batch; the last answer of the first lane, or of all,
// wakes it at once.  Nothing of the program but a job's `run` runs on the
// workers.
#pragma once

/// One piece of work: the first field of the caller's own record, which
/// the caller allocates and `deliver` releases.  The pool holds a queued
/// job until it has been delivered.
struct Job {
    Job *next;                 ///< the pool's
    void (*run)(Job *job);     ///< on a worker; ends in JobDone
    void (*deliver)(Job *job); ///< on the main thread, once
    bool behind;               ///< the pool's: queued in the second lane
};

/// Queues `job` in the first lane, starting a worker when none is idle (up
/// to 8): a program that looks nothing up starts no thread.  False when no
/// worker can take it (no thread, no descriptor): the job is then still
/// the caller's.
bool QueueJob(Job *job);

/// On a worker, at the end of `job->run`: `job` is answered, and `next`,
/// when not null, is queued in the second lane.
void JobDone(Job *job, Job *next = nullptr);

/// Readable when answers wait to be delivered: one descriptor, opened at
/// the first call (start-up's, for the event loop to watch it); -1 when it
/// cannot be opened.
int PoolDescriptor();

/// On the main thread, when PoolDescriptor is readable: calls `deliver` of
/// every answered job, in the order in which they were answered.
void DeliverJobs();
