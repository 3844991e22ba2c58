// Lumicade: batch conversion of CAD drawings into JPEG images.
#include "Form1.h"
#include "Main.h"

#include "convert/EngineCadApplication.h"
#include "platform/QtDialogs.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // One look on every desktop; the window was laid out for it.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);

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
