// lumicade-convert: converts drawings (DWG, DXF) into pictures from the
// command line, for scripts, servers and batch jobs that never open a window.
//
//   lumicade-convert [options] FILE|FOLDER|- ...
//
// Exit status: 0 when every drawing was converted (or was up to date), 1 when
// some failed (each named with its reason), 2 for a usage error, 128 and the
// signal's number when SIGINT, SIGTERM or SIGHUP stopped it.
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cad/model/ReplacingFile.h"
#include "cad/render/TextFonts.h"
#include "tools/convert/Conversion.h"
#include "tools/convert/FileNames.h"
#include "tools/convert/Inputs.h"
#include "tools/convert/Options.h"
#include "tools/convert/OutputPlan.h"
#include "tools/convert/Progress.h"
#include "tools/convert/Report.h"
#include "tools/convert/Shard.h"
#include "tools/convert/UpToDate.h"
#include "tools/convert/Workers.h"

using namespace lumicade::convert;

namespace {

// Qt's own remarks (a missing runtime folder and the like) are not ours to
// pass on; only its serious complaints reach standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "lumicade-convert: %s\n", qPrintable(message));
}

// The report is an output of the run too: it must not land on a drawing.
bool isOneOf(const std::string& path, const std::vector<Job>& jobs) {
    struct stat target {};
    if (path.empty() || path == "-" || ::stat(path.c_str(), &target) != 0) return false;
    for (const Job& job : jobs) {
        struct stat input {};
        if (::stat(job.input.c_str(), &input) == 0 && input.st_dev == target.st_dev && input.st_ino == target.st_ino)
            return true;
    }
    return false;
}

// SIGINT, SIGTERM and SIGHUP stop the run: the supervisor hears of it
// through this pipe, ends the drawings under way and still sums up.
volatile std::sig_atomic_t stopSignal = 0;
int stopPipe[2] = {-1, -1};

void onStopSignal(int signal) {
    stopSignal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

void stopOnSignals() {
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their plain meaning
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;  // nohup
        struct sigaction action {};
        action.sa_handler = &onStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

// A run's temporary files are removed by the process that made them or by
// the supervisor; those still lying in the folders it writes were left by a
// run that could not (a power cut, a kill of the whole run).
void removeStaleTemporaryFiles(const std::vector<Job>& jobs, const std::vector<std::size_t>& toConvert) {
    constexpr long kDay = 24L * 60 * 60;
    std::vector<std::string> folders;
    for (const std::size_t i : toConvert) {
        const std::string folder = std::filesystem::path(jobs[i].output).parent_path().native();
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        cad::ReplacingFile::removeStale(folder, kDay);
    }
}

// --version and --help answer alone; a wrong command line is named. The
// exit status when the run ends here.
std::optional<int> readCommandLine(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lumicade-convert %s\n", LUMICADE_VERSION);
            return 0;
        }
    try {
        o = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        if (e.message.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr,
                     "lumicade-convert: %s\nUsage: lumicade-convert [OPTION]... FILE|FOLDER|-...\n"
                     "Try 'lumicade-convert --help' for more information.\n",
                     e.message.c_str());
        return 2;
    }
    return std::nullopt;
}

void readStandardInput(Options& o) {
    std::string line;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        // A line of blanks is an empty line, not a file called "  ".
        if (line.find_first_not_of(" \t") != std::string::npos) o.inputs.push_back(line);
    }
}

