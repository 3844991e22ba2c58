#include "AddFolder.h"

#include "Dialogs.h"
#include "ErrorTrap.h"
#include "FileListContext.h"
#include "ListView1.h"
#include "PathHelpers.h"
#include "SettingsStore.h"
#include "VbError.h"

#include <QFileInfo>

#include <set>

namespace lumicade {

namespace {

const QString kScanLocation = QStringLiteral("in OrvelleTitle2021/08/31.AddFolder.GetSubDirectories2016 ");
const QString kCommandLocation = QStringLiteral("in Kestrane2021/08/31.Form1.PushButton3_Click ");

constexpr int kHiddenSystemFolder = Attr::Directory + Attr::System + Attr::Hidden;  // 22
constexpr int kHiddenSystemJunction = kHiddenSystemFolder + Attr::ReparsePoint;    // 1046
constexpr int kHiddenArchivedFile = Attr::Archive + Attr::Hidden;                 // 34

// The folder itself, whichever way it was reached.
QString realFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? folder : canonical;
}

int pathLength(const QString& path) { return static_cast<int>(QFile::encodeName(path).size()); }

void scanPass(FileListContext& ctx, QStringList& L, bool R, std::set<QString>& visited)
{
    ErrorTrap trap(*ctx.dialogs, kScanLocation);
    // Once the first folder is about to be listed, failures no longer reach
    // the report: they drop the folder that could not be listed and the pass
    // goes on with the next one.
    bool listingTrap = false;
    auto run = [&](int line, const std::function<void()>& body) {
        if (listingTrap)
            body();
        else
            trap.step(line, body);
    };

    trap.step(100, [] {});
    QStringList N;
    trap.step(104, [&] { N.clear(); });

    // Every entry L held when the pass began is visited once, in order, even
    // when an entry is removed on the way.
    const QStringList pass = L;
    for (const QString& F : pass) {
        try {
            // A test whose statement fails takes its "then" branch.
            bool missing = true;
            run(108, [&] { missing = !FolderExists(F); });
            if (missing)
                continue;
            bool tooLong = true;
            run(110, [&] { tooLong = pathLength(F) >= kMaxPath; });
            if (tooLong)
                continue;
            run(112, [&] {
                if (!FolderExists(F))
                    throw VbError::make(ErrNo::PathNotFound);
            });
            run(114, [&] { ctx.doEvents(); });
            bool leaveOut = true;
            run(116, [&] { leaveOut = !IsToBeDescended(F); });
            if (leaveOut)
                continue;
            listingTrap = true;

            const QStringList subFolders = SubFolderNames(F);  // 118
            for (const QString& name : subFolders) {
                ctx.doEvents();                                  // 120
                if (pathLength(name) < kMaxPath                  // 124
                    && !HasOddCharacters(name)                   // 126
                    && !name.contains(u'?')                      // 128
                    && name != QLatin1String(".") && name != QLatin1String("..")) {  // 130
                    const QString S = F + name + kSeparator;     // 132, 134
                    if (visited.insert(realFolder(S)).second)
                        N.append(S);
                }
            }
        } catch (const VbError& e) {
            // 138 to 148: a folder that cannot be listed leaves the list.
            if (e.number() == ErrNo::PermissionDenied || e.number() == ErrNo::PathNotFound) {
                const qsizetype i = L.indexOf(F);
                if (i >= 0)
                    L.removeAt(i);
            }
        } catch (...) {
            // Any other failure leaves the list as it is.
        }
    }

    trap.step(150, [&] {
        if (R && !N.isEmpty())
            scanPass(ctx, N, true, visited);
    });
    for (const QString& G : N) {
        bool exists = true;
        trap.step(154, [&] { exists = FolderExists(G); });
        if (!exists)
            continue;
        trap.step(156, [&] { ctx.doEvents(); });
        bool descend = true;
        trap.step(158, [&] { descend = IsToBeDescended(G); });
        if (descend)
            trap.step(160, [&] { L.append(G); });
    }
}

}  // namespace

bool IsToBeDescended(const QString& folder)
{
    const auto attributes = FileAttributes(folder);
    if (!attributes)
        throw VbError::make(ErrNo::PathNotFound);
    return (*attributes != kHiddenSystemFolder && *attributes != kHiddenSystemJunction) || IsRootFolder(folder);
}

bool IsListedTreeFile(const QString& path)
{
    return IsExistingFile(path) && FileAttributes(path).value_or(0) != kHiddenArchivedFile;
}

void GetSubDirectories2016(FileListContext& ctx, QStringList& folders, bool recurse)
{
    std::set<QString> visited;
    for (const QString& folder : folders)
        visited.insert(realFolder(folder));
    scanPass(ctx, folders, recurse, visited);
}

void PushButton3_Click(FileListContext& ctx)
{
    ErrorTrap trap(*ctx.dialogs, kCommandLocation);
    SettingsStore& settings = *ctx.settings;

    QString extension;
    trap.step(100, [&] {
        const auto answer = ctx.dialogs->inputBox(
            QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)"),
            applicationTitle(), settings.GetSetting(QStringLiteral("Extension"), QStringLiteral("dwg")));
        extension = answer.value_or(QString());
        if (!extension.isEmpty())
            settings.SaveSetting(QStringLiteral("Extension"), extension);
    });
    bool cancelled = true;
    trap.step(102, [&] { cancelled = extension.isEmpty(); });
    if (cancelled)
        return;
    trap.step(104, [&] { settings.SaveSetting(QStringLiteral("Extension"), extension); });

    QString folder;
    trap.step(106, [&] {
        const QString last = settings.GetSetting(QStringLiteral("LastFolder"), QString());
        folder = ctx.dialogs->browseForFolder(QStringLiteral("Please select folder:"), last);
    });
    cancelled = true;
    trap.step(108, [&] { cancelled = folder.isEmpty(); });
    if (cancelled)
        return;
    trap.step(333, [] {});
    trap.step(334, [&] { settings.SaveSetting(QStringLiteral("LastFolder"), folder); });

    trap.step(114, [&] { ctx.setMousePointer(MousePointer::Hourglass); });
    QStringList folders;
    trap.step(116, [&] { folders = QStringList{folder + kSeparator}; });
    trap.step(118, [&] { GetSubDirectories2016(ctx, folders, true); });

    const QString pattern = QStringLiteral("*.") + extension;
    for (const QString& entry : folders) {
        QString current;
        trap.step(122, [&] { current = entry.chopped(1); });
        QStringList names;
        trap.step(124, [&] { names = ListFiles(current, pattern); });
        for (const QString& name : names) {
            bool skip = true;
            trap.step(128, [&] { skip = name.startsWith(u'~'); });
            if (skip)
                continue;
            QString path;
            trap.step(130, [&] { path = current + kSeparator + name; });
            trap.step(134, [&] {
                if (IsListedTreeFile(path))
                    ctx.list->Append(FixDoubleBackslashes(path));
            });
        }
    }
    trap.step(138, [&] { ctx.setMousePointer(MousePointer::Default); });
}

}  // namespace lumicade
