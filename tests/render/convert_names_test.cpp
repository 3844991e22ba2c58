// The names lumicade-convert gives its pictures, and the runs that find a
// picture up to date: a name follows from its drawing alone, and a picture
// is kept only when it was made from this drawing, as it is, with these
// options.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "ConvertToolSupport.h"
#include "DxfWriter.h"

namespace {

using namespace convert_tool;
using namespace dxfwriter;

// Each drawing of a run ("a/p.dxf") with its picture's name, from the report.
QMap<QString, QString> picturesOf(const QString& top, const QStringList& args) {
    const ToolRun r = convert(QStringList{"--size", "32", "--report", "-"} + args, {}, {}, top);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QMap<QString, QString> names;
    for (const QByteArray& line : r.out.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty()) continue;
        const QString input = QDir(top).relativeFilePath(QDir(top).absoluteFilePath(o["input"].toString()));
        EXPECT_FALSE(names.contains(input)) << "listed once: " << input.toStdString();
        names[input] = QFileInfo(o["output"].toString()).fileName();
    }
    return names;
}

TEST(ConvertToolNames, APicturesNameDependsOnlyOnItsDrawing) {
    QTemporaryDir dir;
    writeFile(dir.filePath("a/p.dxf"), kLineDxf);    // twice as wide as high
    writeFile(dir.filePath("b/p.dxf"), kSquareDxf);
    writeFile(dir.filePath("c/x.dwg"), kSquareDxf);  // the reader goes by content, not extension
    writeFile(dir.filePath("c/x.dxf"), kLineDxf);
    const struct {
        QStringList first, second;
    } runs[] = {
        {{"a/p.dxf", "b/p.dxf"}, {"b/p.dxf", "a/p.dxf"}},
        {{"c/x.dwg", "c/x.dxf"}, {"c/x.dxf"}},
        {{"c/x.dxf", "c/x.dwg"}, {"c/x.dwg"}},
        {{"c/x.dxf"}, {"c/x.dxf", "c/x.dwg", "c"}},  // the folder lists both again: each is converted once
    };
    for (const auto& run : runs) {
        const QMap<QString, QString> first = picturesOf(dir.path(), QStringList{"-o", "out"} + run.first);
        const QMap<QString, QString> second = picturesOf(dir.path(), QStringList{"-o", "out"} + run.second);
        for (const QString& drawing : second.keys())
            EXPECT_EQ(first.value(drawing, second[drawing]), second[drawing])
                << drawing.toStdString() << " in " << run.first.join(' ').toStdString();
    }
    const QMap<QString, QString> names = picturesOf(dir.path(), {"-o", "out", "b/p.dxf", "a/p.dxf", "c"});
    ASSERT_EQ(names.size(), 4);
    EXPECT_EQ(names["c/x.dwg"], QStringLiteral("x.jpg"));
    EXPECT_EQ(names["c/x.dxf"], QStringLiteral("x.dxf.jpg"));
    EXPECT_NE(names["a/p.dxf"], names["b/p.dxf"]);
    // Each picture is of its own drawing, whichever came first.
    const QImage wide(dir.filePath("out/" + names["a/p.dxf"])), square(dir.filePath("out/" + names["b/p.dxf"]));
    EXPECT_GT(wide.width(), wide.height() * 3 / 2);
    EXPECT_EQ(square.width(), square.height());
}

bool skipped(const ToolRun& run) { return run.err.contains(QLatin1String("1 up to date")); }

TEST(ConvertToolNames, APictureIsUpToDateOnlyWhenMadeFromThisDrawingWithTheseOptions) {
    QTemporaryDir dir;
    const QString drawing = writeFile(dir.filePath("a/p.dxf"), kLineDxf);
    for (const char* format : {"jpg", "png", "tiff", "pdf", "svg"}) {
        const QStringList args{"--format", format, "--size", "64", "--skip-up-to-date", drawing};
        ASSERT_EQ(convert(args).status, 0) << format;
        EXPECT_TRUE(skipped(convert(args))) << format << " keeps its record";
    }

    const QStringList base{"--size", "64", "--skip-up-to-date", "--verbose", drawing};
    const struct {
        QStringList options;
        const char* why;
    } changes[] = {
        {{"--size", "65"}, "size 64, not 65"},
        {{"--quality", "20"}, "quality 85, not 20"},
        {{"--monochrome"}, "colours as-drawn, not monochrome"},
        {{"--background", "black"}, "background white, not black"},
        {{"--window", "0,0,50,50"}, "window"},
        {{"--view", "saved"}, "view extents, not saved"},
        {{"--memory-limit", "64M"}, "memory-limit (none), not 67108864"},
        {{"--plot", "--paper", "A3"}, "plot (none), not A3,150"},
    };
    for (const auto& change : changes) {
        const ToolRun again = convert(base + change.options);
        EXPECT_FALSE(skipped(again)) << change.why;
        EXPECT_TRUE(again.err.contains(QLatin1String(change.why))) << again.err.toStdString();
        ASSERT_EQ(convert(base).status, 0);  // back to the first options
        EXPECT_TRUE(skipped(convert(base))) << "after " << change.why;
    }

    // A picture made otherwise (by an older run, another program) holds no
    // record, however new it is.
    QImage made(64, 32, QImage::Format_RGB32);
    made.fill(Qt::white);
    ASSERT_TRUE(made.save(dir.filePath("a/p.jpg"), "JPEG"));
    const ToolRun old = convert(base);
    EXPECT_FALSE(skipped(old));
    expectSays(old.err, {"no record"});

    // Nor is another drawing's picture of the same name up to date.
    writeFile(dir.filePath("b/p.dxf"), kSquareDxf);
    ASSERT_EQ(convert({"--size", "64", "-o", dir.filePath("out"), drawing}).status, 0);
    const ToolRun other = convert({"--size", "64", "--skip-up-to-date", "-v", "-o", dir.filePath("out"), dir.filePath("b/p.dxf")});
    EXPECT_FALSE(skipped(other));
    expectSays(other.err, {"made from another drawing"});
    const QImage square(dir.filePath("out/p.jpg"));
    EXPECT_EQ(square.width(), square.height());
}

