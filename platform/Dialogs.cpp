#include "Dialogs.h"

namespace lumicade {

namespace {
QString& titleStorage()
{
    static QString title = QStringLiteral("Lumicade");
    return title;
}
}  // namespace

QString applicationTitle()
{
    return titleStorage();
}

void setApplicationTitle(const QString& title)
{
    titleStorage() = title;
}

}  // namespace lumicade
