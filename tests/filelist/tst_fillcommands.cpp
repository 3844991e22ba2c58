// Filling the list: the open dialog, the folder scan, the drop and the
// samples, each through the window's seams and, where files matter, on a real
// temporary folder tree.
#include "AddFiles.h"
#include "AddFolder.h"
#include "ClearList.h"
#include "DropFiles.h"
#include "FakeSeams.h"
#include "SampleFiles.h"
#include "VbError.h"

#include <QDir>
#include <QFile>
#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <unistd.h>

using namespace lumicade;
using namespace lumicade::testing;

namespace {

void touch(const QString& path)
{
    QVERIFY2(QDir().mkpath(QFileInfo(path).path()), qPrintable(path));
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write("0\nSECTION\n");
}

void link(const QString& target, const QString& at)
{
    QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0);
}

OpenFileResult chosen(const QString& folder, const QStringList& files)
{
    OpenFileResult r;
    r.cancelled = false;
    r.folder = folder;
    r.files = files;
    return r;
}

// The tree P with A (A1 (X), A2) and B (B1), one drawing in each folder.
QString makeTree(const QTemporaryDir& dir)
{
    const QString P = dir.filePath("P");
    for (const char* f : {"p.dwg", "A/a.dwg", "B/b.dwg", "A/A1/a1.dwg", "A/A2/a2.dwg", "B/B1/b1.dwg", "A/A1/X/x.dwg"})
        touch(P + "/" + f);
    return P;
}

// Runs "Add All DWG File(s) In Folder" with the given answers.
void scan(Window& w, const QString& extension, const QString& folder)
{
    w.dialogs.inputAnswer = extension;
    w.dialogs.folderAnswer = folder;
    PushButton3_Click(w.ctx);
}

QStringList relative(const QStringList& rows, const QString& base)
{
    QStringList out;
    for (const QString& row : rows)
        out.append(row.startsWith(base + "/") ? row.mid(base.size() + 1) : row);
    return out;
}

}  // namespace

class FillCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void openDialogCases();
    void openDialogAsksWithTitleAndFilter();
    void openDialogTooManyFiles();
    void openDialogOtherFailureIsReported();
    void openDialogNativeRoot();

    void folderScanBreadthFirstOrder();
    void folderScanExtensionAnswers();
    void folderScanSkipRules();
    void folderScanRunTwiceAddsTwice();
    void folderScanCancelAndSettings();
    void folderScanPointerAndYields();
    void folderScanSymlinkLoopTerminates();
    void folderScanSymlinkToSiblingVisitedOnce();
    void folderScanUnreadableFolderLeftOut();
    void folderScanFolderVanishingMidway();

    void dropFilesAsGiven();
    void dropFolderWithSubfolderAndSkips();
    void dropTwoFoldersAndEmptyFolder();
    void dropThroughTheListWidget();

    void samplesRecordAndReload();
    void samplesAbsentOrMovedStillAsk();
};

// ---------------------------------------------------------------- open dialog

void FillCommandsTest::openDialogCases()
{
    const QChar win = u'\\';
    Window w;
    w.dialogs.openAnswer = OpenFileResult{};  // cancel
    PushButton1_Click(w.ctx, win);
    QCOMPARE(w.list.Count(), 0);
    QVERIFY(w.dialogs.messages.empty());

    w.dialogs.openAnswer = chosen({}, {R"(D:\Plans\a.dwg)"});
    PushButton1_Click(w.ctx, win);
    QCOMPARE(w.rows(), QStringList{R"(D:\Plans\a.dwg)"});

    w.list.Clear();
    w.dialogs.openAnswer = chosen(R"(D:\Plans)", {"a.dwg", "b.dwg"});
    PushButton1_Click(w.ctx, win);
    QCOMPARE(w.rows(), (QStringList{R"(D:\Plans\a.dwg)", R"(D:\Plans\b.dwg)"}));

    w.list.Clear();
    w.dialogs.openAnswer = chosen(R"(C:\)", {"a.dwg", "b.dwg"});
    PushButton1_Click(w.ctx, win);
    QCOMPARE(w.rows(), (QStringList{R"(C:\a.dwg)", R"(C:\b.dwg)"}));

    w.list.Clear();
    w.dialogs.openAnswer = chosen(R"(\\server\share\plans)", {"a.dwg", "b.dwg"});
    PushButton1_Click(w.ctx, win);
    QCOMPARE(w.rows(), (QStringList{R"(\\server\share\plans\a.dwg)", R"(\\server\share\plans\b.dwg)"}));

    // A single file is taken exactly as returned, even with a doubled separator.
    w.list.Clear();
    w.dialogs.openAnswer = chosen({}, {R"(\\server\share\\x.dwg)"});
    PushButton1_Click(w.ctx, win);
    PushButton1_Click(w.ctx, win);  // the same file twice: two rows
    QCOMPARE(w.rows(), (QStringList{R"(\\server\share\\x.dwg)", R"(\\server\share\\x.dwg)"}));
    QVERIFY(w.dialogs.messages.empty());
}

