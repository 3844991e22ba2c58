// Lumicade: batch conversion of CAD drawings into JPEG images.
#include "DataFolder.h"
#include "Form1.h"
#include "filelist/ListView1.h"
#include "Main.h"

#include "convert/EngineCadApplication.h"
#include "convert/WorkerDrawings.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QStyleFactory>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "cad/model/ReplacingFile.h"
#include "cad/render/TextFonts.h"

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so they work in a terminal without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lumicade %s\n", LUMICADE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: lumicade [FILE|FOLDER]...\n"
                        "Opens the window that converts CAD drawings (DWG, DXF) into JPEG pictures.\n"
                        "Files and folders named are put in its list, as if dropped onto it.\n"
                        "\n"
                        "  -h, --help   show this text\n"
                        "  --version    show the version\n");
            return 0;
        }
    }

    QApplication app(argc, argv);
    // A picture being written when the window is closed from outside
    // (Ctrl+C in its terminal, the session ending) leaves no temporary file.
    cad::ReplacingFile::removeTemporaryFilesOnSignals();
    // One look on every desktop; the window was laid out for it.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);

    // Folders of the user's CAD fonts (SHX and TrueType), searched after
    // each drawing's own folder: the settings entry "FontFolders", folders
    // separated by ';'.
    std::vector<std::filesystem::path> fontFolders;
    const QString folders = lumicade::SettingsStore::instance().GetSetting(QStringLiteral("FontFolders"), QString());
    for (const QString& folder : folders.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fontFolders.emplace_back(QFile::encodeName(QDir::cleanPath(folder.trimmed())).toStdString());
    // Each drawing is read and drawn in a worker process of its own, which
    // looks in the same folders.
    lumicade::DrawingWorkerLimits workerLimits;
    workerLimits.fontFolders = fontFolders;
    cad::render::setFontFolders(std::move(fontFolders));

    lumicade::QtDialogs dialogs;
    lumicade::InstalledShell shell;
    lumicade::TimeSeededRandom random;
    lumicade::EngineCadAutomation cad(std::make_shared<lumicade::WorkerDrawings>(std::move(workerLimits)));
    lumicade::Form1 form({dialogs, shell, lumicade::SettingsStore::instance(), random, cad});
    dialogs.setOwner(&form);

    form.Form_Load();
    form.show();

    // Drawings opened from the file manager arrive here; they take the drop's way into the list.
    QList<QUrl> opened;
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        opened.append(QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile));
    if (!opened.isEmpty()) {
        QMimeData dropped;
        dropped.setUrls(opened);
        form.ListView1->ListView1_OLEDragDrop(&dropped);
    }
    return app.exec();
}
