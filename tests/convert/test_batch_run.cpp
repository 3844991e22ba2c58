// "Start Converting" with the scripted CAD application and real files in a
// temporary folder.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "ConvertTestSupport.h"
#include "convert/BatchContext.h"

using namespace lumicade;
using namespace lumicade::testing;

namespace {

const QString kNoCad = QStringLiteral(
    "A valid version of AutoCAD was not found on this computer. You need to have it installed to use this "
    "software.\r\n\r\nNote: You must install a version of AutoCAD that supports VBA. VBA is not supported in "
    "AutoCAD LT for example.");
const QString kNoFolder = QStringLiteral("Folder does not exist. Please select another folder.");

// The colour a JPEG mostly shows (its centre pixel is enough for flat fills).
QColor centreOf(const QString& path)
{
    const QImage image(path);
    if (image.isNull())
        return {};
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor& a, const QColor& b)
{
    return a.isValid() && std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24
        && std::abs(a.blue() - b.blue()) < 24;
}

QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

class BatchRun : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDialogs dialogs;
    ScriptedCad cad;
    FakeForm form{dialogs, cad};

    QString path(const QString& relative) const { return dir.filePath(relative); }

    // A drawing file on disk (its content matters only to the real engine).
    QString addDrawing(const QString& relative, QColor colour = Qt::white)
    {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("drawing");
        cad.colours[p] = colour;
        form.rows << p;
        return p;
    }
    void run() { PushButton2_Click(form); }
};

TEST_F(BatchRun, PreconditionsSpeakInOrderAndTouchNothing)
{
    // CAD missing beats an empty list and a missing folder.
    form.available = false;
    form.opt1 = true;
    form.opt2 = false;
    form.folderText = path(QStringLiteral("nowhere"));
    run();
    EXPECT_EQ(dialogs.texts(), QStringList{kNoCad});

    // Then the empty list, whatever the options.
    form.available = true;
    run();
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("No files added."));

    // Then the output folder: missing, a file, or nothing at all.
    addDrawing(QStringLiteral("site.dwg"));
    for (const QString& text : {path(QStringLiteral("nowhere")), path(QStringLiteral("site.dwg")), QString()}) {
        form.folderText = text;
        run();
        EXPECT_EQ(dialogs.texts().last(), kNoFolder) << text.toStdString();
    }
    EXPECT_EQ(dialogs.messages.size(), 5u);
    for (const auto& box : dialogs.messages) {
        EXPECT_EQ(box.buttons, MsgBox::OkOnly);
        EXPECT_TRUE(box.title.isEmpty());
    }
    EXPECT_TRUE(cad.log.isEmpty());
    EXPECT_FALSE(form.running);
    EXPECT_TRUE(form.pointers.empty());
    EXPECT_TRUE(form.progressValues.empty());
    EXPECT_TRUE(form.progressTexts.isEmpty());

    // With Option2 the folder text is not looked at.
    form.opt1 = false;
    form.opt2 = true;
    run();
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("site.jpg"))));
}

TEST_F(BatchRun, OutputPlacesForEachOption)
{
    const QString drawing = addDrawing(QStringLiteral("plans/site.final.dwg"), Qt::blue);
    QDir().mkpath(path(QStringLiteral("out")));

    struct Case {
        bool opt1, opt2;
        QString folderText;
        QString expected;
    };
    const Case cases[] = {
        {false, true, QString(), QStringLiteral("plans/site.final.jpg")},
        {true, false, path(QStringLiteral("out")) + u'/', QStringLiteral("out/site.final.jpg")},
        {true, false, path(QStringLiteral("out")), QStringLiteral("out/site.final.jpg")},
        {false, false, path(QStringLiteral("out")), QStringLiteral("plans/site.final.jpg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        QFile::remove(path(QStringLiteral("plans/site.final.jpg")));
        QFile::remove(path(QStringLiteral("out/site.final.jpg")));
        cad.log.clear();
        form.opt1 = c.opt1;
        form.opt2 = c.opt2;
        form.folderText = c.folderText;
        run();
        EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));
        EXPECT_EQ(dialogs.reportCount(), 0);
        EXPECT_TRUE(near(centreOf(path(c.expected)), Qt::blue));

        // The bitmap is exported beside the drawing and gone afterwards.
        ASSERT_EQ(cad.exportNames().size(), 1);
        const QString exported = cad.exportNames().first();
        EXPECT_EQ(QFileInfo(exported).absolutePath(), path(QStringLiteral("plans")));
        EXPECT_FALSE(QFileInfo::exists(exported + QStringLiteral(".bmp")));
        EXPECT_EQ(cad.log.indexOf(QStringLiteral("Open ") + drawing), 4);
    }
    // Nothing else was left anywhere (the last case wrote beside the drawing).
    EXPECT_EQ(filesUnder(dir.path()),
              (QStringList{QStringLiteral("plans/site.final.dwg"), QStringLiteral("plans/site.final.jpg")}));
}