void FillCommandsTest::openDialogAsksWithTitleAndFilter()
{
    Window w;
    PushButton1_Click(w.ctx);
    QCOMPARE(w.dialogs.openRequests.size(), size_t(1));
    const OpenFileRequest& r = w.dialogs.openRequests.front();
    QCOMPARE(r.title, QString("Add File(s) - Hold Ctrl or Shift to select multiple files"));
    QCOMPARE(r.filter, QString("All DWG (*.dwg)|*.dwg|DWG and DXF (*.dwg *.dxf)|*.dwg;*.dxf"));
    QVERIFY(r.multiSelect);
    QVERIFY(r.initialDir.isEmpty());
}

void FillCommandsTest::openDialogTooManyFiles()
{
    Window w;
    w.dialogs.openAnswer.errorNumber = ErrNo::BufferTooSmall;
    PushButton1_Click(w.ctx);
    QCOMPARE(w.list.Count(), 0);
    QCOMPARE(w.dialogs.messages.size(), size_t(1));
    const ShownMessage& m = w.dialogs.messages.front();
    QCOMPARE(m.text, QString("You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."));
    QCOMPARE(m.buttons, int(MsgBox::OkOnly));
    QVERIFY(m.title.isEmpty());  // the application title
}

void FillCommandsTest::openDialogOtherFailureIsReported()
{
    Window w;
    w.dialogs.openAnswer.errorNumber = ErrNo::InvalidProcedureCall;
    PushButton1_Click(w.ctx);
    QCOMPARE(w.dialogs.reports().size(), 1);
    QVERIFY(w.dialogs.reports().first().contains("\r\nin Kestrane2021/08/31.Form1.PushButton1_Click at line 112\r\r"));
    QCOMPARE(w.list.Count(), 0);
}

void FillCommandsTest::openDialogNativeRoot()
{
    if (kSeparator != u'/')
        QSKIP("POSIX separator only");
    Window w;
    w.dialogs.openAnswer = chosen("/", {"a.dwg", "b.dwg"});
    PushButton1_Click(w.ctx);
    QCOMPARE(w.rows(), (QStringList{"/a.dwg", "/b.dwg"}));
}

// ---------------------------------------------------------------- folder scan

void FillCommandsTest::folderScanBreadthFirstOrder()
{
    QTemporaryDir dir;
    const QString P = makeTree(dir);
    Window w;

    QStringList folders{P + "/"};
    GetSubDirectories2016(w.ctx, folders, true);
    QCOMPARE(relative(folders, P), (QStringList{"", "A/", "B/", "A/A1/", "A/A2/", "B/B1/", "A/A1/X/"}));

    scan(w, "dwg", P);
    QCOMPARE(relative(w.rows(), P),
             (QStringList{"p.dwg", "A/a.dwg", "B/b.dwg", "A/A1/a1.dwg", "A/A2/a2.dwg", "B/B1/b1.dwg", "A/A1/X/x.dwg"}));
    QVERIFY(w.dialogs.messages.empty());

    // Without recursion only the first level is found.
    QStringList flat{P + "/"};
    GetSubDirectories2016(w.ctx, flat, false);
    QCOMPARE(relative(flat, P), (QStringList{"", "A/", "B/"}));
}

void FillCommandsTest::folderScanExtensionAnswers()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    for (const char* f : {"a.dwg", "B.DWG", "notes.txt", "README", "sub/c.dwg"})
        touch(P + "/" + f);

    struct Case {
        const char* answer;
        QStringList rows;
    };
    const Case cases[] = {
        {"*", {"a.dwg", "B.DWG", "notes.txt", "README", "sub/c.dwg"}},
        {"txt", {"notes.txt"}},
        {"DWG", {"a.dwg", "B.DWG", "sub/c.dwg"}},
        {".dwg", {}},
    };
    for (const Case& c : cases) {
        Window w;
        scan(w, c.answer, P);
        QCOMPARE(relative(w.rows(), P), c.rows);
        QCOMPARE(w.settings->GetSetting("Extension", "dwg"), QString(c.answer));
    }
}

