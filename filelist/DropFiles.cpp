#include "DropFiles.h"

#include "AddFolder.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "PathHelpers.h"

#include <QDebug>

#include <exception>

namespace lumicade {

namespace {

void addFolderTree(FileListContext& ctx, const QString& folder)
{
    QStringList folders{folder + kSeparator};
    GetSubDirectories2016(ctx, folders, true);
    for (const QString& entry : folders) {
        const QString current = entry.chopped(1);
        for (const QString& name : ListFiles(current, QStringLiteral("*.*"))) {
            if (name.startsWith(u'~'))
                continue;
            const QString path = current + kSeparator + name;
            if (IsListedTreeFile(path))
                ctx.list->Append(FixDoubleBackslashes(path));
        }
    }
}

}  // namespace

void DropPaths(FileListContext& ctx, const QStringList& paths)
{
    for (const QString& name : paths) {
        // The drop has no error report of its own: a name that cannot be
        // read is passed over and the rest of the drop still arrives.
        try {
            const bool found = PathExists(name) || FileAttributes(name).has_value();
            const bool folderBit = FolderExists(name);
            if (found && folderBit)
                addFolderTree(ctx, name);
            else
                ctx.list->Append(name);
        } catch (const std::exception& e) {
            qWarning("Drop of %s: %s", qUtf8Printable(name), e.what());
        } catch (...) {
            qWarning("Drop of %s failed", qUtf8Printable(name));
        }
    }
}

}  // namespace lumicade
