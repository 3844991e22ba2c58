// lumicade-convert: converts drawings (DWG, DXF) into JPEG pictures from the
// command line, for scripts, servers and batch jobs that never open a window.
//
//   lumicade-convert [options] FILE|FOLDER|- ...
//
// Exit status: 0 when every drawing was converted, 1 when some failed (each
// named with its reason), 2 for a usage error.
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRectF>
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "cad/render/TextFonts.h"
#include "convert/JpegFile.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumicade-convert [options] FILE|FOLDER|- ...\n"
    "Converts CAD drawings (DWG, DXF) into JPEG pictures named after them.\n"
    "\n"
    "  --quality N        JPEG quality 0..100, 100 best (default 85)\n"
    "  --output-dir DIR   write the pictures there (default: beside each drawing)\n"
    "  --size PX          pixels along the picture's long side (default 2048)\n"
    "  --background COL   white or black (default white)\n"
    "  --jobs N           drawings converted at once (default: every core)\n"
    "  --window X0,Y0,X1,Y1  show this part of the drawing instead of all of it\n"
    "  --recursive        look into the subfolders of folders too\n"
    "  --extension EXT    the drawings to take from folders (default: dwg and dxf)\n"
    "  --font-dir DIR     look for the drawings' fonts there too (may be repeated)\n"
    "  --verbose          name each font that was not found and what stood in for it\n"
    "  -                  read further paths from standard input, one a line\n"
    "  -h, --help         show this text\n";

struct Options {
    int quality = 85;
    QString outputDir;
    int size = 2048;
    bool blackBackground = false;
    int jobs = 0;
    bool recursive = false;
    QRectF window;
    QStringList extensions{QStringLiteral("dwg"), QStringLiteral("dxf")};
    QStringList inputs;
    bool readStdin = false;
    std::vector<std::filesystem::path> fontDirs;
    bool verbose = false;
};

struct UsageError {
    std::string message;
};

int parseNumber(const std::string& option, const std::string& text, int low, int high) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (...) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < low || value > high)
        throw UsageError{option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not \"" + text + "\""};
    return value;
}

Options parseArguments(int argc, char** argv) {
    Options o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg == "-" && !optionsEnded) o.readStdin = true;
            else o.inputs << QString::fromLocal8Bit(argv[i]);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") throw UsageError{};
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto take = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
            return argv[++i];
        };
        if (arg == "--quality") o.quality = parseNumber(arg, take(), 0, 100);
        else if (arg == "--size") o.size = parseNumber(arg, take(), 16, 16384);
        else if (arg == "--jobs") o.jobs = parseNumber(arg, take(), 1, 256);
        else if (arg == "--output-dir") {
            o.outputDir = QString::fromLocal8Bit(take().c_str());
            if (o.outputDir.isEmpty()) throw UsageError{"--output-dir needs a folder"};
        } else if (arg == "--background") {
            const std::string c = take();
            if (c == "white") o.blackBackground = false;
            else if (c == "black") o.blackBackground = true;
            else throw UsageError{"--background is white or black, not \"" + c + "\""};
        } else if (arg == "--window") {
            const std::string text = take();
            const QStringList parts = QString::fromStdString(text).split(QLatin1Char(','));
            double v[4] = {};
            bool ok = parts.size() == 4;
            for (int k = 0; ok && k < 4; ++k) v[k] = parts[k].trimmed().toDouble(&ok);
            // "inf" and "nan" read as numbers, but enclose no area to show.
            ok = ok && std::isfinite(v[2] - v[0]) && std::isfinite(v[3] - v[1]);
            if (!ok || v[0] == v[2] || v[1] == v[3])
                throw UsageError{"--window wants four numbers X0,Y0,X1,Y1 around an area, not \"" + text + "\""};
            o.window = QRectF(QPointF(v[0], v[1]), QPointF(v[2], v[3])).normalized();
        } else if (arg == "--font-dir") {
            const std::string dir = take();
            if (dir.empty()) throw UsageError{"--font-dir needs a folder"};
            o.fontDirs.emplace_back(dir);
        } else if (arg == "--verbose" && !hasValue) {
            o.verbose = true;
        } else if (arg == "--recursive" && !hasValue) {
            o.recursive = true;
        } else if (arg == "--extension") {
            QString ext = QString::fromLocal8Bit(take().c_str()).trimmed();
            while (ext.startsWith(QLatin1Char('.')) || ext.startsWith(QLatin1Char('*'))) ext.remove(0, 1);
            if (ext.isEmpty()) throw UsageError{"--extension needs an extension, such as dwg"};
            o.extensions = {ext.toLower()};
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (o.inputs.isEmpty() && !o.readStdin) throw UsageError{"no drawings given"};
    return o;
}

