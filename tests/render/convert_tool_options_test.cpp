// lumicade-convert's options for pipelines: output formats, colour modes,
// mirrored folder trees, incremental runs, reports, and shards of one list
// spread over several machines.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>

#include "ConvertToolSupport.h"

namespace {

using namespace convert_tool;

QList<QJsonObject> reportLines(const QByteArray& report) {
    QList<QJsonObject> lines;
    for (const QByteArray& line : report.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        lines << doc.object();
    }
    return lines;
}

timespec modifiedAt(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim;
}

bool sameTime(timespec a, timespec b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

TEST(ConvertToolOptions, EveryFormatOpensInItsReader) {
    QTemporaryDir dir;
    const QString drawing = writeFile(dir.filePath("plan.dxf"), kLineDxf);
    for (const char* format : {"png", "tiff", "bmp", "jpg"}) {
        const ToolRun r = convert({"--format", format, "--size", "300", drawing});
        EXPECT_EQ(r.status, 0) << format << r.err.toStdString();
    }
    for (const char* name : {"plan.png", "plan.tif", "plan.bmp", "plan.jpg"}) {
        const QImage picture(dir.filePath(name));
        EXPECT_EQ(picture.width(), 300) << name;
        EXPECT_NEAR(picture.height(), 156, 2) << name;
    }

    ASSERT_EQ(convert({"--format", "pdf", "--size", "300", drawing}).status, 0);
    const QByteArray pdf = readFile(dir.filePath("plan.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_EQ(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))), 1) << "one page";
    // A plot: a drawing without a page set-up lies on A4, turned as it is wide.
    const QRegularExpressionMatch page =
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")).match(QString::fromLatin1(pdf));
    ASSERT_TRUE(page.hasMatch());
    EXPECT_NEAR(page.captured(1).toDouble(), 297 / 25.4 * 72, 0.5);
    EXPECT_NEAR(page.captured(2).toDouble(), 210 / 25.4 * 72, 0.5);

    ASSERT_EQ(convert({"--format", "svg", "--size", "300", drawing}).status, 0);
    QXmlStreamReader svg(readFile(dir.filePath("plan.svg")));
    int shapes = 0;
    QString root;
    while (!svg.atEnd()) {
        if (svg.readNext() != QXmlStreamReader::StartElement) continue;
        if (root.isEmpty()) root = svg.name().toString();
        if (svg.name() == QLatin1String("path") || svg.name() == QLatin1String("polyline")) ++shapes;
    }
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    EXPECT_EQ(root, QStringLiteral("svg"));
    EXPECT_GE(shapes, 1) << "the line is a vector";
}

TEST(ConvertToolOptions, MonochromeAndGrayscaleLeaveNoColouredPixel) {
    QTemporaryDir dir;
    const QString drawing = writeFile(dir.filePath("plan.dxf"), kSquareDxf);
    auto picture = [&](const QStringList& options) {
        QStringList args = options;
        args << "--format" << "png" << "--size" << "200" << drawing;
        EXPECT_EQ(convert(args).status, 0);
        return QImage(dir.filePath("plan.png")).convertToFormat(QImage::Format_RGB32);
    };
    auto coloured = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                count += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p);
            }
        return count;
    };
    auto darkest = [](const QImage& image) {
        int least = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) least = std::min(least, qGray(image.pixel(x, y)));
        return least;
    };
    EXPECT_GT(coloured(picture({})), 100) << "the drawing has red and green lines";
    const QImage mono = picture({"--monochrome"});
    EXPECT_EQ(coloured(mono), 0);
    const QImage grey = picture({"--grayscale"});
    EXPECT_EQ(coloured(grey), 0);
    EXPECT_LT(darkest(grey), 200) << "the lines are still there";
    EXPECT_LT(darkest(mono) + 30, darkest(grey)) << "black lines in monochrome, mid greys for red and green";
    EXPECT_EQ(coloured(picture({"--monochrome", "--background", "black"})), 0);
}

