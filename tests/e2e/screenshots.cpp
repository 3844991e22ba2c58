// Pictures of the main window before a run, during it and after "Done.", for
// the eye rather than for CTest: run it on a display (xvfb-run works) and look
// at the PNG files it writes into the folder given as its argument. With
// --dark the desktop's palette is a dark one; QT_SCALE_FACTOR=2 shows 200%.
//
//   xvfb-run -s "-screen 0 1280x1024x24" e2e_screenshots OUTDIR [--dark]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPalette>
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
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--dark"))) {
        QPalette dark(QColor(53, 53, 56), QColor(45, 45, 48));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, QColor(230, 230, 230));
        QApplication::setPalette(dark);
    }
    QString outDir = QDir::currentPath();
    for (const QString& arg : args) {
        if (!arg.startsWith(QLatin1String("--")))
            outDir = arg;
    }
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
    form.ListView1->SelectRow(2);
    QApplication::processEvents();
    const QString idle = outDir + QStringLiteral("/idle.png");
    const bool idleTaken = form.grab().save(idle, "PNG");
    std::fprintf(stderr, "%s %s\n", idleTaken ? "wrote" : "could not write", qPrintable(idle));
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
