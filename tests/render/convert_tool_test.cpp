// lumicade-convert as scripts see it: exit status, messages, and the files it
// writes (and never writes over).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ConvertToolSupport.h"

namespace {

using namespace convert_tool;

TEST(ConvertTool, UsageErrorsExitWithTwo) {
    for (const QStringList& args : {QStringList{}, QStringList{"--quality", "101", "a.dxf"},
                                    QStringList{"--quality"}, QStringList{"--background", "grey", "a.dxf"},
                                    QStringList{"--bogus", "a.dxf"}, QStringList{"--size", "x", "a.dxf"},
                                    QStringList{"--window", "0,0,inf,1", "a.dxf"}, QStringList{"--window", "nan,0,1,1", "a.dxf"},
                                    QStringList{"--window", "-1e308,0,1e308,1", "a.dxf"}, QStringList{"--view", "top", "a.dxf"},
                                    QStringList{"--format", "gif", "a.dxf"}, QStringList{"--shard", "4/4", "a.dxf"},
                                    QStringList{"--shard", "1", "a.dxf"}, QStringList{"--timeout", "-1", "a.dxf"},
                                    QStringList{"--memory-limit", "12T", "a.dxf"}, QStringList{"--memory-limit", "-1", "a.dxf"},
                                    QStringList{"--memory-limit", "M", "a.dxf"}, QStringList{"--memory-limit", "99999999999G", "a.dxf"},
                                    QStringList{"--monochrome", "--grayscale", "a.dxf"},
                                    QStringList{"--mirror-tree", "a.dxf"}, QStringList{"--recursive=yes", "a.dxf"},
                                    QStringList{"-x", "a.dxf"}, QStringList{"--paper", "A9", "a.dxf"},
                                    QStringList{"--dpi", "5", "a.dxf"}}) {
        const ToolRun r = convert(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("Usage:"))) << args.join(' ').toStdString();
    }
}

TEST(ConvertTool, HelpGoesToStandardOutputAndNamesEveryOption) {
    const ToolRun r = convert({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--format", "--output-dir", "--mirror-tree", "--quality", "--size", "--background",
                               "--monochrome", "--grayscale", "--window", "--view", "--recursive", "--extension",
                               "--skip-up-to-date", "--shard", "--jobs", "--timeout", "--memory-limit", "--report", "--verbose", "--help"})
        EXPECT_TRUE(r.out.contains(option)) << option;
    // The manual explains every option the help text names.
    const QString manual = QString::fromUtf8(readFile(QStringLiteral(LUMICADE_CONVERT_MANUAL))).remove(QLatin1Char('\\'));
    ASSERT_FALSE(manual.isEmpty());
    auto options = QRegularExpression(QStringLiteral("--[a-z][a-z-]+")).globalMatch(QString::fromUtf8(r.out));
    int named = 0;
    while (options.hasNext()) {
        const QString option = options.next().captured();
        EXPECT_TRUE(manual.contains(option)) << option.toStdString() << " is not in the manual";
        ++named;
    }
    EXPECT_GT(named, 20);
}

TEST(ConvertTool, ConvertsBesideTheDrawingAtTheRequestedSize) {
    QTemporaryDir dir;
    const QString drawing = writeFile(dir.filePath("plan.dxf"), kLineDxf);
    const ToolRun r = convert({"--size", "300", "--quality", "90", drawing});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QImage picture(dir.filePath("plan.jpg"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 300);
    EXPECT_NEAR(picture.height(), 156, 2);
    expectSays(r.err, {"Converted 1 of 1 drawing"});
}

TEST(ConvertTool, FailuresAreNamedAndTheOthersStillConvert) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/good.dxf"), kLineDxf);
    writeFile(dir.filePath("in/sub/deep.dxf"), kLineDxf);
    writeFile(dir.filePath("in/broken.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot a number\n");
    const QString missing = dir.filePath("nowhere.dwg");
    const ToolRun r = convert({"--output-dir", dir.filePath("out"), "--recursive", "--jobs", "2", dir.filePath("in"), missing});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(missing + ": No such file or directory")) << r.err.toStdString();
    expectSays(r.err, {"broken.dxf"});
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("out/good.jpg")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("out/sub/deep.jpg"))) << "subfolders are kept under the output folder";
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out/broken.jpg")));
}

