// "Start Converting" pressed on the real main window over a folder of
// drawings, timed from the press to "Done.", beside what the same pictures
// take to encode alone. Run it offscreen or on a display:
//
//   QT_QPA_PLATFORM=offscreen bench_window [--runs N] [FOLDER|FILE]...
//
// Without arguments it converts the shared drawings the project was
// configured with. Each drawing is drawn in a worker process, whose CPU time
// is counted with the window's. The drawings are linked into a temporary
// folder, so the window's scratch bitmaps and the pictures never land beside
// the originals.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "FakeDialogs.h"
#include "Form1.h"
#include "Main.h"
#include "QuietServices.h"
#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "convert/EngineCadApplication.h"
#include "convert/JpegFile.h"
#include "filelist/ListView1.h"
#include "platform/SettingsStore.h"

using namespace lumicade;
using lumicade::testing::NeverRandom;
using lumicade::testing::QuietShell;

namespace {

QStringList drawingsIn(const QStringList& places)
{
    QStringList files;
    for (const QString& place : places) {
        if (QFileInfo(place).isFile()) {
            files << QFileInfo(place).absoluteFilePath();
            continue;
        }
        QDirIterator it(place, {QStringLiteral("*.dwg"), QStringLiteral("*.dxf")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    files.sort();
    return files;
}

// CPU time of this process, all threads: on a busy machine the wall clock
// says more about the neighbours than about us.
double cpuMilliseconds()
{
    timespec t {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// CPU time of the drawing workers this process has started: those that
// have ended, and the one still running, kept for the next drawing.
double workerCpuMilliseconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    double total = ms(usage.ru_utime) + ms(usage.ru_stime);
    const QString self = QString::number(::getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!pid.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // After the name in parentheses: state, parent, ... user time (12th), system time (13th).
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12 && fields[1] == self.toLatin1())
            total += (fields[11].toDouble() + fields[12].toDouble()) * 1e3 / double(::sysconf(_SC_CLK_TCK));
    }
    return total;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    int runs = 3;
    QStringList places;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else
            places << args[i];
    }
    if (places.isEmpty())
        places << QStringLiteral(LUMICADE_DRAWINGS_DIR) << QStringLiteral(LUMICADE_LEGACY_DRAWINGS_DIR)
               << QStringLiteral(LUMICADE_LARGE_DRAWINGS_DIR);
    const QStringList drawings = drawingsIn(places);
    if (drawings.isEmpty()) {
        std::fprintf(stderr, "bench_window: no drawings found\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in")), out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(in);
    QDir().mkpath(out);
    QStringList rows;
    for (int i = 0; i < drawings.size(); ++i) {
        const QString link = in + QStringLiteral("/%1-%2").arg(i, 3, 10, QLatin1Char('0')).arg(QFileInfo(drawings[i]).fileName());
        if (!QFile::link(drawings[i], link)) {
            std::fprintf(stderr, "bench_window: cannot link %s\n", qPrintable(drawings[i]));
            return 1;
        }
        rows << link;
    }

    // The floor: encoding the pictures alone, as the window encodes them.
    std::vector<QImage> pictures;
    for (const QString& drawing : drawings) {
        try {
            cad::render::RenderOptions options;
            options.drawingFolder = QFile::encodeName(QFileInfo(drawing).absolutePath()).toStdString();
            pictures.push_back(cad::render::renderDrawing(cad::readDrawingFile(QFile::encodeName(drawing).toStdString()), options));
        } catch (const std::exception&) {
        }
    }

    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    testing::FakeDialogs dialogs;
    QuietShell shell;
    NeverRandom random;
    EngineCadAutomation cad;
    Form1 form{{dialogs, shell, settings, random, cad}};
    form.Form_Load();
    for (const QString& row : rows)
        form.ListView1->Append(row);
    form.Text1->setText(out + QLatin1Char('/'));
    SetOptionValue(*form.Option1, true);
    form.show();
    QCoreApplication::processEvents();

    std::vector<double> window, encode, windowCpu, encodeCpu, workersCpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        double cpu = cpuMilliseconds();
        std::vector<unsigned char> bytes;
        for (const QImage& picture : pictures)
            encodeJpeg(picture.convertToFormat(QImage::Format_RGB32), form.Slider1->value(), bytes, kDrawingSubsampling);
        encode.push_back(clock.nsecsElapsed() / 1e6);
        encodeCpu.push_back(cpuMilliseconds() - cpu);

        dialogs.messages.clear();
        clock.restart();
        cpu = cpuMilliseconds();
        const double workers = workerCpuMilliseconds();
        form.PushButton2_Click();
        window.push_back(clock.nsecsElapsed() / 1e6);
        windowCpu.push_back(cpuMilliseconds() - cpu);
        workersCpu.push_back(workerCpuMilliseconds() - workers);
        if (dialogs.texts() != QStringList{QStringLiteral("Done.")}) {
            std::fprintf(stderr, "bench_window: the run ended with %s\n", qPrintable(dialogs.texts().join(u'|')));
            return 1;
        }
    }
    const int written = static_cast<int>(QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files).size());
    std::printf("%lld drawings, %d pictures written, %d runs (medians)\n", static_cast<long long>(drawings.size()),
                written, runs);
    std::printf("Start Converting: %9.1f ms wall %9.1f ms CPU (%.1f ms of it in the drawing workers)\n", median(window),
                median(windowCpu) + median(workersCpu), median(workersCpu));
    std::printf("encoding alone:   %9.1f ms wall %9.1f ms CPU (%zu pictures)\n", median(encode), median(encodeCpu),
                pictures.size());
    return 0;
}