bool createOutputFolder(const Options& o) {
    if (o.outputDir.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(o.outputDir, error);
    if (error)
        std::fprintf(stderr, "lumicade-convert: cannot create the folder %s: %s\n", displayName(o.outputDir).c_str(),
                     error.message().c_str());
    return !error;
}

// Pictures are named over the whole list, before it is split into shards,
// so that every part names them as a single run would.
std::vector<Job> planJobs(const Options& o) {
    std::vector<Job> jobs = planOutputs(collectDrawings(o), o);
    if (jobs.empty() && !o.recursive)
        for (const std::string& folder : foldersWithSubfolders(o))
            std::fprintf(stderr, "lumicade-convert: no drawings in %s itself; --recursive looks into its subfolders\n",
                         displayName(folder).c_str());
    return jobs;
}

// The drawings of this run's part, and how each ends, in this process.
class Run {
public:
    Run(const Options& o, const std::vector<Job>& jobs, Report& report) : o_(o), jobs_(jobs), report_(report) {
        for (std::size_t i = 0; i < jobs.size(); ++i)
            if (inShard(jobs[i].input, o.shardIndex, o.shardCount)) mine_.push_back(i);
        progress_ = std::make_unique<Progress>(mine_.size(), isatty(STDERR_FILENO), o.verbose);
    }

    void finished(std::size_t i, const Outcome& outcome) {
        for (const std::string& line : outcome.fontSubstitutions)
            if (std::find(substitutions_.begin(), substitutions_.end(), line) == substitutions_.end())
                substitutions_.push_back(line);
        progress_->finished(jobs_[i].input, jobs_[i].output, outcome);
        report_.add(jobs_[i].input, jobs_[i].output, outcome);
    }

    // Refusals and pictures that are up to date need no worker; the others
    // are left to convert.
    std::vector<std::size_t> settleWithoutWorkers() {
        std::vector<std::size_t> toConvert;
        for (const std::size_t i : mine_) {
            Outcome outcome;
            if (!jobs_[i].refusal.empty()) {
                outcome.reason = jobs_[i].refusal;
                finished(i, outcome);
            } else if (std::string why; o_.skipUpToDate && pictureUpToDate(jobs_[i].input, jobs_[i].output, o_, &why)) {
                outcome.status = Outcome::Status::Skipped;
                outcome.reason = "its picture is up to date";
                finished(i, outcome);
            } else {
                if (o_.skipUpToDate && o_.verbose)
                    std::fprintf(stderr, "%s: not up to date: %s\n", displayName(jobs_[i].input).c_str(), why.c_str());
                toConvert.push_back(i);
            }
        }
        return toConvert;
    }

    void sayPlan(std::size_t toConvert, std::size_t workers) const {
        if (!o_.verbose) return;
        const std::string part = o_.shardCount > 1 ? " (part " + std::to_string(o_.shardIndex) + " of " +
                                                         std::to_string(o_.shardCount) + ", " +
                                                         std::to_string(jobs_.size()) + " in all)"
                                                   : std::string();
        std::fprintf(stderr, "lumicade-convert: %zu drawing%s%s, %zu to convert in %zu worker%s\n", mine_.size(),
                     mine_.size() == 1 ? "" : "s", part.c_str(), toConvert, workers, workers == 1 ? "" : "s");
    }

    // The exit status, once the workers are done.
    int end(double seconds) {
        progress_->summary(seconds);
        if (stopSignal) {
            const int signal = stopSignal;
            const char* name = sigabbrev_np(signal);
            std::fprintf(stderr, "lumicade-convert: stopped by SIG%s\n", name ? name : std::to_string(signal).c_str());
            report_.close();
            return 128 + signal;
        }
        if (o_.verbose)
            for (const std::string& line : substitutions_) std::fprintf(stderr, "font substituted: %s\n", line.c_str());
        const bool reportComplete = report_.close();
        const bool lost = o_.strict && progress_->incomplete() > 0;
        return progress_->failed() || lost || !reportComplete ? 1 : 0;
    }

private:
    const Options& o_;
    const std::vector<Job>& jobs_;
    Report& report_;
    std::vector<std::size_t> mine_;
    std::unique_ptr<Progress> progress_;
    std::vector<std::string> substitutions_;  // each once, in the order first met
};

// With several workers the largest drawings go first, so that no worker is
// left alone with a big one at the end while the others have nothing to do.
// Their order in the report follows the order they finish anyway.
void largestFirst(std::vector<std::size_t>& toConvert, const std::vector<Job>& jobs) {
    std::vector<std::uintmax_t> sizes(jobs.size(), 0);
    for (const std::size_t i : toConvert) {
        std::error_code sizeError;
        const std::uintmax_t size = std::filesystem::file_size(jobs[i].input, sizeError);
        sizes[i] = sizeError ? 0 : size;
    }
    std::stable_sort(toConvert.begin(), toConvert.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
}

WorkerSettings workerSettings(const Options& o, std::size_t toConvert) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    WorkerSettings settings;
    settings.workers = std::min<std::size_t>(o.jobs > 0 ? static_cast<std::size_t>(o.jobs) : cores,
                                             std::max<std::size_t>(1, toConvert));
    settings.timeoutSeconds = o.timeoutSeconds;
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQtMessages);
    // A write over the file-size limit fails that picture with "File too
    // large" instead of killing the batch; a reader of our output that goes
    // away fails the write instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    Options o;
    if (const std::optional<int> status = readCommandLine(argc, argv, o)) return *status;
    if (o.readStdin) readStandardInput(o);
    if (!createOutputFolder(o)) return 1;
    const std::vector<Job> jobs = planJobs(o);
    if (isOneOf(o.reportFile, jobs)) {
        std::fprintf(stderr, "lumicade-convert: the report %s would overwrite one of the drawings\n",
                     displayName(o.reportFile).c_str());
        return 2;
    }
    // The workers inherit the font folders.
    cad::render::setFontFolders({o.fontDirs.begin(), o.fontDirs.end()});
    Report report(o.reportFile);
    if (!report.opened()) {
        std::fprintf(stderr, "lumicade-convert: cannot write the report %s: %s\n", displayName(o.reportFile).c_str(),
                     report.openError().c_str());
        return 1;
    }

    Run run(o, jobs, report);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::size_t> toConvert = run.settleWithoutWorkers();
    WorkerSettings settings = workerSettings(o, toConvert.size());
    if (settings.workers > 1) largestFirst(toConvert, jobs);
    run.sayPlan(toConvert.size(), settings.workers);
    removeStaleTemporaryFiles(jobs, toConvert);
    stopOnSignals();
    settings.interruptFd = stopPipe[0];
    // Where a worker ended in the middle of a drawing, its pictures' temporary
    // files lie in that drawing's output folder.
    settings.abandoned = [&](pid_t worker, std::size_t i) {
        cad::ReplacingFile::removeLeftovers(std::filesystem::path(jobs[i].output).parent_path().native(), worker);
    };
    runInWorkers(toConvert, settings, [&](std::size_t i) { return convertDrawing(jobs[i], o); },
                 [&](std::size_t i, const Outcome& outcome) { run.finished(i, outcome); });
    return run.end(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
