#include "PathHelpers.h"

#include "VbError.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumicade {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool statOf(const QString& path, struct stat& st)
{
    if (path.isEmpty())
        return false;
    return ::stat(native(path).constData(), &st) == 0;
}

// The names in one folder, "." and ".." left out, in a stable order: letter
// case ignored first, then exact, so listings do not depend on the order the
// file system happens to hand them out.
QStringList folderEntries(const QString& folder, int& error)
{
    QStringList names;
    error = 0;
    DIR* dir = ::opendir(native(folder).constData());
    if (!dir) {
        error = errno;
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString withSeparator(const QString& folder)
{
    if (folder.isEmpty() || folder.back() != kSeparator)
        return folder + kSeparator;
    return folder;
}

// "*" and "?" against a name, letter case ignored.
bool wildcardMatch(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
                   && (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

void doEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

}  // namespace

std::optional<int> FileAttributes(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    // "folder/" would resolve a link before we can see it; ask about the name itself.
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(kSeparator))
        trimmed.chop(1);
    const QByteArray name = native(trimmed);
    struct stat link {};
    if (::lstat(name.constData(), &link) != 0)
        return std::nullopt;

    int sum = 0;
    struct stat target = link;
    if (S_ISLNK(link.st_mode)) {
        sum |= Attr::ReparsePoint;
        if (::stat(name.constData(), &target) != 0)
            target = link;  // a dangling link is still something at that path
    }
    if (S_ISDIR(target.st_mode))
        sum |= Attr::Directory;
    else if (S_ISREG(target.st_mode))
        sum |= Attr::Archive;
    if (!(target.st_mode & S_IWUSR))
        sum |= Attr::ReadOnly;

    const QString base = GetFileNamePart(trimmed);
    if (base.startsWith(u'.') && base != QLatin1String(".") && base != QLatin1String(".."))
        sum |= Attr::Hidden;
    return sum;
}

bool IsRootFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    struct stat st {}, parent {};
    if (!statOf(path, st) || !statOf(withSeparator(path) + QStringLiteral(".."), parent))
        return false;
    // The root is the one folder that is its own parent.
    return st.st_dev == parent.st_dev && st.st_ino == parent.st_ino;
}

QString GetFolderPart(const QString& path, QChar separator)
{
    const qsizetype at = path.lastIndexOf(separator);
    if (at > 32766)
        throw VbError::make(ErrNo::Overflow);
    return at < 0 ? QString() : path.left(at + 1);
}

QString GetFileNamePart(const QString& path, QChar separator)
{
    const qsizetype at = path.lastIndexOf(separator);
    return at < 0 ? path : path.mid(at + 1);
}

QString FixDoubleBackslashes(const QString& path, QChar separator)
{
    const QString doubled = QString(2, separator);
    const QString single = QString(separator);
    if (path.isEmpty() || path.front() != separator) {
        QString out = path;
        return out.replace(doubled, single);
    }
    qsizetype p = 1;
    while (p < path.size() && path[p] == separator)
        ++p;
    QString rest = path.mid(p);
    rest.replace(doubled, single);
    // A leading pair on Windows is a network path; on POSIX the root is one "/".
    const QString lead = separator == kWindowsSeparator ? doubled : single;
    return lead + rest;
}

bool FolderExists(const QString& path)
{
    const auto attributes = FileAttributes(path);
    return attributes && (*attributes & Attr::Directory);
}

bool PathExists(const QString& path)
{
    struct stat st {};
    return statOf(path, st);
}

bool IsExistingFile(const QString& path)
{
    struct stat st {};
    return statOf(path, st) && !S_ISDIR(st.st_mode);
}

bool MatchesPattern(const QString& name, const QString& pattern)
{
    if (wildcardMatch(name, pattern))
        return true;
    // As on the program's home platform, "x.*" also takes a name without any
    // extension, so "*.*" lists every file.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(u'.'))
        return wildcardMatch(name, QStringView(pattern).chopped(2));
    return false;
}

QStringList ListFiles(const QString& folder, const QString& pattern)
{
    const QString base = withSeparator(folder);
    int error = 0;
    QStringList names;
    for (const QString& name : folderEntries(base, error)) {
        if (MatchesPattern(name, pattern) && IsExistingFile(base + name))
            names.append(name);
    }
    return names;
}

void ForceDeleteFile(const QString& path)
{
    const QByteArray name = native(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        throw VbError::make(ErrNo::FileNotFound);
    if (S_ISDIR(st.st_mode))
        throw VbError::make(ErrNo::FileNotFound);
    if (!S_ISLNK(st.st_mode))
        ::chmod(name.constData(), st.st_mode | S_IWUSR);
    if (::unlink(name.constData()) != 0)
        throw VbError::make(errno == ENOENT ? ErrNo::FileNotFound : ErrNo::PermissionDenied);
}

void KillFile(const QString& path)
{
    doEvents();
    if (!path.isEmpty() && ::unlink(native(path).constData()) == 0)
        return;
    try {
        ForceDeleteFile(path);
    } catch (...) {
        // Deleting a scratch file is best effort; nothing to tell the user.
    }
}

bool IsInList(const RowList& list, const QString& text)
{
    const int count = list.Count();
    for (int p = 1; p <= count; ++p) {
        if (list.RowText(p) == text)
            return true;
    }
    return false;
}

bool HasOddCharacters(const QString& name)
{
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?')
            return true;
        // Bytes the file name's encoding could not turn into characters come
        // back as the replacement character; such a name cannot be handed
        // back to the file system unchanged.
        if (code == QChar::ReplacementCharacter)
            return true;
    }
    return false;
}

QString GetDesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        throw VbError::make(ErrNo::InvalidProcedureCall);
    return withSeparator(desktop);
}

QString DefaultOutputFolder()
{
    // A fresh account often has no desktop folder at all; a default that does
    // not exist would make the first run answer "Folder does not exist".
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::PicturesLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && FolderExists(folder))
            return withSeparator(folder);
    }
    return withSeparator(QDir::homePath());
}

QStringList SubFolderNames(const QString& folder)
{
    const QString base = withSeparator(folder);
    int error = 0;
    const QStringList names = folderEntries(base, error);
    if (error == EACCES || error == EPERM)
        throw VbError::make(ErrNo::PermissionDenied);
    if (error != 0)
        throw VbError::make(ErrNo::PathNotFound);
    QStringList folders;
    for (const QString& name : names) {
        if (FolderExists(base + name))
            folders.append(name);
    }
    return folders;
}

}  // namespace lumicade
