#pragma once
// Drawings are converted in worker processes, not threads. A drawing that
// renders for ever cannot be stopped inside the process that renders it,
// and one that crashes or runs out of memory would take a shared process,
// and the rest of the batch, with it. So a single-threaded supervisor forks
// the workers before anything starts threads, hands each one drawing at a
// time through a pipe, and kills a worker whose drawing passes the time
// limit; that drawing fails alone and a fresh worker takes the next one.
#include <cstddef>
#include <functional>
#include <sys/types.h>
#include <vector>

#include "tools/convert/Outcome.h"

namespace lumicade::convert {

struct WorkerSettings {
    std::size_t workers = 1;
    double timeoutSeconds = 0;  // 0: no limit
    // The address space each worker may map, a backstop behind the memory
    // budgets for any work they do not count: a drawing that needs more
    // fails alone, for memory, instead of taking the machine. 0: no limit.
    std::size_t addressLimit = 0;
    // Readable when the run is to stop (a signal handler writes to it): the
    // drawings under way end "interrupted", and none other begins.
    int interruptFd = -1;
    // Called when a worker ended in the middle of a drawing (killed, crashed
    // or interrupted), once it has been reaped: what it left is cleaned.
    std::function<void(pid_t, std::size_t)> abandoned;
};

// The address space for workers whose drawings each have that memory
// budget (0: none, and no limit) and pictures of that many pixels along
// their long side: what this process maps now, the libraries and fonts a
// worker loads later, the picture's pixels a few times over while it is
// painted and encoded, and the budget a few times over for what it does
// not count (the drawing as read, the allocator's slack).
std::size_t workerAddressLimit(std::size_t memoryBudget, int pictureLongSide);

// Runs convert(index) for every index in a worker process and calls
// finished(index, outcome) in this process as each ends, in the order they
// end. Must be called while this process has a single thread.
void runInWorkers(const std::vector<std::size_t>& indexes, const WorkerSettings& settings,
                  const std::function<Outcome(std::size_t)>& convert,
                  const std::function<void(std::size_t, const Outcome&)>& finished);

}  // namespace lumicade::convert
