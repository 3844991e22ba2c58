// The path and file helpers: the string helpers with the Windows separator and
// the native one, and the file-system helpers on a real temporary folder.
#include "PathHelpers.h"
#include "VbError.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumicade;

namespace {

constexpr QChar kWin = u'\\';

void touch(const QString& path, const QByteArray& content = "x")
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(content);
}

// The number of the VbError the body throws; 0 when it throws none.
template <typename Body>
int vbErrorNumber(Body body)
{
    try {
        body();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

class Rows : public RowList {
public:
    explicit Rows(QStringList rows) : rows_(std::move(rows)) {}
    int Count() const override { return static_cast<int>(rows_.size()); }
    QString RowText(int p) const override { return rows_.at(p - 1); }

private:
    QStringList rows_;
};

}  // namespace

class PathHelpersTest : public QObject {
    Q_OBJECT
private slots:
    void folderAndFileParts_data();
    void folderAndFileParts();
    void fixDoubleBackslashesWindows_data();
    void fixDoubleBackslashesWindows();
    void fixDoubleSeparatorsNative();
    void folderPartOverflowsPast32767();
    void existenceTests();
    void attributeMapping();
    void listFiles();
    void listFilesPatterns();
    void killFile();
    void isInListIsExactAndCaseSensitive();
    void oddCharacters();
    void subFolderNames();
    void desktopFolderEndsWithSeparator();
    void defaultOutputFolderIsOneThatExists();
};

void PathHelpersTest::folderAndFileParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("full path") << R"(C:\plans\site.dwg)" << R"(C:\plans\)" << "site.dwg";
    QTest::newRow("bare name") << "site.dwg" << "" << "site.dwg";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("folder with final separator") << R"(C:\plans\)" << R"(C:\plans\)" << "";
    QTest::newRow("network") << R"(\\server\share\a.dwg)" << R"(\\server\share\)" << "a.dwg";
}

void PathHelpersTest::folderAndFileParts()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QCOMPARE(GetFolderPart(path, kWin), folder);
    QCOMPARE(GetFileNamePart(path, kWin), file);

    // The same answers with the native separator.
    QString nativePath = path, nativeFolder = folder;
    nativePath.replace(kWin, kSeparator);
    nativeFolder.replace(kWin, kSeparator);
    QCOMPARE(GetFolderPart(nativePath), nativeFolder);
    QCOMPARE(GetFileNamePart(nativePath), file);
}

void PathHelpersTest::fixDoubleBackslashesWindows_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("fixed");
    QTest::newRow("doubled before name") << R"(C:\out\\site.jpg)" << R"(C:\out\site.jpg)";
    QTest::newRow("after drive root") << R"(C:\\Windows\x.dwg)" << R"(C:\Windows\x.dwg)";
    QTest::newRow("network keeps its pair") << R"(\\server\share\\x.dwg)" << R"(\\server\share\x.dwg)";
    QTest::newRow("three leading") << R"(\\\server\x)" << R"(\\server\x)";
    QTest::newRow("one leading becomes two") << R"(\plans\\x.dwg)" << R"(\\plans\x.dwg)";
    QTest::newRow("run of three becomes two") << R"(C:\a\\\b)" << R"(C:\a\\b)";
    QTest::newRow("run of four becomes two") << R"(C:\a\\\\b)" << R"(C:\a\\b)";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("four backslashes") << R"(\\\\)" << R"(\\)";
    QTest::newRow("nothing to do") << R"(D:\Plans\a.dwg)" << R"(D:\Plans\a.dwg)";
}

void PathHelpersTest::fixDoubleBackslashesWindows()
{
    QFETCH(QString, path);
    QFETCH(QString, fixed);
    QCOMPARE(FixDoubleBackslashes(path, kWin), fixed);
}

void PathHelpersTest::fixDoubleSeparatorsNative()
{
    if (kSeparator == kWin)
        QSKIP("the native separator is the Windows one");
    // The same one-pass collapse; a leading run is the root, kept as one.
    QCOMPARE(FixDoubleBackslashes("/home/u//out//a.jpg"), QString("/home/u/out/a.jpg"));
    QCOMPARE(FixDoubleBackslashes("//a.dwg"), QString("/a.dwg"));
    QCOMPARE(FixDoubleBackslashes("///srv//x"), QString("/srv/x"));
    QCOMPARE(FixDoubleBackslashes("/a///b"), QString("/a//b"));
    QCOMPARE(FixDoubleBackslashes(""), QString());
    // Backslashes are ordinary characters in a native path.
    QCOMPARE(FixDoubleBackslashes(R"(/a\\b)"), QString(R"(/a\\b)"));
}

void PathHelpersTest::folderPartOverflowsPast32767()
{
    const QString longPath = QString(40000, u'a') + kWin + "x.dwg";
    QCOMPARE(vbErrorNumber([&] { GetFolderPart(longPath, kWin); }), int(ErrNo::Overflow));
    QCOMPARE(GetFileNamePart(longPath, kWin), QString("x.dwg"));
}