TEST(ConvertTool, NeverWritesOverAnInputAndReadsPathsFromStandardInput) {
    QTemporaryDir dir;
    // A drawing that happens to be called .jpg, and two drawings of one name.
    const QString oddName = writeFile(dir.filePath("odd.jpg"), kLineDxf);
    const QString first = writeFile(dir.filePath("twin.dxf"), kLineDxf);
    const QString second = writeFile(dir.filePath("twin.DXF2"), kLineDxf);
    const ToolRun r = convert({"-"}, (oddName + "\n  \n" + first + "\n\t\n" + second + "\n").toLocal8Bit());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QFile odd(oddName);
    ASSERT_TRUE(odd.open(QIODevice::ReadOnly));
    EXPECT_EQ(odd.readAll(), QByteArray(kLineDxf));
    EXPECT_FALSE(QImage(dir.filePath("odd.jpg.jpg")).isNull());
    EXPECT_FALSE(QImage(dir.filePath("twin.jpg")).isNull());
    EXPECT_FALSE(QImage(dir.filePath("twin.DXF2.jpg")).isNull());
}

TEST(ConvertTool, AFolderWithDrawingsOnlyInSubfoldersPointsToRecursive) {
    QTemporaryDir dir;
    writeFile(dir.filePath("top/sub/plan.dxf"), kLineDxf);
    const ToolRun flat = convert({"--size", "32", dir.filePath("top")});
    EXPECT_EQ(flat.status, 0);
    expectSays(flat.err, {"--recursive looks into its subfolders"});
    const ToolRun deep = convert({"--size", "32", "--recursive", dir.filePath("top")});
    EXPECT_FALSE(deep.err.contains(QLatin1String("--recursive"))) << deep.err.toStdString();
    expectSays(deep.err, {"Converted 1 of 1"});
}

}  // namespace

TEST(ConvertTool, FontFoldersAndSubstitutionsNamedOnce) {
    // Two drawings whose style names the shape font "plain.shx" and a TrueType face.
    auto dxf = [](const char* font) {
        return QByteArray("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n0\nSTYLE\n2\nStandard\n70\n0\n3\n") + font +
               "\n0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n5\n1\nHello\n"
               "0\nENDSEC\n0\nEOF\n";
    };
    QTemporaryDir dir;
    const QString a = writeFile(dir.filePath("a.dxf"), dxf("plain.shx"));
    const QString b = writeFile(dir.filePath("b.dxf"), dxf("plain.shx"));
    const QString c = writeFile(dir.filePath("c.dxf"), dxf("times.ttf"));
    ToolRun r = convert({"--verbose", a, b, c});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1String("font substituted: plain.shx -> Hershey rowmans")), 1) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1String("font substituted: times.ttf -> Liberation Serif")), 1) << r.err.toStdString();
    // Without --verbose nothing is said; with the font in a --font-dir it is no substitution.
    EXPECT_FALSE(convert({a}).err.contains(QLatin1String("substituted")));
    // A text font 6 units high whose only letter, H, is a stroke 1 unit up.
    const QByteArray font = QByteArray::fromHex("4175746f4341442d38362073686170657320312e300d0a1a00004800020000000500480003000006020000001400");
    writeFile(dir.filePath("fonts/PLAIN.SHX"), font);
    r = convert({"--verbose", "--font-dir", dir.filePath("fonts"), a});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QLatin1String("plain.shx"))) << r.err.toStdString();
    EXPECT_EQ(convert({"--font-dir", "", a}).status, 2);
}

