// The CAD export driven through the scripted application: the start-up check
// and every way ConvertDWGtoBMP can fail.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "ConvertTestSupport.h"
#include "convert/CadExport.h"

using namespace lumicade;
using namespace lumicade::testing;

namespace {

const QString kNotFound = QStringLiteral(
    "A valid version of AutoCAD with VBA was not found on this computer. You need to have AutoCAD with VBA "
    "installed to use this software.\r\n\r\nPlease Google search:\r\nVBA and AutoCAD <your version of AutoCAD "
    "here>\r\n\r\nIt is possible to install AutoCAD without VBA so you need to check carefully.");

TEST(CheckAutoCADAvailable, MissingApplicationShowsTheThreePartMessageOnce)
{
    FakeDialogs dialogs;
    ScriptedCad cad;
    cad.createFails = true;
    EXPECT_FALSE(CheckAutoCADAvailable(dialogs, cad));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kNotFound);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgBox::OkOnly);
    EXPECT_TRUE(dialogs.messages[0].title.isEmpty());  // the application title
    EXPECT_EQ(dialogs.reportCount(), 0);

    // Later conversions never reach the application.
    cad.log.clear();
    ConvertDWGtoBMP(dialogs, cad, false, QStringLiteral("/plans/site.dwg"), QStringLiteral("/plans/site"));
    EXPECT_TRUE(cad.log.isEmpty());
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST(CheckAutoCADAvailable, CreatesAndReleasesWithoutQuit)
{
    FakeDialogs dialogs;
    ScriptedCad cad;
    EXPECT_TRUE(CheckAutoCADAvailable(dialogs, cad));
    EXPECT_EQ(cad.log, QStringList{QStringLiteral("CreateObject AutoCAD.Application")});
    EXPECT_TRUE(cad.lastApplication.expired());
    EXPECT_TRUE(dialogs.messages.empty());
}

class ConvertDWGtoBMPTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDialogs dialogs;
    ScriptedCad cad;
    QString drawing() const { return dir.filePath(QStringLiteral("site.dwg")); }
    QString exportName() const { return dir.filePath(QStringLiteral("site")); }
    void convert() { ConvertDWGtoBMP(dialogs, cad, true, drawing(), exportName()); }
};

TEST_F(ConvertDWGtoBMPTest, StartsExportsAndQuitsInOrder)
{
    convert();
    const QStringList expected{
        QStringLiteral("GetObject AutoCAD.Application"),
        QStringLiteral("CreateObject AutoCAD.Application"),
        QStringLiteral("WindowState 3"),
        QStringLiteral("Documents"),
        QStringLiteral("Open ") + drawing(),
        QStringLiteral("Application"),
        QStringLiteral("Visible true"),
        QStringLiteral("SelectionSets"),
        QStringLiteral("add NEWSS"),
        QStringLiteral("Select 5"),
        QStringLiteral("Export ") + exportName() + QStringLiteral("|BMP"),
        QStringLiteral("Close"),
        QStringLiteral("Quit"),
    };
    EXPECT_EQ(cad.log, expected);
    EXPECT_TRUE(QFileInfo::exists(exportName() + QStringLiteral(".bmp")));
    EXPECT_TRUE(cad.lastApplication.expired()) << "the application object outlived the call";
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ConvertDWGtoBMPTest, RunningInstanceIsTakenOverAndQuit)
{
    cad.running = true;
    convert();
    EXPECT_EQ(cad.count(QStringLiteral("CreateObject")), 0);
    EXPECT_EQ(cad.count(QStringLiteral("Open ")), 1);
    EXPECT_EQ(cad.log.last(), QStringLiteral("Quit"));
    EXPECT_FALSE(cad.running);

    // The next drawing finds nothing running and starts its own instance.
    cad.log.clear();
    convert();
    EXPECT_EQ(cad.count(QStringLiteral("CreateObject")), 1);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ConvertDWGtoBMPTest, AttachAndCreateBothFailing)
{
    cad.createFails = true;
    convert();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Error opening AutoCAD"));
    EXPECT_EQ(dialogs.messages[0].buttons, MsgBox::OkOnly);
    EXPECT_TRUE(dialogs.messages[0].title.isEmpty());
    EXPECT_EQ(cad.log.size(), 2) << cad.log.join(u',').toStdString();
    EXPECT_FALSE(QFileInfo::exists(exportName() + QStringLiteral(".bmp")));
}

TEST_F(ConvertDWGtoBMPTest, DrawingThatWillNotOpenGivesFiveReportsAndStillQuits)
{
    cad.failOpen << drawing();
    convert();
    EXPECT_EQ(dialogs.reportLines(kExportLocation), (std::vector<int>{116, 120, 122, 124, 126}));
    EXPECT_EQ(dialogs.reportCount(), 5);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Method 'Open' failed\r\n")));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(
        QStringLiteral("Object variable or With block variable not set\r\n")));
    EXPECT_EQ(cad.count(QStringLiteral("Visible true")), 1);
    EXPECT_EQ(cad.log.last(), QStringLiteral("Quit"));
    EXPECT_TRUE(cad.lastApplication.expired());
}

TEST_F(ConvertDWGtoBMPTest, FailedExportStillClosesAndQuits)
{
    cad.failExport << drawing();
    convert();
    EXPECT_EQ(dialogs.reportLines(kExportLocation), std::vector<int>{124});
    const int exportAt = int(cad.log.indexOf(QStringLiteral("Export ") + exportName() + QStringLiteral("|BMP")));
    ASSERT_GE(exportAt, 0);
    EXPECT_EQ(cad.log.mid(exportAt + 1), (QStringList{QStringLiteral("Close"), QStringLiteral("Quit")}));
}

}  // namespace