TEST(ConvertToolOptions, MirrorTreeKeepsSameNamedDrawingsApart) {
    QTemporaryDir dir;
    writeFile(dir.filePath("a/plan.dxf"), kLineDxf);
    writeFile(dir.filePath("b/plan.dxf"), kLineDxf);
    writeFile(dir.filePath("tree/c/plan.dxf"), kLineDxf);
    const ToolRun mirrored = convert({"--size", "64", "--output-dir", "out", "--mirror-tree", "-r", "a/plan.dxf",
                                      "b/plan.dxf", "tree"},
                                     {}, {}, dir.path());
    EXPECT_EQ(mirrored.status, 0) << mirrored.err.toStdString();
    for (const char* picture : {"out/a/plan.jpg", "out/b/plan.jpg", "out/tree/c/plan.jpg"})
        EXPECT_FALSE(QImage(dir.filePath(picture)).isNull()) << picture;

    // Without it, drawings given by name all land in the one folder, told
    // apart by a tag from their paths.
    const ToolRun flat = convert({"--size", "64", "--output-dir", "flat", "a/plan.dxf", "b/plan.dxf"}, {}, {}, dir.path());
    EXPECT_EQ(flat.status, 0) << flat.err.toStdString();
    const QStringList pictures = QDir(dir.filePath("flat")).entryList(QDir::Files);
    EXPECT_EQ(pictures.size(), 2);
    for (const QString& name : pictures)
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^plan~[0-9a-f]{8}\\.jpg$")).match(name).hasMatch()) << name.toStdString();
}

TEST(ConvertToolOptions, ASecondRunWithSkipUpToDateWritesNothing) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/one.dxf"), kLineDxf);
    const QString two = writeFile(dir.filePath("in/two.dxf"), kSquareDxf);
    const QStringList args{"--size", "64", "--skip-up-to-date", "--report", "-", "--output-dir", dir.filePath("out"),
                           dir.filePath("in")};
    ASSERT_EQ(convert(args).status, 0);
    const timespec first = modifiedAt(dir.filePath("out/one.jpg")), second = modifiedAt(dir.filePath("out/two.jpg"));

    const ToolRun again = convert(args);
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    expectSays(again.err, {"2 up to date"});
    EXPECT_TRUE(sameTime(modifiedAt(dir.filePath("out/one.jpg")), first));
    EXPECT_TRUE(sameTime(modifiedAt(dir.filePath("out/two.jpg")), second));
    for (const QJsonObject& line : reportLines(again.out)) EXPECT_EQ(line["status"].toString(), QStringLiteral("skipped"));

    // A drawing changed after its picture is converted again.
    const timespec later[2] = {{second.tv_sec + 10, 0}, {second.tv_sec + 10, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(two).constData(), later, 0), 0);
    const ToolRun changed = convert(args);
    expectSays(changed.err, {"Converted 1 of 2 drawings"});
    EXPECT_FALSE(sameTime(modifiedAt(dir.filePath("out/two.jpg")), second));
}

TEST(ConvertToolOptions, ReportLinesParseAndMatchTheOutcomes) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/good.dxf"), kSquareDxf);
    writeFile(dir.filePath("in/broken.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot a number\n");
    const QString missing = dir.filePath("nowhere.dxf");
    const QString report = dir.filePath("report.jsonl");
    const ToolRun r = convert({"--size", "64", "--report", report, dir.filePath("in"), missing});
    EXPECT_EQ(r.status, 1);
    const QList<QJsonObject> lines = reportLines(readFile(report));
    ASSERT_EQ(lines.size(), 3);
    QSet<QString> inputs;
    for (const QJsonObject& line : lines) {
        const QString input = line["input"].toString();
        inputs << input;
        for (const char* key : {"input", "output", "status", "reason", "entities", "milliseconds"})
            EXPECT_TRUE(line.contains(key)) << key << " in " << input.toStdString();
        EXPECT_GE(line["milliseconds"].toDouble(-1), 0);
        const bool converted = line["status"].toString() == QLatin1String("converted");
        EXPECT_EQ(converted, input.endsWith(QLatin1String("good.dxf"))) << input.toStdString();
        EXPECT_EQ(QFileInfo::exists(line["output"].toString()), converted) << input.toStdString();
        EXPECT_EQ(line["reason"].isNull(), converted) << input.toStdString();
        if (converted) {
            EXPECT_EQ(line["entities"].toInt(), 2);
        }
        if (input == missing) {
            EXPECT_TRUE(line["entities"].isNull());
        }
    }
    EXPECT_EQ(inputs.size(), 3);
    EXPECT_TRUE(inputs.contains(missing));
}