struct Job {
    QString input;       // as given
    QString output;
    QString refusal;     // why it is not converted at all, when set
};

struct Found {
    QString path;
    QString subfolder;  // below the folder that was scanned, for --output-dir
};

// The drawings to convert: files as given, folders scanned for the extension.
std::vector<Found> collect(const Options& o) {
    std::vector<Found> files;
    for (const QString& input : o.inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            std::vector<Found> found;
            const QDir top(input);
            QDirIterator it(input, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                            o.recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
            while (it.hasNext()) {
                const QString path = it.next();
                const QFileInfo fi(path);
                if (!o.extensions.contains(fi.suffix().toLower())) continue;
                QString sub = top.relativeFilePath(fi.absolutePath());
                if (sub == QLatin1String(".")) sub.clear();
                found.push_back({path, sub});
            }
            std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.path < b.path; });
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back({input, {}});  // a missing file fails with its reason later
        }
    }
    return files;
}

class Progress {
public:
    Progress(std::size_t total, bool terminal) : total_(total), terminal_(terminal) {}

    void finished(const QString& input, const QString& output, const std::string& failure) {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
        if (!failure.empty()) ++failed_;
        if (terminal_) {
            std::fprintf(stderr, "\r\033[K");
            if (!failure.empty()) std::fprintf(stderr, "failed: %s: %s\n", qPrintable(input), failure.c_str());
            const int width = 30;
            const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
            std::fprintf(stderr, "[%s%s] %zu/%zu %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), done_, total_,
                         qPrintable(QFileInfo(input).fileName()));
        } else if (failure.empty()) {
            std::fprintf(stderr, "[%zu/%zu] %s -> %s\n", done_, total_, qPrintable(input), qPrintable(output));
        } else {
            std::fprintf(stderr, "[%zu/%zu] failed: %s: %s\n", done_, total_, qPrintable(input), failure.c_str());
        }
        std::fflush(stderr);
    }

    void summary(double seconds) {
        if (terminal_) std::fprintf(stderr, "\r\033[K");
        std::fprintf(stderr, "Converted %zu of %zu drawing%s in %.1f s", done_ - failed_, total_, total_ == 1 ? "" : "s",
                     seconds);
        if (failed_) std::fprintf(stderr, "; %zu failed", failed_);
        std::fprintf(stderr, ".\n");
    }
    std::size_t failed() const { return failed_; }

private:
    std::mutex mutex_;
    std::size_t total_, done_ = 0, failed_ = 0;
    bool terminal_;
};

