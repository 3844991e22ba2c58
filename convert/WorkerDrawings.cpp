#include "convert/WorkerDrawings.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "cad/model/ReplacingFile.h"
#include "convert/CadApplication.h"
#include "convert/WorkerChannel.h"
#include "platform/VbError.h"

extern char** environ;

namespace lumicade {
namespace {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

[[noreturn]] void fail(const QString& description)
{
    throw VbError(CadErr::AutomationError, description);
}

std::string endingOf(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* name = ::strsignal(sig);
        return std::string("the drawing engine crashed on it (") + (name ? name : "signal") + ", signal "
            + std::to_string(sig) + ")";
    }
    if (WIFEXITED(status))
        return "the drawing engine ended unexpectedly with exit status " + std::to_string(WEXITSTATUS(status));
    return "the drawing engine ended unexpectedly";
}

// A worker that is ending has its moment to end as it would; one that does
// not is killed. Returns how it ended.
int reap(pid_t pid, std::chrono::milliseconds grace)
{
    const auto until = Clock::now() + grace;
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR))
            return status;
        if (ended == 0 && Clock::now() >= until)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// One worker process and this end of its socket.
class DrawingWorker {
public:
    DrawingWorker(pid_t pid, int socket) : pid_(pid), socket_(socket) {}
    DrawingWorker(const DrawingWorker&) = delete;
    DrawingWorker& operator=(const DrawingWorker&) = delete;
    ~DrawingWorker() { stop(); }

    static std::unique_ptr<DrawingWorker> start(const DrawingWorkerLimits& limits, std::string* why);

    pid_t pid() const { return pid_; }

    // Sends the request and waits for the answer. Returns an empty text
    // when it came; otherwise why not, and the worker has ended.
    std::string ask(worker::Request kind, const QString& path, worker::Message& answer, Deadline deadline,
                    double limitSeconds)
    {
        worker::Received received = worker::Received::Ended;
        if (worker::sendMessage(socket_, {kind, QFile::encodeName(path).toStdString()}))
            received = worker::receiveMessage(socket_, answer, deadline);
        if (received == worker::Received::Whole)
            return {};
        closeSocket();
        if (received == worker::Received::TimedOut) {
            ::kill(pid_, SIGKILL);
            reapNow(std::chrono::milliseconds(0));
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", limitSeconds);
            return std::string("it took longer than ") + seconds + " s, the time limit";
        }
        const int status = reapNow(std::chrono::milliseconds(500));
        if (received == worker::Received::Damaged)
            return "the drawing engine answered what cannot be understood";
        return endingOf(status);
    }

private:
    void closeSocket()
    {
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = -1;
    }

    int reapNow(std::chrono::milliseconds grace)
    {
        const int status = reap(pid_, grace);
        pid_ = -1;
        return status;
    }

    // The end of its socket ends an idle worker at once.
    void stop()
    {
        closeSocket();
        if (pid_ >= 0)
            reapNow(std::chrono::milliseconds(1000));
    }

    pid_t pid_;
    int socket_;
};

std::vector<std::string> workerArguments(const std::string& program, const DrawingWorkerLimits& limits)
{
    std::vector<std::string> arguments{program};
    if (limits.addressSpaceBytes > 0)
        arguments.insert(arguments.end(), {"--address-space", std::to_string(limits.addressSpaceBytes)});
    for (const std::filesystem::path& folder : limits.fontFolders)
        arguments.insert(arguments.end(), {"--font-folder", folder.native()});
    return arguments;
}

// The worker's standard input is its end of the socket; its output and
// messages go where the window's go. Signals this thread blocks are not
// blocked there.
std::unique_ptr<DrawingWorker> DrawingWorker::start(const DrawingWorkerLimits& limits, std::string* why)
{
    const std::string program = WorkerDrawings::workerProgram();
    if (program.empty()) {
        *why = "its program lumicade-export is neither installed beside this program nor where it was built";
        return nullptr;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        *why = std::strerror(errno);
        return nullptr;
    }
    std::vector<std::string> arguments = workerArguments(program, limits);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        *why = program + ": " + std::strerror(error);
        return nullptr;
    }
    return std::make_unique<DrawingWorker>(pid, ends[0]);
}

}  // namespace

