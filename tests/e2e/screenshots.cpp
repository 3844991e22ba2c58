// Pictures of the main window during a run and after "Done.", for the eye
// rather than for CTest: run it on a display (xvfb-run works) and look at
// the two PNG files it writes into the folder given as its argument.
//
//   xvfb-run -s "-screen 0 1024x768x24" e2e_screenshots OUTDIR
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "Form1.h"
#include "Main.h"
#include "QuietServices.h"
#include "convert/EngineCadApplication.h"
#include "filelist/ListView1.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"

using namespace lumicade;
using namespace lumicade::testing;

namespace {

bool grabScreen(QWidget& window, const QString& file)
{
    window.repaint();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool ok = shot.save(file, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(outDir);

    // Copies of the samples, so the run writes nothing beside the originals.
    QTemporaryDir work;
    const QString drawings = QStringLiteral(LUMICADE_DRAWINGS_DIR);
    const QStringList names{QStringLiteral("example_2000.dxf"), QStringLiteral("sample_2018.dxf"),
                            QStringLiteral("example_2018.dwg"), QStringLiteral("sample_2000.dwg"),
                            QStringLiteral("example_r14.dwg")};

    SettingsStore settings(work.filePath(QStringLiteral("settings.ini")));
    QtDialogs dialogs;
    QuietShell shell;
    NeverRandom random;
    EngineCadAutomation cad;
    Form1 form({dialogs, shell, settings, random, cad});
    dialogs.setOwner(&form);
    form.Form_Load();
    form.move(0, 0);
    form.show();

    for (const QString& name : names) {
        QFile::copy(drawings + u'/' + name, work.filePath(name));
        form.ListView1->Append(work.filePath(name));
    }
    SetOptionValue(*form.Option2, true);

    bool midRunTaken = false, doneTaken = false;
    int boxTicks = 0;
    QTimer watch;
    watch.setInterval(40);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        // The third drawing is on the bar: the run is well under way.
        if (!midRunTaken && form.progressText() == QStringLiteral("Processing: ") + names[2]) {
            midRunTaken = grabScreen(form, outDir + QStringLiteral("/during-run.png"));
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            boxTicks = 0;
            return;
        }
        // Give the box a few ticks to reach the screen before taking it.
        if (++boxTicks < 8)
            return;
        std::fprintf(stderr, "message: %s\n", qPrintable(box->text()));
        if (!doneTaken && box->text() == QStringLiteral("Done."))
            doneTaken = grabScreen(form, outDir + QStringLiteral("/after-done.png"));
        box->accept();
    });
    watch.start();
    QTimer::singleShot(300, &form, [&] {
        form.PushButton2_Click();
        app.quit();
    });
    app.exec();
    return midRunTaken && doneTaken ? 0 : 1;
}