void PathHelpersTest::existenceTests()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString file = root + "/plan.dwg";
    const QString hidden = root + "/.hidden.dwg";
    const QString readOnly = root + "/ro.dwg";
    touch(file);
    touch(hidden);
    touch(readOnly);
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    QDir(root).mkdir("sub");

    QVERIFY(!FolderExists(file));
    QVERIFY(!FolderExists(root + "/missing"));
    QVERIFY(!FolderExists(""));
    QVERIFY(FolderExists(root + "/sub"));
    QVERIFY(FolderExists(root + "/sub/"));

    QVERIFY(!IsExistingFile(root + "/sub"));
    QVERIFY(!IsExistingFile(""));
    QVERIFY(!IsExistingFile(root + "/missing.dwg"));
    QVERIFY(IsExistingFile(file));
    QVERIFY(IsExistingFile(hidden));
    QVERIFY(IsExistingFile(readOnly));

    QVERIFY(PathExists(file));
    QVERIFY(!PathExists(root + "/missing.dwg"));
    QVERIFY(!PathExists(""));
    // Doubled separators are accepted by the file system.
    QVERIFY(PathExists(root + "//plan.dwg"));

    // A dangling link is no file and no folder.
    QCOMPARE(::symlink("nowhere", QFile::encodeName(root + "/dangling").constData()), 0);
    QVERIFY(!IsExistingFile(root + "/dangling"));
    QVERIFY(!PathExists(root + "/dangling"));
    QVERIFY(!FolderExists(root + "/dangling"));
}

void PathHelpersTest::attributeMapping()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    touch(root + "/plain.dwg");
    touch(root + "/.hidden.dwg");
    touch(root + "/.hidden-ro.dwg");
    QVERIFY(QFile::setPermissions(root + "/.hidden-ro.dwg", QFileDevice::ReadOwner));
    QDir(root).mkdir("sub");
    QDir(root).mkdir(".hiddensub");
    QCOMPARE(::symlink("sub", QFile::encodeName(root + "/link").constData()), 0);

    QCOMPARE(FileAttributes(root + "/plain.dwg"), std::optional<int>(Attr::Archive));
    QCOMPARE(FileAttributes(root + "/.hidden.dwg"), std::optional<int>(34));
    QCOMPARE(FileAttributes(root + "/.hidden-ro.dwg"), std::optional<int>(35));
    QCOMPARE(FileAttributes(root + "/sub"), std::optional<int>(Attr::Directory));
    QCOMPARE(FileAttributes(root + "/sub/"), std::optional<int>(Attr::Directory));
    QCOMPARE(FileAttributes(root + "/.hiddensub"), std::optional<int>(Attr::Directory + Attr::Hidden));
    QCOMPARE(FileAttributes(root + "/link"), std::optional<int>(Attr::Directory + Attr::ReparsePoint));
    QCOMPARE(FileAttributes(root + "/link/"), std::optional<int>(Attr::Directory + Attr::ReparsePoint));
    QCOMPARE(FileAttributes(root + "/missing"), std::optional<int>());

    QVERIFY(IsRootFolder("/"));
    QVERIFY(!IsRootFolder(root));
    QVERIFY(!IsRootFolder(""));
}

void PathHelpersTest::listFiles()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    touch(root + "/b.dwg");
    touch(root + "/A.DWG");
    touch(root + "/.hidden.dwg");
    touch(root + "/notes.txt");
    QDir(root).mkdir("folder.dwg");  // a folder whose name matches
    QCOMPARE(::symlink("b.dwg", QFile::encodeName(root + "/link.dwg").constData()), 0);
    QCOMPARE(::symlink("gone", QFile::encodeName(root + "/dangling.dwg").constData()), 0);

    const QStringList expected{".hidden.dwg", "A.DWG", "b.dwg", "link.dwg"};
    QCOMPARE(ListFiles(root, "*.dwg"), expected);
    QCOMPARE(ListFiles(root + "/", "*.dwg"), expected);  // with or without the final separator
    QCOMPARE(ListFiles(root, "*.txt"), QStringList{"notes.txt"});
    QVERIFY(ListFiles(root, "*.pdf").isEmpty());
    QVERIFY(ListFiles(root + "/missing", "*.*").isEmpty());

    QTemporaryDir empty;
    QVERIFY(ListFiles(empty.path(), "*.*").isEmpty());
}

void PathHelpersTest::listFilesPatterns()
{
    QVERIFY(MatchesPattern("a.dwg", "*.dwg"));
    QVERIFY(MatchesPattern("a.dwg", "*.DWG"));
    QVERIFY(!MatchesPattern("a.dwg", "*..dwg"));
    QVERIFY(MatchesPattern("a..dwg", "*..dwg"));
    QVERIFY(MatchesPattern("a.dwg", "*.*"));
    QVERIFY(MatchesPattern("README", "*.*"));  // "*.*" takes names without an extension
    QVERIFY(MatchesPattern("plan1.dwg", "plan?.dwg"));
    QVERIFY(!MatchesPattern("plan12.dwg", "plan?.dwg"));
    QVERIFY(!MatchesPattern("a.dwgx", "*.dwg"));
    QVERIFY(MatchesPattern("[x].dwg", "[x].dwg"));  // brackets are plain characters
    QVERIFY(!MatchesPattern("x.dwg", "[x].dwg"));
    QVERIFY(MatchesPattern("abcabd", "*ab?"));
}

