#include "tools/convert/Workers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "cad/model/ReplacingFile.h"

namespace lumicade::convert {

namespace {

using Clock = std::chrono::steady_clock;

// A worker's answer: this header, then the reason's bytes, then the font
// substitutions, one a line, then the files referenced, each ended by a
// zero byte (a file's name may hold a line break, never a zero), then the
// losses (see packLosses).
struct ResultHeader {
    std::uint64_t index;
    std::int32_t status;
    std::int64_t entities;
    double milliseconds;
    std::uint32_t reasonLength;
    std::uint32_t notesLength;
    std::uint32_t referencesLength;
    std::uint32_t lossesLength;
};

// Each loss as its kind, count and the lengths of its two texts, then the
// texts: paths and names from drawings may hold any byte.
struct PackedLoss {
    std::int32_t kind;
    std::int64_t count;
    std::uint32_t whatLength, textLength;
};

std::string packLosses(const cad::Losses& losses) {
    std::string out;
    for (const cad::Loss& l : losses.entries()) {
        const PackedLoss p{static_cast<std::int32_t>(l.kind), l.count, static_cast<std::uint32_t>(l.what.size()),
                           static_cast<std::uint32_t>(l.text.size())};
        out.append(reinterpret_cast<const char*>(&p), sizeof p);
        out += l.what;
        out += l.text;
    }
    return out;
}

cad::Losses unpackLosses(const std::string& bytes) {
    cad::Losses losses;
    for (std::size_t at = 0; bytes.size() - at >= sizeof(PackedLoss);) {
        PackedLoss p{};
        std::memcpy(&p, bytes.data() + at, sizeof p);
        at += sizeof p;
        if (p.whatLength > bytes.size() - at || p.textLength > bytes.size() - at - p.whatLength) break;
        losses.add(static_cast<cad::Loss::Kind>(p.kind), bytes.substr(at, p.whatLength),
                   bytes.substr(at + p.whatLength, p.textLength), p.count);
        at += std::size_t{p.whatLength} + p.textLength;
    }
    return losses;
}

std::string joined(const std::vector<std::string>& items, char end) {
    std::string text;
    for (const std::string& item : items) text += item + end;
    return text;
}

std::vector<std::string> split(const std::string& text, char end) {
    std::vector<std::string> items;
    for (std::size_t at = 0, next; (next = text.find(end, at)) != std::string::npos; at = next + 1)
        items.push_back(text.substr(at, next - at));
    return items;
}

std::string packedResult(std::uint64_t index, const Outcome& outcome) {
    const std::string notes = joined(outcome.fontSubstitutions, '\n'), references = joined(outcome.references, '\0');
    const std::string losses = packLosses(outcome.losses);
    const ResultHeader header{index,
                              static_cast<std::int32_t>(outcome.status),
                              outcome.entities,
                              outcome.milliseconds,
                              static_cast<std::uint32_t>(outcome.reason.size()),
                              static_cast<std::uint32_t>(notes.size()),
                              static_cast<std::uint32_t>(references.size()),
                              static_cast<std::uint32_t>(losses.size())};
    return std::string(reinterpret_cast<const char*>(&header), sizeof header) + outcome.reason + notes + references +
           losses;
}

// False while the answer in received is not whole yet.
bool unpackResult(const std::string& received, Outcome& outcome) {
    ResultHeader header{};
    if (received.size() < sizeof header) return false;
    std::memcpy(&header, received.data(), sizeof header);
    const std::size_t notesAt = sizeof header + header.reasonLength, referencesAt = notesAt + header.notesLength;
    const std::size_t lossesAt = referencesAt + header.referencesLength;
    if (received.size() < lossesAt + header.lossesLength) return false;
    outcome.status = static_cast<Outcome::Status>(header.status);
    outcome.entities = header.entities;
    outcome.milliseconds = header.milliseconds;
    outcome.reason = received.substr(sizeof header, header.reasonLength);
    outcome.fontSubstitutions = split(received.substr(notesAt, header.notesLength), '\n');
    outcome.references = split(received.substr(referencesAt, header.referencesLength), '\0');
    outcome.losses = unpackLosses(received.substr(lossesAt, header.lossesLength));
    return true;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A worker converts drawing after drawing, each needing pictures of many
// megabytes. By default the allocator hands blocks that large back to the
// system when they are freed, and the next drawing then takes every page
// fresh: a page fault and the kernel clearing it, for a buffer that is
// filled again at once. Keep them in the heap instead.
void keepLargeBuffers() {
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest the allocator takes
    ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

[[noreturn]] void workerMain(int jobs, int results, const std::function<Outcome(std::size_t)>& convert) {
    keepLargeBuffers();
    // Not the supervisor's handlers: a worker stopped by a signal removes
    // the picture it was writing and ends.
    cad::ReplacingFile::removeTemporaryFilesOnSignals();
    for (std::uint64_t index = 0; readAll(jobs, &index, sizeof index);) {
        Outcome outcome;
        try {
            outcome = convert(static_cast<std::size_t>(index));
        } catch (const std::exception& e) {
            outcome.status = Outcome::Status::Failed;
            outcome.reason = e.what();
        } catch (...) {
            outcome.status = Outcome::Status::Failed;
            outcome.reason = "an unexpected failure";
        }
        const std::string answer = packedResult(index, outcome);
        if (!writeAll(results, answer.data(), answer.size())) ::_exit(1);
    }
    // No destructors, no atexit handlers: they belong to the supervisor.
    ::_exit(0);
}

struct Worker {
    pid_t pid = -1;
    int jobs = -1;     // we write drawing numbers here
    int results = -1;  // and read answers here
    bool busy = false;
    std::size_t index = 0;
    Clock::time_point started;
    std::string received;
};

std::string endingOf(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* name = ::strsignal(sig);
        return std::string("its conversion crashed (") + (name ? name : "signal") + ", signal " + std::to_string(sig) + ")";
    }
    if (WIFEXITED(status)) return "its conversion ended unexpectedly with exit status " + std::to_string(WEXITSTATUS(status));
    return "its conversion ended unexpectedly";
}

int reap(Worker& w) {
    if (w.jobs >= 0) ::close(w.jobs);
    if (w.results >= 0) ::close(w.results);
    w.jobs = w.results = -1;
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", seconds);
    return buffer;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The supervisor's side of a run: its workers, the next drawing to hand
// out, and how each drawing ends.
class Supervisor {
public:
    Supervisor(const std::vector<std::size_t>& indexes, const WorkerSettings& settings,
               const std::function<Outcome(std::size_t)>& convert,
               const std::function<void(std::size_t, const Outcome&)>& finished)
        : indexes_(indexes), settings_(settings), convert_(convert), finished_(finished) {}

    void run() {
        for (;;) {
            handOut();
            if (!anyBusy()) {
                // Not even one worker could be started.
                while (next_ < indexes_.size())
                    fail(indexes_[next_++], "cannot start a worker process: " + startFailure_, 0);
                break;
            }
            std::vector<pollfd> fds;
            std::vector<Worker*> polled;
            watched(fds, polled);
            if (::poll(fds.data(), fds.size(), pollTimeout()) < 0 && errno != EINTR) {
                lostTrack(polled, std::string("lost track of its worker: ") + std::strerror(errno));
                continue;
            }
            if (stopAsked()) {
                stopAll();
                return;
            }
            for (std::size_t k = 0; k < fds.size(); ++k)
                if (fds[k].revents && polled[k]) receive(*polled[k]);
            endLateOnes();
            removeEnded();
        }
        for (Worker& w : pool_) reap(w);  // closing its job pipe ends each worker
    }

private:
    bool spawn() {
        int jobs[2], results[2];
        if (::pipe2(jobs, O_CLOEXEC) != 0) {
            startFailure_ = std::strerror(errno);
            return false;
        }
        if (::pipe2(results, O_CLOEXEC) != 0) {
            startFailure_ = std::strerror(errno);
            ::close(jobs[0]);
            ::close(jobs[1]);
            return false;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t pid = ::fork();
        if (pid < 0) {
            startFailure_ = std::strerror(errno);
            for (int fd : {jobs[0], jobs[1], results[0], results[1]}) ::close(fd);
            return false;
        }
        if (pid == 0) becomeWorker(jobs, results);
        ::close(jobs[0]);
        ::close(results[1]);
        Worker w;
        w.pid = pid;
        w.jobs = jobs[1];
        w.results = results[0];
        pool_.push_back(std::move(w));
        return true;
    }

    [[noreturn]] void becomeWorker(const int jobs[2], const int results[2]) {
        // The other workers' pipes must not stay open here, or they would
        // never see the end of their job list.
        for (const Worker& w : pool_) {
            ::close(w.jobs);
            ::close(w.results);
        }
        ::close(jobs[1]);
        ::close(results[0]);
        // Standard output may carry the report: stray output of the
        // libraries goes with the messages instead.
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        workerMain(jobs[0], results[1], convert_);
    }

    void fail(std::size_t index, std::string reason, double milliseconds,
              Outcome::Status status = Outcome::Status::Failed) {
        Outcome outcome;
        outcome.status = status;
        outcome.reason = std::move(reason);
        outcome.milliseconds = milliseconds;
        finished_(index, outcome);
    }

    // A worker that ended in the middle of a drawing: reaped, its leftovers
    // cleaned, and the drawing failed with why.
    void abandon(Worker& w, const std::function<std::string(int)>& why, double milliseconds,
                 Outcome::Status status = Outcome::Status::Failed) {
        const pid_t pid = w.pid;
        const int ending = reap(w);
        w.pid = -1;
        w.busy = false;
        if (settings_.abandoned) settings_.abandoned(pid, w.index);
        fail(w.index, why(ending), milliseconds, status);
    }

    void hand(Worker& w) {
        const std::size_t index = indexes_[next_++];
        const std::uint64_t message = index;
        w.index = index;
        if (!writeAll(w.jobs, &message, sizeof message)) {
            abandon(w, [](int status) { return endingOf(status) + " before it began"; }, 0);
            return;
        }
        w.busy = true;
        w.started = Clock::now();
        w.received.clear();
    }

    // Idle workers get the next drawings, and new workers are started up to
    // the number asked for while drawings are left.
    void handOut() {
        for (Worker& w : pool_)
            if (!w.busy && w.pid >= 0 && next_ < indexes_.size()) hand(w);
        while (pool_.size() < settings_.workers && next_ < indexes_.size() && spawn()) hand(pool_.back());
        removeEnded();
    }

    void removeEnded() {
        std::erase_if(pool_, [](const Worker& w) { return w.pid < 0; });
    }

    bool anyBusy() const {
        return std::any_of(pool_.begin(), pool_.end(), [](const Worker& w) { return w.busy; });
    }

    // Until the first busy worker's time is up; for ever without a limit.
    int pollTimeout() const {
        int wait = -1;
        if (settings_.timeoutSeconds <= 0) return wait;
        const auto now = Clock::now();
        for (const Worker& w : pool_) {
            if (!w.busy) continue;
            const auto deadline = w.started + std::chrono::duration<double>(settings_.timeoutSeconds);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            const int ms = static_cast<int>(std::max<long long>(0, std::min<long long>(left, 1 << 30)));
            wait = wait < 0 ? ms : std::min(wait, ms);
        }
        return wait;
    }

    // The stop pipe, then each busy worker's answers (polled[k] null for the pipe).
    void watched(std::vector<pollfd>& fds, std::vector<Worker*>& polled) {
        if (settings_.interruptFd >= 0) {
            fds.push_back({settings_.interruptFd, POLLIN, 0});
            polled.push_back(nullptr);
        }
        for (Worker& w : pool_) {
            if (!w.busy) continue;
            fds.push_back({w.results, POLLIN, 0});
            polled.push_back(&w);
        }
    }

    void lostTrack(const std::vector<Worker*>& polled, const std::string& why) {
        for (Worker* w : polled) {
            if (!w) continue;
            ::kill(w->pid, SIGKILL);
            abandon(*w, [&](int) { return why; }, 0);
        }
        removeEnded();
    }

    // Asked afresh rather than from the poll's answer: a worker that the
    // same Ctrl+C ended may have woken the poll before the signal's byte
    // arrived.
    bool stopAsked() const {
        pollfd stop{settings_.interruptFd, POLLIN, 0};
        return settings_.interruptFd >= 0 && ::poll(&stop, 1, 0) > 0;
    }

    // Whatever was under way ends here; nothing else begins.
    void stopAll() {
        for (Worker& w : pool_) {
            if (w.pid < 0) continue;
            if (!w.busy) {
                reap(w);
                continue;
            }
            ::kill(w.pid, SIGKILL);
            abandon(w, [](int) { return std::string("interrupted"); }, millisecondsSince(w.started),
                    Outcome::Status::Interrupted);
        }
    }

    void receive(Worker& w) {
        char buffer[4096];
        const ssize_t n = ::read(w.results, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            abandon(w, &endingOf, millisecondsSince(w.started));
            return;
        }
        w.received.append(buffer, static_cast<std::size_t>(n));
        Outcome outcome;
        if (!unpackResult(w.received, outcome)) return;
        w.busy = false;
        finished_(w.index, outcome);
    }

    void endLateOnes() {
        if (settings_.timeoutSeconds <= 0) return;
        const auto late = Clock::now();
        for (Worker& w : pool_) {
            if (!w.busy || w.pid < 0) continue;
            const double seconds = std::chrono::duration<double>(late - w.started).count();
            if (seconds < settings_.timeoutSeconds) continue;
            ::kill(w.pid, SIGKILL);
            abandon(w, [&](int) {
                return "took longer than " + secondsText(settings_.timeoutSeconds) + " s, the time limit (--timeout)";
            }, seconds * 1000);
        }
    }

    const std::vector<std::size_t>& indexes_;
    const WorkerSettings& settings_;
    const std::function<Outcome(std::size_t)>& convert_;
    const std::function<void(std::size_t, const Outcome&)>& finished_;
    std::vector<Worker> pool_;
    std::size_t next_ = 0;
    std::string startFailure_;
};

}  // namespace

void runInWorkers(const std::vector<std::size_t>& indexes, const WorkerSettings& settings,
                  const std::function<Outcome(std::size_t)>& convert,
                  const std::function<void(std::size_t, const Outcome&)>& finished) {
    Supervisor(indexes, settings, convert, finished).run();
}

}  // namespace lumicade::convert
