// "Start Converting" pressed on the real main window with the built-in
// engine: the whole run, and the window closed half way through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "ConvertTestSupport.h"
#include "Form1.h"
#include "Main.h"
#include "QuietServices.h"
#include "convert/EngineCadApplication.h"
#include "filelist/ListView1.h"
#include "platform/SettingsStore.h"

using namespace lumicade;
using namespace lumicade::testing;

namespace {

class WindowRun : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    FakeDialogs dialogs;
    QuietShell shell;
    NeverRandom random;
    EngineCadAutomation cad;
    Form1 form{{dialogs, shell, settings, random, cad}};
    const QStringList names{QStringLiteral("sample_2018.dxf"), QStringLiteral("example_r12.dxf"),
                            QStringLiteral("sample_2000.dwg")};

    void SetUp() override
    {
        form.Form_Load();
        ASSERT_TRUE(form.AutoCADAvailable);
        for (const QString& name : names) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(LUMICADE_DRAWINGS_DIR) + u'/' + name, dir.filePath(name)));
            form.ListView1->Append(dir.filePath(name));
        }
        SetOptionValue(*form.Option2, true);
        form.show();
    }

    QString jpegOf(const QString& name) const { return dir.filePath(name.left(name.size() - 3) + QStringLiteral("jpg")); }

    QStringList filesLeft() const
    {
        QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        files.removeAll(QStringLiteral("settings.ini"));
        return files;
    }
};

TEST_F(WindowRun, WholeRunWritesEveryPictureAndEndsIdle)
{
    form.PushButton2_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("Done.")});
    for (const QString& name : names)
        EXPECT_FALSE(QImageReader(jpegOf(name)).read().isNull()) << name.toStdString();
    EXPECT_EQ(filesLeft().size(), 2 * names.size()) << filesLeft().join(u' ').toStdString();
    EXPECT_EQ(form.progressText(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(form.progressValue(), 0);
    EXPECT_EQ(form.MousePointer(), 0);
    EXPECT_FALSE(form.ConversionRunning);
}

TEST_F(WindowRun, ClosingTheWindowMidRunLeavesNoPartialFiles)
{
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (form.progressText() == QStringLiteral("Processing: ") + names[1])
            form.close();
    });
    watch.start();
    form.PushButton2_Click();
    watch.stop();

    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.texts().join(u'|').toStdString();
    QStringList expected = names;
    expected << QFileInfo(jpegOf(names[0])).fileName();
    expected.sort();
    EXPECT_EQ(filesLeft(), expected);
    EXPECT_FALSE(form.ConversionRunning);
}

// A drawing that crashes the engine is drawn in a worker process of its
// own: it alone fails, as a drawing that cannot be exported, and the window
// and its list live on.
TEST_F(WindowRun, DrawingThatCrashesTheEngineFailsAlone)
{
    qputenv("LUMICADE_WORKER_TEST_CRASH", names[1].toUtf8());
    form.PushButton2_Click();
    qunsetenv("LUMICADE_WORKER_TEST_CRASH");

    ASSERT_EQ(dialogs.texts().size(), 3) << dialogs.texts().join(u'|').toStdString();
    EXPECT_EQ(dialogs.reportLines(kExportLocation), std::vector<int>{124});
    EXPECT_TRUE(dialogs.texts()[0].startsWith(QStringLiteral("Cannot export ") + dir.filePath(names[1])
                                              + QStringLiteral(": the drawing engine crashed on it (")));
    EXPECT_EQ(dialogs.reportLines(kBatchLocation), std::vector<int>{134});
    EXPECT_EQ(dialogs.texts()[2], QStringLiteral("Done."));
    EXPECT_FALSE(QImageReader(jpegOf(names[0])).read().isNull());
    EXPECT_FALSE(QFileInfo::exists(jpegOf(names[1])));
    EXPECT_FALSE(QImageReader(jpegOf(names[2])).read().isNull());
    EXPECT_EQ(filesLeft().size(), 2 * names.size() - 1) << filesLeft().join(u' ').toStdString();
    EXPECT_EQ(form.ListView1->Count(), names.size());
    EXPECT_EQ(form.MousePointer(), 0);
    EXPECT_FALSE(form.ConversionRunning);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