// Drawings in a few folders, with two of one name in one folder.
QStringList writeDrawingTree(const QString& top) {
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths << writeFile(QStringLiteral("%1/f%2/d%3.dxf").arg(top).arg(i % 3).arg(i), i % 2 ? kLineDxf : kSquareDxf);
    paths << writeFile(top + "/f0/twin.dwg", kLineDxf) << writeFile(top + "/f0/twin.dxf", kSquareDxf);
    return paths;
}

QSet<QString> inputsOf(const ToolRun& run) {
    QSet<QString> inputs;
    for (const QJsonObject& line : reportLines(run.out)) inputs << line["input"].toString();
    return inputs;
}

TEST(ConvertToolOptions, ShardsSplitTheListWithoutOverlapInAnyOrder) {
    QTemporaryDir dir;
    QStringList paths = writeDrawingTree(dir.filePath("in"));
    std::mt19937 random(7);
    QSet<QString> all;
    QList<QSet<QString>> parts;
    for (int k = 0; k < 4; ++k) {
        const QString shard = QStringLiteral("%1/4").arg(k);
        const ToolRun run = convert({"--size", "16", "--report", "-", "--shard", shard, "--output-dir",
                                     dir.filePath("out"), "-"},
                                    (paths.join('\n') + '\n').toUtf8());
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QSet<QString> part = inputsOf(run);
        EXPECT_FALSE(part.isEmpty()) << "part " << k;
        for (const QSet<QString>& earlier : parts) EXPECT_FALSE(part.intersects(earlier)) << "part " << k;
        parts << part;
        all.unite(part);

        std::shuffle(paths.begin(), paths.end(), random);
        const ToolRun shuffled = convert({"--size", "16", "--report", "-", "--shard", shard, "--output-dir",
                                          dir.filePath("out"), "-"},
                                         (paths.join('\n') + '\n').toUtf8());
        EXPECT_EQ(inputsOf(shuffled), part) << "part " << k << " after shuffling";
    }
    EXPECT_EQ(all, QSet<QString>(paths.begin(), paths.end()));
}

QMap<QString, QByteArray> picturesBelow(const QString& top) {
    QMap<QString, QByteArray> pictures;
    QDirIterator it(top, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        pictures[QDir(top).relativeFilePath(path)] = readFile(path);
    }
    return pictures;
}

TEST(ConvertToolOptions, FourShardsThroughGnuParallelMakeThePicturesOfOneRun) {
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallel.isEmpty()) GTEST_SKIP() << "GNU parallel is not installed (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    writeDrawingTree(dir.filePath("in"));
    const QStringList common{"--size", "48", "--recursive", "--jobs", "1", dir.filePath("in")};

    const ToolRun single = convert(QStringList{"--output-dir", dir.filePath("single")} + common);
    ASSERT_EQ(single.status, 0) << single.err.toStdString();

    QProcess run;
    run.start(parallel, QStringList{"--will-cite", "--halt", "now,fail=1", "-j", "4", LUMICADE_CONVERT_PROGRAM,
                                    "--shard", "{}/4", "--output-dir", dir.filePath("sharded")} +
                            common + QStringList{":::", "0", "1", "2", "3"});
    ASSERT_TRUE(run.waitForFinished(120000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    const QMap<QString, QByteArray> expected = picturesBelow(dir.filePath("single"));
    EXPECT_EQ(expected.size(), 22);
    EXPECT_TRUE(expected.contains(QStringLiteral("f0/twin.jpg")) && expected.contains(QStringLiteral("f0/twin.dxf.jpg")));
    EXPECT_TRUE(picturesBelow(dir.filePath("sharded")) == expected) << "the same names with the same bytes";
}

}  // namespace