TEST_F(BatchRun, ProgressCourseAndIdleAfterwards)
{
    for (const char* name : {"a.dwg", "b.dwg", "c.dwg", "d.dwg"})
        addDrawing(QString::fromLatin1(name));
    std::vector<int> pointerAtYield;
    form.onYield = [&] { pointerAtYield.push_back(form.pointer); };
    run();

    EXPECT_EQ(form.progressValues, (std::vector<int>{25, 50, 75, 100, 0}));
    EXPECT_EQ(form.progressTexts,
              (QStringList{QStringLiteral("Processing: a.dwg"), QStringLiteral("Processing: b.dwg"),
                           QStringLiteral("Processing: c.dwg"), QStringLiteral("Processing: d.dwg"),
                           QStringLiteral("Progress Bar")}));
    EXPECT_EQ(pointerAtYield, (std::vector<int>{11, 11, 11, 11}));
    EXPECT_EQ(form.pointer, 0);
    EXPECT_EQ(form.progress, 0);
    EXPECT_EQ(form.barText, QStringLiteral("Progress Bar"));
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_FALSE(form.running);
    EXPECT_EQ(cad.count(QStringLiteral("Quit")), 4);
}

TEST_F(BatchRun, RowsAddedDuringTheRunCountButAreNotConverted)
{
    addDrawing(QStringLiteral("a.dwg"));
    addDrawing(QStringLiteral("b.dwg"));
    bool added = false;
    form.onYield = [&] {
        if (!added) {
            added = true;
            addDrawing(QStringLiteral("c.dwg"));
            addDrawing(QStringLiteral("d.dwg"));
        }
    };
    run();
    EXPECT_EQ(form.progressValues, (std::vector<int>{50, 50, 0}));
    EXPECT_EQ(cad.count(QStringLiteral("Open ")), 2);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("c.jpg"))));
}

TEST_F(BatchRun, SecondPressDuringARunDoesNothing)
{
    addDrawing(QStringLiteral("a.dwg"));
    addDrawing(QStringLiteral("b.dwg"));
    form.onYield = [&] { PushButton2_Click(form); };
    run();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(cad.count(QStringLiteral("Open ")), 2);
    EXPECT_EQ(form.progressValues, (std::vector<int>{50, 100, 0}));
    EXPECT_FALSE(form.running);
}

TEST_F(BatchRun, FailedDrawingsAreReportedSkippedAndNeverGetAnotherPicture)
{
    addDrawing(QStringLiteral("first.dwg"), Qt::red);
    const QString broken = addDrawing(QStringLiteral("broken.dwg"), Qt::green);
    const QString empty = addDrawing(QStringLiteral("empty.dwg"), Qt::green);
    addDrawing(QStringLiteral("last.dwg"), Qt::blue);
    cad.failOpen << broken;
    cad.exportWritesNothing << empty;
    run();

    // The export reports its five steps; the run then meets the missing bitmap.
    EXPECT_EQ(dialogs.reportLines(kExportLocation), (std::vector<int>{116, 120, 122, 124, 126}));
    EXPECT_EQ(dialogs.reportLines(kBatchLocation), (std::vector<int>{134, 134}));
    EXPECT_TRUE(dialogs.texts()[5].startsWith(QStringLiteral("File not found\r\n")));
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));

    EXPECT_TRUE(near(centreOf(path(QStringLiteral("first.jpg"))), Qt::red));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("broken.jpg"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("empty.jpg"))));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("last.jpg"))), Qt::blue));
    EXPECT_EQ(cad.count(QStringLiteral("Quit")), 4);
}