std::string convertOne(const Job& job, const Options& o) {
    if (!job.refusal.isEmpty()) return job.refusal.toStdString();
    cad::Drawing drawing;
    try {
        drawing = cad::readDrawingFile(QFile::encodeName(job.input).toStdString());
    } catch (const std::exception& e) {
        return e.what();
    }
    cad::render::RenderOptions options;
    options.longSide = o.size;
    options.window = o.window;
    options.background = o.blackBackground ? QColor(Qt::black) : QColor(Qt::white);
    options.drawingFolder = QFile::encodeName(QFileInfo(job.input).absolutePath()).toStdString();
    QImage picture;
    try {
        picture = cad::render::renderDrawing(drawing, options);
    } catch (const std::exception& e) {
        return std::string("cannot draw it: ") + e.what();
    }
    if (picture.isNull()) return "cannot draw it: no memory for the picture";
    std::string why;
    const QString folder = QFileInfo(job.output).absolutePath();
    if (!QDir().mkpath(folder)) return "cannot create the folder " + QDir::toNativeSeparators(folder).toStdString();
    const int status = lumicade::writeJpegFile(picture, job.output, o.quality, &why);
    if (status != lumicade::JpegStatus::Ok)
        return "cannot write " + QDir::toNativeSeparators(job.output).toStdString() + (why.empty() ? "" : ": " + why);
    return {};
}

// Qt's own remarks (a missing runtime folder and the like) are not ours to
// pass on; only its serious complaints reach standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "lumicade-convert: %s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQtMessages);
    Options o;
    try {
        o = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        if (e.message.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "lumicade-convert: %s\n\n%s", e.message.c_str(), kUsage);
        return 2;
    }
    if (o.readStdin) {
        std::string line;
        while (std::getline(std::cin, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
            if (!line.empty()) o.inputs << QString::fromLocal8Bit(line.c_str());
        }
    }
    if (!cad::render::ensureGuiApplication()) {
        std::fprintf(stderr, "lumicade-convert: cannot start Qt's font machinery\n");
        return 1;
    }
    if (!o.outputDir.isEmpty() && !QDir().mkpath(o.outputDir)) {
        std::fprintf(stderr, "lumicade-convert: cannot create the folder %s\n", qPrintable(o.outputDir));
        return 1;
    }

    cad::render::setFontFolders(o.fontDirs);
    const std::vector<Found> files = collect(o);

    // Outputs: never over an input file, and never two drawings into one
    // picture: a drawing whose name is taken (plan.dwg beside plan.dxf) keeps
    // its extension in the picture's name (plan.dxf.jpg), then gets a number
    // (plan.dxf (2).jpg) when even that is taken.
    std::set<QString> inputPaths;
    for (const Found& f : files) inputPaths.insert(QFileInfo(f.path).absoluteFilePath());
    std::set<QString> taken;
    std::vector<Job> jobs;
    for (const Found& f : files) {
        const QFileInfo info(f.path);
        Job job;
        job.input = f.path;
        const QString folder = o.outputDir.isEmpty() ? info.absolutePath()
                                                     : QDir(QDir(o.outputDir).absolutePath()).filePath(f.subfolder);
        QString output;
        for (int n = 0; n < 1000; ++n) {
            const QString name = n == 0 ? info.completeBaseName()
                                 : n == 1 ? info.fileName()
                                          : QStringLiteral("%1 (%2)").arg(info.fileName()).arg(n);
            output = QDir::cleanPath(QDir(folder).filePath(name + QStringLiteral(".jpg")));
            if (!taken.count(output) && !inputPaths.count(output)) break;
        }
        job.output = output;
        if (inputPaths.count(output))
            job.refusal = QStringLiteral("its picture would overwrite the input file ") + QDir::toNativeSeparators(output);
        else if (taken.count(output))
            job.refusal = QStringLiteral("its picture %1 is already made from another drawing").arg(QDir::toNativeSeparators(output));
        else
            taken.insert(output);
        jobs.push_back(job);
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min<std::size_t>(o.jobs > 0 ? static_cast<std::size_t>(o.jobs) : cores,
                                                      std::max<std::size_t>(1, jobs.size()));
    Progress progress(jobs.size(), isatty(fileno(stderr)));
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();)
            progress.finished(jobs[i].input, jobs[i].output, convertOne(jobs[i], o));
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();
    progress.summary(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (o.verbose)
        for (const std::string& line : cad::render::fontSubstitutions())
            std::fprintf(stderr, "font substituted: %s\n", line.c_str());
    return progress.failed() ? 1 : 0;
}
