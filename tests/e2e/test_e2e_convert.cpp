// "Start Converting" with the built-in engine on the shared sample drawings:
// every drawing the engine can read comes out as a JPEG of the rendered size.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <sys/wait.h>

#include "ConvertTestSupport.h"
#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "convert/BatchContext.h"
#include "convert/CadExport.h"
#include "convert/EngineCadApplication.h"
#include "convert/WorkerDrawings.h"

using namespace lumicade;
using namespace lumicade::testing;

namespace {

const QString kDrawings = QStringLiteral(LUMICADE_DRAWINGS_DIR);

// Copies of the samples in a folder of our own, so the run writes nothing
// next to the shared originals.
class EngineRun : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDialogs dialogs;
    EngineCadAutomation engine;
    FakeForm form{dialogs, engine};

    QString addSample(const QString& name)
    {
        const QString copy = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(kDrawings + u'/' + name, copy)) << name.toStdString();
        form.rows << copy;
        return copy;
    }

    static QSize renderedSize(const QString& path)
    {
        return cad::render::renderDrawing(cad::readDrawingFile(QFile::encodeName(path).toStdString())).size();
    }

    static QSize jpegSize(const QString& path)
    {
        QImageReader reader(path, "JPG");
        const QImage image = reader.read();
        return image.isNull() ? QSize() : image.size();
    }
};

TEST_F(EngineRun, EngineIsAlwaysAvailableAndNeverAttaches)
{
    EXPECT_TRUE(CheckAutoCADAvailable(dialogs, engine));
    EXPECT_THROW(engine.GetObject(QString::fromLatin1(kCadClassId)), VbError);
    EXPECT_THROW(engine.CreateObject(QStringLiteral("Other.Application")), VbError);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EngineRun, DxfSamplesBecomeJpegsOfTheRenderedSize)
{
    const QStringList names{QStringLiteral("example_2000.dxf"), QStringLiteral("example_r12.dxf"),
                            QStringLiteral("sample_2018.dxf"), QStringLiteral("example_2018.dxf")};
    for (const QString& name : names)
        addSample(name);
    form.quality = 75;
    PushButton2_Click(form);

    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString drawing = dir.filePath(name);
        const QString jpeg = drawing.left(drawing.size() - 3) + QStringLiteral("jpg");
        const QSize expected = renderedSize(drawing);
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(jpegSize(jpeg), expected);
    }
    // Only the drawings and their pictures: no scratch bitmap is left.
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left.size(), 2 * names.size()) << left.join(u' ').toStdString();
}

TEST_F(EngineRun, DwgSamplesConvertWhereverTheReaderCanOpenThem)
{
    const QStringList names{QStringLiteral("example_r14.dwg"), QStringLiteral("example_2000.dwg"),
                            QStringLiteral("example_2004.dwg"), QStringLiteral("example_2007.dwg"),
                            QStringLiteral("example_2010.dwg"), QStringLiteral("example_2013.dwg"),
                            QStringLiteral("example_2018.dwg"), QStringLiteral("sample_2000.dwg")};
    QStringList readable;
    for (const QString& name : names) {
        const QString copy = addSample(name);
        try {
            cad::readDrawingFile(QFile::encodeName(copy).toStdString());
            readable << name;
        } catch (const std::exception&) {
        }
    }
    PushButton2_Click(form);
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));

    // A drawing the engine cannot open is reported, never pictured.
    const auto reports = dialogs.reportLines(kExportLocation);
    EXPECT_EQ(std::count(reports.begin(), reports.end(), 116), names.size() - readable.size());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString jpeg = dir.filePath(name.left(name.size() - 3) + QStringLiteral("jpg"));
        if (readable.contains(name))
            EXPECT_EQ(jpegSize(jpeg), renderedSize(dir.filePath(name)));
        else
            EXPECT_FALSE(QFileInfo::exists(jpeg));
    }
}

TEST_F(EngineRun, DamagedDrawingIsReportedWithItsReason)
{
    const QString damaged = dir.filePath(QStringLiteral("damaged.dwg"));
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("AC1015\0\0\0\0", 10);
    f.close();
    form.rows << damaged;
    addSample(QStringLiteral("sample_2018.dxf"));
    PushButton2_Click(form);

    EXPECT_EQ(dialogs.reportLines(kExportLocation), (std::vector<int>{116, 120, 122, 124, 126}));
    EXPECT_TRUE(dialogs.texts().first().startsWith(QStringLiteral("Cannot open ") + damaged + QStringLiteral(": ")));
    EXPECT_EQ(dialogs.texts().last(), QStringLiteral("Done."));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("damaged.jpg"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("sample_2018.jpg"))));
}

// Each drawing is drawn in a worker process: one that crashes it, hangs it
// past the time limit or takes all the memory it may have fails alone, as a
// drawing that cannot be exported does, and the drawings around it convert.
TEST(EngineWorkers, DrawingThatBringsItsWorkerDownFailsAlone)
{
    const struct {
        const char* hook;
        QString reason;
    } cases[] = {
        {"LUMICADE_WORKER_TEST_CRASH", QStringLiteral(": the drawing engine crashed on it (Segmentation fault, signal 11)")},
        {"LUMICADE_WORKER_TEST_HANG", QStringLiteral(": it took longer than 1 s, the time limit")},
        {"LUMICADE_WORKER_TEST_EXHAUST", QStringLiteral("Out of memory")},
    };
    const QStringList names{QStringLiteral("example_2000.dxf"), QStringLiteral("example_r12.dxf"),
                            QStringLiteral("sample_2018.dxf")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        QTemporaryDir dir;
        {
            FakeDialogs dialogs;
            DrawingWorkerLimits limits;
            limits.timeoutSeconds = 1;
            limits.addressSpaceBytes = std::uint64_t{1} << 30;
            EngineCadAutomation engine(std::make_shared<WorkerDrawings>(limits));
            FakeForm form{dialogs, engine};
            for (const QString& name : names) {
                ASSERT_TRUE(QFile::copy(kDrawings + u'/' + name, dir.filePath(name)));
                form.rows << dir.filePath(name);
            }
            qputenv(c.hook, "example_r12.dxf");
            PushButton2_Click(form);
            qunsetenv(c.hook);

            EXPECT_EQ(dialogs.reportLines(kExportLocation), std::vector<int>{124});
            EXPECT_EQ(dialogs.reportLines(kBatchLocation), std::vector<int>{134});
            ASSERT_EQ(dialogs.texts().size(), 3);
            EXPECT_TRUE(dialogs.texts()[0].contains(c.reason)) << dialogs.texts()[0].toStdString();
            EXPECT_EQ(dialogs.texts()[2], QStringLiteral("Done."));
            // The neighbours' pictures, and nothing of the failed drawing: no
            // picture, no scratch bitmap, no half-written file.
            QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            QStringList expected = names;
            expected << QStringLiteral("example_2000.jpg") << QStringLiteral("sample_2018.jpg");
            left.sort();
            expected.sort();
            EXPECT_EQ(left, expected);
            EXPECT_FALSE(form.running);
        }
        // The worker kept for the next drawing ends with the engine.
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    }
}

}  // namespace