TEST_F(BatchRun, CadLostAfterStartUpReportsEachDrawingAndCarriesOn)
{
    addDrawing(QStringLiteral("a.dwg"));
    addDrawing(QStringLiteral("b.dwg"));
    cad.createFails = true;
    run();
    EXPECT_EQ(dialogs.texts().filter(QStringLiteral("Error opening AutoCAD")).size(), 2);
    EXPECT_EQ(dialogs.reportLines(kExportLocation), std::vector<int>{});
    EXPECT_EQ(dialogs.reportLines(kBatchLocation), (std::vector<int>{134, 134}));
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));
    EXPECT_EQ(filesUnder(dir.path()), (QStringList{QStringLiteral("a.dwg"), QStringLiteral("b.dwg")}));
}

TEST_F(BatchRun, NamesWithoutExtension)
{
    // No dot in the file name: nothing can be named after it. A dot in a
    // folder name does not count, so nothing lands one level up.
    addDrawing(QStringLiteral("plain"));
    addDrawing(QStringLiteral("my.plans/site"));
    addDrawing(QStringLiteral("ok.dwg"), Qt::red);
    run();
    EXPECT_EQ(dialogs.reportLines(kBatchLocation), (std::vector<int>{132, 132}));
    EXPECT_EQ(cad.count(QStringLiteral("Open ")), 1);
    EXPECT_EQ(filesUnder(dir.path()),
              (QStringList{QStringLiteral("my.plans/site"), QStringLiteral("ok.dwg"), QStringLiteral("ok.jpg"),
                           QStringLiteral("plain")}));
}

TEST_F(BatchRun, FilesBesideTheDrawingSurvive)
{
    const QString drawing = addDrawing(QStringLiteral("site.dwg"), Qt::blue);
    // The user's own picture under the name the bitmap would once have had.
    QImage own(8, 8, QImage::Format_RGB32);
    own.fill(Qt::red);
    ASSERT_TRUE(own.save(path(QStringLiteral("site.bmp")), "BMP"));
    QFile f(path(QStringLiteral("site.bmp")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    run();
    run();  // a second run replaces the JPEG silently

    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("site.jpg"))), Qt::blue));
    EXPECT_EQ(dialogs.texts(), (QStringList{QStringLiteral("Done."), QStringLiteral("Done.")}));
    EXPECT_EQ(filesUnder(dir.path()),
              (QStringList{QStringLiteral("site.bmp"), QStringLiteral("site.dwg"), QStringLiteral("site.jpg")}));
    Q_UNUSED(drawing);
}

TEST_F(BatchRun, ClosingTheWindowStopsTheRunWithoutLeftovers)
{
    addDrawing(QStringLiteral("a.dwg"));
    addDrawing(QStringLiteral("b.dwg"));
    addDrawing(QStringLiteral("c.dwg"));

    // Closed while the second drawing's name is on the bar.
    form.onYield = [&] { form.closed = form.yields == 2; };
    run();
    EXPECT_EQ(filesUnder(dir.path()),
              (QStringList{QStringLiteral("a.dwg"), QStringLiteral("a.jpg"), QStringLiteral("b.dwg"),
                           QStringLiteral("c.dwg")}));
    EXPECT_EQ(cad.count(QStringLiteral("Open ")), 1);
    EXPECT_TRUE(dialogs.messages.empty()) << "no Done. after the window closed";
    EXPECT_FALSE(form.running);
}