void FillCommandsTest::folderScanSkipRules()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/a.dwg");
    touch(P + "/~lock.dwg");            // "~" prefix
    touch(P + "/.hidden.dwg");          // hidden and archived: 34
    touch(P + "/.hidden-ro.dwg");       // hidden, read-only, archived: 35
    QVERIFY(QFile::setPermissions(P + "/.hidden-ro.dwg", QFileDevice::ReadOwner));
    touch(P + "/what?/q.dwg");          // "?" in a folder name
    touch(P + "/tab\there/t.dwg");      // a control character
    QVERIFY(QDir().mkpath(QFile::decodeName(QFile::encodeName(P) + "/bad\xff/deep")));
    touch(QFile::decodeName(QFile::encodeName(P) + "/bad\xff/b.dwg"));  // undecodable name
    touch(P + "/.hiddenfolder/h.dwg");  // an ordinary hidden folder is descended
    touch(P + "/ok/~x.dwg");

    Window w;
    scan(w, "dwg", P);
    QCOMPARE(relative(w.rows(), P), (QStringList{".hidden-ro.dwg", "a.dwg", ".hiddenfolder/h.dwg"}));
    QVERIFY(w.dialogs.messages.empty());

    // The chosen folder itself is not checked for odd characters.
    Window w2;
    scan(w2, "dwg", P + "/what?");
    QCOMPARE(relative(w2.rows(), P), QStringList{"what?/q.dwg"});
}

void FillCommandsTest::folderScanRunTwiceAddsTwice()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/a.dwg");
    touch(P + "/s/b.dwg");
    Window w;
    scan(w, "dwg", P);
    scan(w, "dwg", P);
    QCOMPARE(relative(w.rows(), P), (QStringList{"a.dwg", "s/b.dwg", "a.dwg", "s/b.dwg"}));

    // A tree without a matching file adds nothing and leaves the pointer at 0.
    Window w2;
    scan(w2, "pdf", P);
    QCOMPARE(w2.list.Count(), 0);
    QCOMPARE(w2.pointer, int(MousePointer::Default));
}

void FillCommandsTest::folderScanCancelAndSettings()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/a.dwg");
    Window w;

    // Cancel at the prompt: nothing stored, nothing asked, nothing added.
    w.dialogs.inputAnswer = std::nullopt;
    PushButton3_Click(w.ctx);
    QCOMPARE(w.dialogs.inputDefaults, QStringList{"dwg"});
    QVERIFY(w.dialogs.inputPrompts.first().startsWith("Enter file extension to load:\r\r(* for all files"));
    QVERIFY(w.dialogs.browsePrompts.isEmpty());
    QCOMPARE(w.settings->GetSetting("Extension", "<none>"), QString("<none>"));

    // Cancel in the picker: the extension stays stored.
    w.dialogs.inputAnswer = "txt";
    w.dialogs.folderAnswer.clear();
    PushButton3_Click(w.ctx);
    QCOMPARE(w.settings->GetSetting("Extension", "dwg"), QString("txt"));
    QCOMPARE(w.dialogs.browsePrompts, QStringList{"Please select folder:"});
    QCOMPARE(w.dialogs.browseStarts, QStringList{""});
    QCOMPARE(w.settings->GetSetting("LastFolder", "<none>"), QString("<none>"));
    QCOMPARE(w.list.Count(), 0);

    // A completed scan remembers the folder, which starts the picker next time.
    scan(w, "dwg", P);
    QCOMPARE(w.settings->GetSetting("LastFolder", ""), P);
    QCOMPARE(w.dialogs.inputDefaults.last(), QString("txt"));
    w.dialogs.inputAnswer = std::nullopt;
    w.dialogs.inputAnswer = "dwg";
    w.dialogs.folderAnswer.clear();
    PushButton3_Click(w.ctx);
    QCOMPARE(w.dialogs.browseStarts.last(), P);
}

void FillCommandsTest::folderScanPointerAndYields()
{
    QTemporaryDir dir;
    const QString P = makeTree(dir);
    Window w;
    scan(w, "dwg", P);
    QCOMPARE(w.pointerHistory, (QList<int>{MousePointer::Hourglass, MousePointer::Default}));
    // 114: once per folder of each pass (1 + 2 + 3 + 1); 120: once per
    // subfolder found (2 + 3 + 1); 156: once per entry of each pass's found
    // list, which by then holds everything found below it (6 + 4 + 1).
    QCOMPARE(w.yields, 7 + 6 + 11);
    QVERIFY(!w.pointersSeenWhileYielding.contains(MousePointer::Default));
}

