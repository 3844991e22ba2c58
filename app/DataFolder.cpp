#include "DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace lumicade {

QString DataFolderFor(const QString& programDir, const QString& dataFromProgram)
{
    const QDir beside(programDir);
    // Either file is proof enough: a build tree always has both, and a
    // copied-out program folder keeps them together.
    if (beside.exists(QStringLiteral("HAND-M.CUR")) || beside.exists(QStringLiteral("Samples")))
        return programDir;
    const QFileInfo installed(beside.filePath(dataFromProgram));
    if (installed.isDir())
        return QDir::toNativeSeparators(QDir::cleanPath(installed.absoluteFilePath()));
    // Neither place has them: the window starts without them, as it always could.
    return programDir;
}

QString InstalledShell::programFolder() const
{
    return DataFolderFor(QtShell::programFolder(), QStringLiteral(LUMICADE_DATA_FROM_PROGRAM));
}

}  // namespace lumicade