TEST_F(BatchRun, ReadOnlyDrawingFolderExportsThroughTheTemporaryFolder)
{
    addDrawing(QStringLiteral("locked/site.dwg"), Qt::blue);
    QDir().mkpath(path(QStringLiteral("out")));
    QFile::setPermissions(path(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
    const auto unlock = qScopeGuard([&] {
        QFile::setPermissions(path(QStringLiteral("locked")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (QFileInfo(path(QStringLiteral("locked"))).isWritable())
        GTEST_SKIP() << "permissions are not enforced for this user";

    form.opt1 = true;
    form.opt2 = false;
    form.folderText = path(QStringLiteral("out"));
    run();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site.jpg"))), Qt::blue));
    ASSERT_EQ(cad.exportNames().size(), 1);
    EXPECT_EQ(QFileInfo(cad.exportNames().first()).absolutePath(), QDir(QDir::tempPath()).absolutePath());
    EXPECT_FALSE(QFileInfo::exists(cad.exportNames().first() + QStringLiteral(".bmp")));

    // Beside the drawing, it is the picture that cannot be saved, not the
    // scratch file.
    dialogs.messages.clear();
    form.opt1 = false;
    form.opt2 = true;
    run();
    const QString said = dialogs.texts().join(QLatin1Char('\n'));
    EXPECT_TRUE(said.contains(QStringLiteral("Cannot save the image"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral(".lumicade-"))) << said.toStdString();
}

TEST_F(BatchRun, SameNamedDrawingsIntoOneFolderKeepEveryPicture)
{
    addDrawing(QStringLiteral("north/site.dwg"), Qt::red);
    addDrawing(QStringLiteral("south/site.dwg"), Qt::green);
    addDrawing(QStringLiteral("south/site.dxf"), Qt::blue);
    form.rows << form.rows[1];  // listed twice: still one picture renamed
    form.opt1 = true;
    form.opt2 = false;
    QDir().mkpath(path(QStringLiteral("out")));
    form.folderText = path(QStringLiteral("out")) + QLatin1Char('/');

    run();
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site.jpg"))), Qt::red));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site (2).jpg"))), Qt::green));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site (3).jpg"))), Qt::blue));
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts().first().startsWith(QStringLiteral("Done.\r\n\r\n2 pictures were given a new name")))
        << dialogs.texts().first().toStdString();

    // A second run replaces the first run's pictures under the same names,
    // without a prompt and without new names.
    cad.colours[form.rows[0]] = Qt::blue;
    cad.colours[form.rows[1]] = Qt::red;
    cad.colours[form.rows[2]] = Qt::green;
    run();
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site.jpg"))), Qt::blue));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site (2).jpg"))), Qt::red));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site (3).jpg"))), Qt::green));
    EXPECT_EQ(filesUnder(path(QStringLiteral("out"))),
              (QStringList{QStringLiteral("site (2).jpg"), QStringLiteral("site (3).jpg"), QStringLiteral("site.jpg")}));
}

TEST_F(BatchRun, NameClashesAreFoundThroughEverySpellingOfTheFolder)
{
    // The folder itself, reached through a link, and the drawing's own
    // folder: all one folder, so the second picture still gets a name of its own.
    QDir().mkpath(path(QStringLiteral("out")));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("out")), path(QStringLiteral("link"))));
    addDrawing(QStringLiteral("a/site.dwg"), Qt::red);
    addDrawing(QStringLiteral("out/site.dwg"), Qt::green);
    form.opt1 = true;
    form.opt2 = false;
    form.folderText = path(QStringLiteral("link")) + QStringLiteral("//");
    run();
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site.jpg"))), Qt::red));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site (2).jpg"))), Qt::green));

    // Beside each drawing nothing clashes; the same drawing listed twice
    // simply gives its picture again under its own name.
    dialogs.messages.clear();
    form.rows.removeFirst();
    form.rows << form.rows.first();
    form.opt1 = false;
    form.opt2 = true;
    run();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(filesUnder(path(QStringLiteral("out"))),
              (QStringList{QStringLiteral("site (2).jpg"), QStringLiteral("site.dwg"), QStringLiteral("site.jpg")}));
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("out/site.jpg"))), Qt::green));
}

}  // namespace

TEST_F(BatchRun, ALinkWhereAPictureGoesIsReplacedAndOldTemporaryFilesGo)
{
    // Beside the drawing, in a shared folder: a link planted at the
    // picture's name that leads out of the batch.
    QDir().mkpath(path(QStringLiteral("elsewhere")));
    QFile keep(path(QStringLiteral("elsewhere/keep.dwg")));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("kept drawing");
    keep.close();
    addDrawing(QStringLiteral("shared/site.dwg"), Qt::red);
    ASSERT_TRUE(QFile::link(QStringLiteral("../elsewhere/keep.dwg"), path(QStringLiteral("shared/site.jpg"))));
    // And a temporary file a run left there two days ago, beside one of today.
    const QString stale = path(QStringLiteral("shared/.lumicade-999999-0.tmp"));
    const QString fresh = path(QStringLiteral("shared/.lumicade-999999-1.tmp"));
    for (const QString& p : {stale, fresh}) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (p == stale) {
            ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        }
    }
    form.opt1 = false;
    form.opt2 = true;
    run();
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    ASSERT_TRUE(keep.open(QIODevice::ReadOnly));
    EXPECT_EQ(keep.readAll(), QByteArray("kept drawing"));
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("shared/site.jpg"))).isSymLink());
    EXPECT_TRUE(near(centreOf(path(QStringLiteral("shared/site.jpg"))), Qt::red));
}