void FillCommandsTest::folderScanSymlinkLoopTerminates()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/p.dwg");
    touch(P + "/A/a.dwg");
    link("..", P + "/A/up");      // back to P
    link(P, P + "/A/again");      // back to P, by full path
    link(".", P + "/A/self");     // A itself
    Window w;
    scan(w, "dwg", P);
    QCOMPARE(relative(w.rows(), P), (QStringList{"p.dwg", "A/a.dwg"}));
}

void FillCommandsTest::folderScanSymlinkToSiblingVisitedOnce()
{
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/B/b.dwg");
    link("B", P + "/A");  // a link listed before its target
    touch(dir.filePath("outside/o.dwg"));
    link(dir.filePath("outside"), P + "/C");  // a link out of the tree is followed
    Window w;
    scan(w, "dwg", P);
    QCOMPARE(relative(w.rows(), P), (QStringList{"A/b.dwg", "C/o.dwg"}));
}

void FillCommandsTest::folderScanUnreadableFolderLeftOut()
{
    if (::geteuid() == 0)
        QSKIP("folder permissions do not bind the super-user");
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/a.dwg");
    touch(P + "/locked/l.dwg");
    touch(P + "/open/o.dwg");
    QVERIFY(QFile::setPermissions(P + "/locked", QFileDevice::WriteOwner));
    Window w;
    scan(w, "dwg", P);
    QFile::setPermissions(P + "/locked", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(relative(w.rows(), P), (QStringList{"a.dwg", "open/o.dwg"}));
    QVERIFY(w.dialogs.messages.empty());
}

void FillCommandsTest::folderScanFolderVanishingMidway()
{
    // The scan yields before it looks into each folder; a folder removed at
    // that moment is dropped from the list once the first folder of the pass
    // has been listed, and reported before that.
    QTemporaryDir dir;
    const QString P = dir.filePath("P");
    touch(P + "/A/a.dwg");
    touch(P + "/B/b.dwg");
    touch(P + "/B/C/c.dwg");

    Window w;
    int yields = 0;
    // Yields: P at 114, A and B at 120, then the nested pass: A at 114, B at 114.
    w.ctx.yield = [&] {
        if (++yields == 5)
            QDir(P + "/B").removeRecursively();
    };
    QStringList folders{P + "/"};
    GetSubDirectories2016(w.ctx, folders, true);
    QCOMPARE(relative(folders, P), (QStringList{"", "A/"}));
    QVERIFY(w.dialogs.messages.empty());

    // The chosen folder itself gone before its subfolders were listed.
    touch(P + "/B/b.dwg");
    Window w2;
    w2.ctx.yield = [&] { QDir(P).removeRecursively(); };
    QStringList gone{P + "/"};
    GetSubDirectories2016(w2.ctx, gone, true);
    QCOMPARE(gone, QStringList{P + "/"});
    QCOMPARE(w2.dialogs.reports().size(), 1);
    QVERIFY(w2.dialogs.reports().first().startsWith(
        "Path not found\r\nin OrvelleTitle2021/08/31.AddFolder.GetSubDirectories2016 at line 116\r\r"));
}

// ---------------------------------------------------------------- drop

void FillCommandsTest::dropFilesAsGiven()
{
    Window w;
    DropPaths(w.ctx, {"/nowhere/a.dwg", "/nowhere/notes.txt"});
    DropPaths(w.ctx, {"/nowhere/a.dwg"});
    QCOMPARE(w.rows(), (QStringList{"/nowhere/a.dwg", "/nowhere/notes.txt", "/nowhere/a.dwg"}));
}

void FillCommandsTest::dropFolderWithSubfolderAndSkips()
{
    QTemporaryDir dir;
    const QString D = dir.filePath("D");
    touch(D + "/a.dwg");
    touch(D + "/~lock.dwg");
    touch(D + "/.hidden");
    touch(D + "/z.txt");
    touch(D + "/sub/b.pdf");
    Window w;
    DropPaths(w.ctx, {D});
    QCOMPARE(relative(w.rows(), D), (QStringList{"a.dwg", "z.txt", "sub/b.pdf"}));

    // A dropped folder with its final separator gives the same rows.
    w.list.Clear();
    DropPaths(w.ctx, {D + "/"});
    QCOMPARE(relative(w.rows(), D), (QStringList{"a.dwg", "z.txt", "sub/b.pdf"}));
}

void FillCommandsTest::dropTwoFoldersAndEmptyFolder()
{
    QTemporaryDir dir;
    const QString A = dir.filePath("A"), B = dir.filePath("B"), E = dir.filePath("E");
    touch(A + "/1.dwg");
    touch(A + "/in/2.dwg");
    touch(B + "/3.dwg");
    QVERIFY(QDir().mkpath(E));
    Window w;
    DropPaths(w.ctx, {A, B});
    QCOMPARE(relative(w.rows(), dir.path()), (QStringList{"A/1.dwg", "A/in/2.dwg", "B/3.dwg"}));
    w.list.Clear();
    DropPaths(w.ctx, {E});
    QCOMPARE(w.list.Count(), 0);
}

void FillCommandsTest::dropThroughTheListWidget()
{
    QTemporaryDir dir;
    touch(dir.filePath("F/a.dwg"));
    Window w;
    ConnectFileList(w.ctx);
    w.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.list));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath("F")), QUrl::fromLocalFile("/nowhere/b.dwg"),
                  QUrl("https://example.com/c.dwg")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.list.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.list.viewport(), &drop);
    QCOMPARE(relative(w.rows(), dir.path()), (QStringList{"F/a.dwg", "/nowhere/b.dwg"}));
}

