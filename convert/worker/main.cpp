// lumicade-export: reads and draws drawings for the window, one at a time,
// in a process of its own. The window starts it with its end of a stream
// socket as standard input, asks it to open a drawing, to export it as a
// bitmap and to close it, and waits for each answer; when the window ends
// the worker, the socket closes and so does this program.
//
//   lumicade-export [--address-space BYTES] [--font-folder DIR]...
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <new>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cad/render/QtPictureDecoder.h"
#include "cad/model/ReplacingFile.h"
#include "cad/render/TextFonts.h"
#include "convert/CadApplication.h"
#include "convert/DrawingHost.h"
#include "convert/WorkerChannel.h"
#include "platform/VbError.h"

namespace {

using namespace lumicade;

constexpr int kChannel = STDIN_FILENO;

// Takes address space until none is left; of each block only the first
// page is touched, so little memory is used. Bounded, should no limit be set.
[[noreturn]] void exhaustAddressSpace()
{
    std::vector<std::unique_ptr<char[]>> taken;
    for (int i = 0; i < 4096; ++i) {
        taken.emplace_back(new char[std::size_t{64} << 20]);
        *static_cast<volatile char*>(taken.back().get()) = 1;
    }
    std::fprintf(stderr, "lumicade-export: 256 GiB taken, and no limit reached\n");
    ::_exit(3);
}

// For the tests of the window: a drawing of this file name crashes, hangs or
// exhausts the worker when it is drawn, as a hostile one might.
void actOnTestHooks(const QString& drawingPath)
{
    const std::string name = QFile::encodeName(QFileInfo(drawingPath).fileName()).toStdString();
    auto named = [&](const char* variable) {
        const char* value = std::getenv(variable);
        return value && *value && name == value;
    };
    if (named("LUMICADE_WORKER_TEST_CRASH"))
        ::raise(SIGSEGV);
    if (named("LUMICADE_WORKER_TEST_HANG"))
        for (;;)
            ::pause();
    if (named("LUMICADE_WORKER_TEST_EXHAUST"))
        exhaustAddressSpace();
}

// The answer to one request: done, or the failure as the window's error trap
// would have reported it had the drawing been drawn in the window itself.
worker::Message answer(const worker::Message& request, DrawingHost& host, std::unique_ptr<HostedDrawing>& drawing,
                       QString& drawingPath)
{
    auto failure = [](int number, const QString& description) {
        return worker::Message{number, description.toStdString()};
    };
    try {
        const QString path = QFile::decodeName(QByteArray::fromStdString(request.text));
        if (request.code == worker::OpenDrawing) {
            drawing.reset();
            drawing = host.open(path);
            drawingPath = path;
        } else if (request.code == worker::ExportBitmap && drawing) {
            actOnTestHooks(drawingPath);
            drawing->exportBitmap(path);
        } else if (request.code == worker::CloseDrawing) {
            drawing.reset();
        } else {
            return failure(ErrNo::InvalidProcedureCall, QStringLiteral("The drawing engine was asked what it cannot do"));
        }
        return {};
    } catch (const VbError& e) {
        return failure(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        return failure(7, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        const QString what = QString::fromLocal8Bit(e.what());
        return failure(51, what.isEmpty() ? QStringLiteral("Internal error") : what);
    } catch (...) {
        return failure(51, QStringLiteral("Internal error"));
    }
}

// Drawing after drawing needs pictures of many megabytes. By default the
// allocator hands blocks that large back to the system when they are freed,
// and the next drawing then takes every page fresh, each a page fault and
// the kernel clearing it. Keep them in the heap instead.
void keepLargeBuffers()
{
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

bool isSocket(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
}

struct Arguments {
    rlim_t addressSpace = 0;
    std::vector<std::filesystem::path> fontFolders;
};

bool parse(int argc, char** argv, Arguments& arguments)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (option == "--address-space") {
            char* end = nullptr;
            errno = 0;
            arguments.addressSpace = std::strtoull(value, &end, 10);
            if (errno || end == value || *end)
                return false;
        } else if (option == "--font-folder") {
            arguments.fontFolders.emplace_back(value);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    if (!parse(argc, argv, arguments) || !isSocket(kChannel)) {
        std::fprintf(stderr, "lumicade-export draws drawings for the lumicade window, which starts it;"
                             " it is not run by hand.\n");
        return 2;
    }
    // A window that ends while a drawing is drawn takes its worker with it,
    // and the picture half written goes too.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    cad::ReplacingFile::removeTemporaryFilesOnSignals();
    keepLargeBuffers();
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    if (arguments.addressSpace > 0) {
        const rlimit limit{arguments.addressSpace, arguments.addressSpace};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    // Nothing is ever shown: text is laid out without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    cad::render::setFontFolders(std::move(arguments.fontFolders));

    InProcessDrawings host;
    std::unique_ptr<HostedDrawing> drawing;
    QString drawingPath;
    for (worker::Message request; worker::receiveMessage(kChannel, request) == worker::Received::Whole;) {
        if (!worker::sendMessage(kChannel, answer(request, host, drawing, drawingPath)))
            break;
    }
    // The drawing is not taken apart piece by piece: the system takes it whole.
    ::_exit(0);
}
