// Lumicade: batch conversion of CAD drawings into JPEG images.
#include "Form1.h"
#include "Main.h"

#include "convert/EngineCadApplication.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>
#include <filesystem>
#include <vector>

#include "cad/render/TextFonts.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
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
    cad::render::setFontFolders(std::move(fontFolders));

    lumicade::QtDialogs dialogs;
    lumicade::QtShell shell;
    lumicade::TimeSeededRandom random;
    lumicade::EngineCadAutomation cad;
    lumicade::Form1 form({dialogs, shell, lumicade::SettingsStore::instance(), random, cad});
    dialogs.setOwner(&form);

    form.Form_Load();
    form.show();
    return app.exec();
}