struct WorkerDrawings::Spare {
    std::unique_ptr<DrawingWorker> worker;
};

namespace {

// Dropping a drawing takes a moment, however long drawing it took.
constexpr double kCloseSeconds = 10;

class WorkerDrawing : public HostedDrawing {
public:
    WorkerDrawing(QString path, std::unique_ptr<DrawingWorker> worker, Deadline deadline, double limitSeconds,
                  std::weak_ptr<WorkerDrawings::Spare> spare)
        : path_(std::move(path)), worker_(std::move(worker)), deadline_(deadline), limitSeconds_(limitSeconds),
          spare_(std::move(spare)) {}

    // The worker lets go of the drawing and waits for the next one.
    ~WorkerDrawing() override
    {
        const auto spare = spare_.lock();
        if (!worker_ || !spare || spare->worker)
            return;
        worker::Message answer;
        const Deadline deadline = Clock::now() + std::chrono::seconds(static_cast<int>(kCloseSeconds));
        if (worker_->ask(worker::CloseDrawing, QString(), answer, deadline, kCloseSeconds).empty() && answer.code == 0)
            spare->worker = std::move(worker_);
    }

    void exportBitmap(const QString& bitmapPath) override
    {
        if (!worker_)
            fail(QStringLiteral("Cannot export %1: its drawing engine has ended").arg(path_));
        worker::Message answer;
        const pid_t pid = worker_->pid();
        const std::string why = worker_->ask(worker::ExportBitmap, bitmapPath, answer, deadline_, limitSeconds_);
        if (!why.empty()) {
            worker_.reset();
            // A picture cut off half written is not left beside the drawing.
            cad::ReplacingFile::removeLeftovers(QFile::encodeName(QFileInfo(bitmapPath).absolutePath()).toStdString(),
                                                pid);
            fail(QStringLiteral("Cannot export %1: %2").arg(path_, QString::fromStdString(why)));
        }
        if (answer.code != 0) {
            worker_.reset();
            throw VbError(answer.code, QString::fromStdString(answer.text));
        }
    }

private:
    QString path_;
    std::unique_ptr<DrawingWorker> worker_;
    Deadline deadline_;
    double limitSeconds_;
    std::weak_ptr<WorkerDrawings::Spare> spare_;
};

}  // namespace

WorkerDrawings::WorkerDrawings(DrawingWorkerLimits limits)
    : limits_(std::move(limits)), spare_(std::make_shared<Spare>())
{
}

WorkerDrawings::~WorkerDrawings() = default;

std::unique_ptr<HostedDrawing> WorkerDrawings::open(const QString& drawingPath)
{
    // One limit for the drawing's reading and drawing together, as the converter has.
    Deadline deadline;
    if (limits_.timeoutSeconds > 0)
        deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(limits_.timeoutSeconds));
    std::string why;
    std::unique_ptr<DrawingWorker> worker = std::move(spare_->worker);
    if (!worker)
        worker = DrawingWorker::start(limits_, &why);
    if (!worker)
        fail(QStringLiteral("Cannot open %1: the drawing engine cannot be started: %2")
                 .arg(drawingPath, QString::fromStdString(why)));
    worker::Message answer;
    why = worker->ask(worker::OpenDrawing, drawingPath, answer, deadline, limits_.timeoutSeconds);
    if (!why.empty())
        fail(QStringLiteral("Cannot open %1: %2").arg(drawingPath, QString::fromStdString(why)));
    if (answer.code != 0)
        throw VbError(answer.code, QString::fromStdString(answer.text));
    return std::make_unique<WorkerDrawing>(drawingPath, std::move(worker), deadline, limits_.timeoutSeconds, spare_);
}

std::string WorkerDrawings::workerProgram()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string beside =
        error ? std::string() : (program.parent_path().parent_path() / LUMICADE_EXPORT_WORKER_INSTALLED).string();
    for (const std::string& file : {beside, std::string(LUMICADE_EXPORT_WORKER_BUILT)})
        if (!file.empty() && ::access(file.c_str(), X_OK) == 0)
            return file;
    return {};
}

}  // namespace lumicade