// A picture stands for the files drawn with its drawing too: a change of
// one makes it again. And a picture that lacked something is made again at
// every run, since what it lacked may be there now.
TEST(ConvertToolNames, APictureIsMadeAgainWhenAFileItDrewChangedOrWhenItWasIncomplete) {
    QTemporaryDir dir;
    const QString part = writeFile(dir.filePath("a/part.dxf"), kSquareDxf);
    const QString font = dir.filePath("a/face.ttf");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"), font));
    File f;
    f.block("PART", "", 4, "part.dxf");
    f.style("LETTERING", "face.ttf");
    f.entities += insert("PART", 0, 0) + common("TEXT", on(7)) + point(10, 0, 0) + g(40, 5.0) +
                  g(1, std::string("A")) + g(7, std::string("LETTERING"));
    const QString drawing = writeFile(dir.filePath("a/p.dxf"), QByteArray::fromStdString(f.text()));
    auto touch = [](const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime);
    };
    auto expectRemade = [](const ToolRun& run, const char* why) {
        EXPECT_FALSE(skipped(run)) << why;
        EXPECT_TRUE(run.err.contains(QLatin1String(why))) << run.err.toStdString();
    };
    for (const char* format : {"jpg", "pdf"}) {
        SCOPED_TRACE(format);
        const QStringList args{"--format", format, "--size", "64", "--skip-up-to-date", "-v", drawing};
        ASSERT_EQ(convert(args).status, 0);
        EXPECT_TRUE(skipped(convert(args)));
        for (const QString& file : {part, font}) {
            touch(file);
            expectRemade(convert(args), "a file the drawing refers to changed");
            EXPECT_TRUE(skipped(convert(args))) << file.toStdString();
        }
        // Without its reference the picture lacks it, and is made again until it is back.
        ASSERT_TRUE(QFile::rename(part, part + ".away"));
        expectRemade(convert(args), "a file the drawing refers to changed");
        expectRemade(convert(args), "incomplete before");
        ASSERT_TRUE(QFile::rename(part + ".away", part));
        expectRemade(convert(args), "incomplete before");
        EXPECT_TRUE(skipped(convert(args)));
    }
}

// With --layout all the model picture's record, the one a re-run reads,
// speaks for the layouts' pictures too.
TEST(ConvertToolNames, ALayoutPictureThatLackedSomethingMakesItsDrawingAgain) {
    QTemporaryDir dir;
    File f;
    f.layer("0", 7, "10");
    f.block("*Paper_Space", "", 0, {}, "1E");
    f.style("LETTERING", "nosuchfont.shx");
    f.entities += line(0, 0, 100, 50, on(1)) + viewport(sheet(200, 100));
    f.entities += common("TEXT", on(7, "0", true)) + point(10, 10, 10) + g(40, 5.0) + g(1, std::string("A")) +
                  g(7, std::string("LETTERING"));
    f.layout("Sheet A", 1, "1E", "1F");
    const QString drawing = writeFile(dir.filePath("a/p.dxf"), QByteArray::fromStdString(f.text()));
    // The model picture alone lacks nothing: the text stands on the sheet.
    EXPECT_TRUE(convert({"--layout", "model", "--size", "64", "--report", "-", drawing}).out.contains("\"converted\""));
    const QStringList all{"--layout", "all", "--size", "64", "--skip-up-to-date", "-v", drawing};
    ASSERT_EQ(convert(all).status, 0);
    ASSERT_TRUE(QFileInfo::exists(dir.filePath("a/p-Sheet A.jpg")));
    const ToolRun again = convert(all);
    EXPECT_FALSE(skipped(again));
    expectSays(again.err, {"incomplete before"});
}

}  // namespace
