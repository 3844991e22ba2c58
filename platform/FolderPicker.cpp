#include "FolderPicker.h"

#include "Dialogs.h"

#include <QDir>
#include <QFileInfo>

namespace lumicade {

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

bool isDriveRoot(const QString& path)
{
    return path.size() == 3 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':') && isSeparator(path.at(2));
}

}  // namespace

QString BrowseForFolder(Dialogs& dialogs, const QString& prompt, const QString& startFolder)
{
    return dialogs.browseForFolder(prompt, startFolder);
}

QString FolderPickerStartFolder(const QString& startFolder)
{
    if (startFolder.isEmpty())
        return {};
    const QFileInfo info(startFolder);
    return info.exists() && info.isDir() ? startFolder : QString();
}

QString TrimFolderSeparator(const QString& folder)
{
    QString path = folder;
    while (path.size() > 1 && isSeparator(path.back()) && !isDriveRoot(path)) {
        // "\\server\share\" loses only its last separator; the leading pair stays.
        if (path.size() == 2 && isSeparator(path.front()))
            break;
        path.chop(1);
    }
    return path;
}

QString FolderPickerResult(const QString& chosen)
{
    if (chosen.isEmpty())
        return {};
    const QFileInfo info(chosen);
    if (!info.exists() || !info.isDir())
        return {};
    return TrimFolderSeparator(QDir::toNativeSeparators(QDir::cleanPath(chosen)));
}

}  // namespace lumicade
