#pragma once
// Small stateless helpers for taking paths apart, asking what exists on disk,
// listing one folder's files and deleting scratch files.
//
// The string helpers take the separator as a parameter defaulting to the
// native one, so the program's Windows habits ("\" separators, network paths
// that start with a doubled separator) stay checkable on any platform.
#include <QChar>
#include <QString>
#include <QStringList>
#include <optional>

namespace lumicade {

#ifdef _WIN32
inline constexpr QChar kSeparator = u'\\';
inline constexpr int kMaxPath = 260;
#else
inline constexpr QChar kSeparator = u'/';
inline constexpr int kMaxPath = 4096;  // PATH_MAX
#endif
inline constexpr QChar kWindowsSeparator = u'\\';

// Anything with rows of text numbered from 1 (the file list).
class RowList {
public:
    virtual ~RowList() = default;
    virtual int Count() const = 0;
    virtual QString RowText(int p) const = 0;
};

// Windows file attribute bits, as the folder scan and the drop test them.
namespace Attr {
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int System = 4;
constexpr int Directory = 16;
constexpr int Archive = 32;
constexpr int ReparsePoint = 1024;
}  // namespace Attr

// The attribute sum of whatever is at path, or nothing when nothing is there.
// This is the one place where the file system's properties become Windows
// attributes: a name beginning with "." is hidden, there is no system bit,
// regular files count as archived, a file without its owner's write bit is
// read-only, and a symbolic link is a reparse point.
std::optional<int> FileAttributes(const QString& path);

// True for the root of the file system (a drive's root on Windows).
bool IsRootFolder(const QString& path);

// Everything up to and including the last separator; empty text when none.
QString GetFolderPart(const QString& path, QChar separator = kSeparator);
// Everything after the last separator; the whole path when none.
QString GetFileNamePart(const QString& path, QChar separator = kSeparator);
// Collapses doubled separators in one left-to-right pass. With "\" a path
// that starts with one or more separators comes back starting with exactly
// two (the network prefix); with "/" it starts with exactly one (the root).
QString FixDoubleBackslashes(const QString& path, QChar separator = kSeparator);

bool FolderExists(const QString& path);   // a folder is there (false on any failure)
bool PathExists(const QString& path);     // anything is there whose time can be read
bool IsExistingFile(const QString& path); // an existing file, not a folder

// The names (not paths) of the files in folder matching the wildcard pattern
// ("*" and "?", letter case ignored; "*.*" means every file), hidden files
// included, folders left out, sorted by name. Empty when nothing matches or
// the folder is missing.
QStringList ListFiles(const QString& folder, const QString& pattern);
bool MatchesPattern(const QString& name, const QString& pattern);

// Deletes a file; never reports anything. Yields to the message loop first.
void KillFile(const QString& path);
// Deletes a file even when it is read-only; throws VbError on failure.
void ForceDeleteFile(const QString& path);

// True when some row's text equals text exactly (letter case counts).
bool IsInList(const RowList& list, const QString& text);

// True when a name holds a control character, "?", or a character that
// did not survive the file system's encoding.
bool HasOddCharacters(const QString& name);

// The user's desktop folder with its final separator. Throws VbError(5)
// when the desktop cannot be resolved.
QString GetDesktopFolder();

// Where pictures go until the user chooses a folder: the desktop folder as
// the desktop environment names it (the XDG user directories), or, on an
// account that has none, the Pictures folder, else the home folder. Always
// an existing folder when the home folder exists; ends in the separator.
QString DefaultOutputFolder();

// The names of the direct subfolders of folder, sorted by name ("." and ".."
// left out). Throws VbError 70 when the folder cannot be read and 76 when it
// is gone.
QStringList SubFolderNames(const QString& folder);

}  // namespace lumicade