void PathHelpersTest::killFile()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString plain = root + "/scratch.bmp";
    const QString readOnly = root + "/ro.bmp";
    touch(plain);
    touch(readOnly);
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));

    KillFile(plain);
    QVERIFY(!QFile::exists(plain));
    KillFile(readOnly);
    QVERIFY(!QFile::exists(readOnly));
    KillFile(root + "/missing.bmp");  // nothing happens, nothing is thrown
    KillFile("");

    QDir(root).mkdir("keep");
    KillFile(root + "/keep");  // a folder is not a file to delete
    QVERIFY(QFileInfo(root + "/keep").isDir());

    QCOMPARE(vbErrorNumber([&] { ForceDeleteFile(root + "/missing.bmp"); }), int(ErrNo::FileNotFound));
}

void PathHelpersTest::isInListIsExactAndCaseSensitive()
{
    const Rows rows({R"(C:\a.dwg)", R"(D:\b.dwg)", R"(C:\a.dwg)"});
    QVERIFY(IsInList(rows, R"(C:\a.dwg)"));
    QVERIFY(IsInList(rows, R"(D:\b.dwg)"));
    QVERIFY(!IsInList(rows, R"(c:\a.dwg)"));
    QVERIFY(!IsInList(rows, R"(C:\a.dwg )"));
    QVERIFY(!IsInList(Rows({}), ""));
}

void PathHelpersTest::oddCharacters()
{
    QVERIFY(!HasOddCharacters("Plans 2021 (final) - copy #2, [A]"));
    QVERIFY(!HasOddCharacters(""));
    QVERIFY(!HasOddCharacters(QString::fromUtf8("Entwürfe café")));  // accented letters
    QVERIFY(HasOddCharacters("tab\there"));
    QVERIFY(HasOddCharacters("what?"));
    QVERIFY(HasOddCharacters(QString(QChar(127))));
    QVERIFY(HasOddCharacters(QString(QChar(0x9F))));
    QVERIFY(!HasOddCharacters(QString(QChar(0xA0))));
    // A name the file system's encoding could not decode.
    QVERIFY(HasOddCharacters(QFile::decodeName(QByteArray("bad\xff\xfename"))));
}

void PathHelpersTest::subFolderNames()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char* name : {"b", "A", "c", ".hidden"})
        QDir(root).mkdir(name);
    touch(root + "/file.txt");
    QCOMPARE(SubFolderNames(root), (QStringList{".hidden", "A", "b", "c"}));
    QCOMPARE(vbErrorNumber([&] { SubFolderNames(root + "/gone"); }), int(ErrNo::PathNotFound));
}

void PathHelpersTest::desktopFolderEndsWithSeparator()
{
    const QString desktop = GetDesktopFolder();
    QVERIFY(desktop.endsWith(kSeparator));
    QVERIFY(!desktop.endsWith(QString(2, kSeparator)));
}

void PathHelpersTest::defaultOutputFolderIsOneThatExists()
{
    // A home of our own, with the user directories a desktop environment
    // writes (names in the user's language, as they often are).
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(home);
    QDir().mkpath(config);
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (hadConfig)
            qputenv("XDG_CONFIG_HOME", oldConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
    });
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    touch(config + QStringLiteral("/user-dirs.dirs"),
          "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");

    // Neither folder there: the home folder.
    QCOMPARE(DefaultOutputFolder(), home + kSeparator);
    // No desktop folder: the Pictures folder.
    QVERIFY(QDir(home).mkdir(QStringLiteral("Bilder")));
    QCOMPARE(DefaultOutputFolder(), home + QStringLiteral("/Bilder") + kSeparator);
    // The desktop folder the user directories name, not ~/Desktop.
    QVERIFY(QDir(home).mkdir(QStringLiteral("Desktop")));
    QCOMPARE(DefaultOutputFolder(), home + QStringLiteral("/Bilder") + kSeparator);
    QVERIFY(QDir(home).mkdir(QStringLiteral("Schreibtisch")));
    QCOMPARE(DefaultOutputFolder(), home + QStringLiteral("/Schreibtisch") + kSeparator);
    // Without user directories the desktop is ~/Desktop.
    QVERIFY(QFile::remove(config + QStringLiteral("/user-dirs.dirs")));
    QCOMPARE(DefaultOutputFolder(), home + QStringLiteral("/Desktop") + kSeparator);
}

QTEST_GUILESS_MAIN(PathHelpersTest)
#include "tst_pathhelpers.moc"