// ---------------------------------------------------------------- samples

void FillCommandsTest::samplesRecordAndReload()
{
    QTemporaryDir dir;
    const QString program = dir.filePath("prog");
    touch(program + "/Samples/a.dwg");
    touch(program + "/Samples/b.dwg");
    QVERIFY(QDir().mkpath(program + "/Samples/sub"));
    Window w;
    w.shell.program = program;

    RecordSampleFiles(w.ctx);
    const QString a = program + "/Samples/a.dwg", b = program + "/Samples/b.dwg";
    QCOMPARE(w.settings->GetSetting("Snapshot", ""), a + "|" + b);

    // One path already listed exactly, the other in other letter case.
    w.list.Append(a);
    w.list.Append(program + "/Samples/B.DWG");
    w.dialogs.answers = {MsgBox::ResultYes};
    PushButton8_Click(w.ctx);
    QCOMPARE(w.rows(), (QStringList{a, program + "/Samples/B.DWG", b}));
    QCOMPARE(w.dialogs.messages.size(), size_t(1));
    const ShownMessage& question = w.dialogs.messages.front();
    QVERIFY(question.text.startsWith("Would you like this software to open the folder"));
    QCOMPARE(question.buttons, int(MsgBox::YesNo));
    QVERIFY(question.title.isEmpty());
    QCOMPARE(w.shell.opened, QStringList{program + "/Samples/"});

    // Loading again adds nothing, asks again; No opens nothing.
    w.dialogs.answers = {MsgBox::ResultNo};
    PushButton8_Click(w.ctx);
    QCOMPARE(w.list.Count(), 3);
    QCOMPARE(w.dialogs.messages.size(), size_t(2));
    QCOMPARE(w.shell.opened.size(), 1);

    // A sample removed later is passed over.
    QFile::remove(a);
    w.list.Clear();
    PushButton8_Click(w.ctx);
    QCOMPARE(w.rows(), QStringList{b});
}

void FillCommandsTest::samplesAbsentOrMovedStillAsk()
{
    QTemporaryDir dir;
    Window w;
    w.shell.program = dir.filePath("prog");  // no Samples folder
    RecordSampleFiles(w.ctx);
    QCOMPARE(w.settings->GetSetting("Snapshot", "<none>"), QString());
    PushButton8_Click(w.ctx);
    QCOMPARE(w.list.Count(), 0);
    QCOMPARE(w.dialogs.messages.size(), size_t(1));

    // Recorded in an old place: nothing added, and Yes opens the current folder.
    w.settings->SaveSetting("Snapshot", dir.filePath("old/Samples/a.dwg"));
    w.dialogs.answers = {MsgBox::ResultYes};
    PushButton8_Click(w.ctx);
    QCOMPARE(w.list.Count(), 0);
    QCOMPARE(w.shell.opened, QStringList{dir.filePath("prog") + "/Samples/"});
}

QTEST_MAIN(FillCommandsTest)
#include "tst_fillcommands.moc"
