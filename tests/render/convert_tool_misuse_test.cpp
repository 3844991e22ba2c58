// lumicade-convert misused as people do: links that lead an output onto an
// input, names that are not UTF-8, a file-size limit or a full disk in the
// middle of a batch, a drawing that never ends. Nothing is lost, every
// drawing is named, and the exit status tells.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ConvertToolSupport.h"

namespace {

using namespace convert_tool;

bool existsBytes(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0;
}

void writeBytesNamed(const QByteArray& path, const QByteArray& content) {
    FILE* f = std::fopen(path.constData(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.constData(), 1, static_cast<std::size_t>(content.size()), f);
    std::fclose(f);
}

// No temporary picture may be left behind by a failed write.
QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".lumicade-*")}, QDir::Files | QDir::Hidden);
}

TEST(ConvertToolMisuse, AnOutputReachedThroughALinkNeverOverwritesAnInput) {
    QTemporaryDir dir;
    // same/p.jpg is a drawing too, and link/ is same/ under another name.
    const QString drawing = writeFile(dir.filePath("same/p.dxf"), kLineDxf);
    const QString oddName = writeFile(dir.filePath("same/p.jpg"), kSquareDxf);
    ASSERT_TRUE(QFile::link(dir.filePath("same"), dir.filePath("link")));
    // And a drawing whose picture name is a link to another drawing.
    writeFile(dir.filePath("other/q.dxf"), kLineDxf);
    ASSERT_TRUE(QFile::link(oddName, dir.filePath("other/q.jpg")));

    const ToolRun r = convert({drawing, dir.filePath("link/p.jpg"), dir.filePath("other/q.dxf")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(oddName), QByteArray(kSquareDxf)) << "the drawing called p.jpg was written over";
    EXPECT_EQ(QImage(dir.filePath("same/p.dxf.jpg")).width(), 2048);
    EXPECT_FALSE(QImage(dir.filePath("same/p.jpg.jpg")).isNull());
    EXPECT_FALSE(QImage(dir.filePath("other/q.dxf.jpg")).isNull());
    EXPECT_TRUE(QFileInfo(dir.filePath("other/q.jpg")).isSymLink());
}

TEST(ConvertToolMisuse, NamesThatAreNotUtf8AreConvertedAndShownSafely) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.filePath("in"));
    QDir().mkpath(dir.filePath("in"));
    // "plän.dxf" in Latin-1, from an archive made on another system.
    const QByteArray latin1 = folder + "/pl\xe4n.dxf";
    writeBytesNamed(latin1, kLineDxf);
    writeFile(dir.filePath("in/plain.dxf"), kLineDxf);
    const QString report = dir.filePath("report.jsonl");

    const ToolRun scanned = convert({"--report", report, dir.filePath("in")});
    EXPECT_EQ(scanned.status, 0) << scanned.err.toStdString();
    EXPECT_TRUE(scanned.err.contains(QLatin1String("Converted 2 of 2 drawings"))) << scanned.err.toStdString();
    EXPECT_TRUE(existsBytes(folder + "/pl\xe4n.jpg")) << "the picture keeps the drawing's own bytes";
    EXPECT_TRUE(scanned.err.contains(QLatin1String("pl\\xE4n.dxf"))) << scanned.err.toStdString();
    // The report stays valid UTF-8 and names the file losslessly.
    const QByteArray lines = readFile(report);
    EXPECT_TRUE(lines.contains("pl\\udce4n.dxf")) << lines.toStdString();
    EXPECT_FALSE(lines.contains('\xe4'));

    // Given directly, and with a control character that could forge a line.
    const QByteArray forged = folder + "/evil\nConverted 9 of 9 drawings.dxf";
    writeBytesNamed(forged, kLineDxf);
    // A QString cannot carry the Latin-1 bytes as an argument: they come as a list on standard input.
    const ToolRun direct = convert({"-"}, latin1 + "\n");
    EXPECT_EQ(direct.status, 0) << direct.err.toStdString();
    EXPECT_TRUE(direct.err.contains(QLatin1String("pl\\xE4n.dxf"))) << direct.err.toStdString();
    const ToolRun control = convert({QFile::decodeName(forged)});
    EXPECT_EQ(control.status, 0) << control.err.toStdString();
    EXPECT_TRUE(control.err.contains(QLatin1String("evil\\x0AConverted 9"))) << control.err.toStdString();

    // QTemporaryDir cannot remove what a QString cannot name.
    for (const char* name : {"/pl\xe4n.dxf", "/pl\xe4n.jpg"}) ::unlink((folder + name).constData());
}

TEST(ConvertToolMisuse, AFileSizeLimitFailsOnlyTheOversizedPicturesWithTheSystemsReason) {
    QTemporaryDir dir;
    // At 512 pixels a square drawing makes a 768 KB BMP, a wide one a small one.
    writeFile(dir.filePath("in/a_square.dxf"), kSquareDxf);
    writeFile(dir.filePath("in/b_wide.dxf"),
              "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n11\n100\n21\n5\n0\nENDSEC\n0\nEOF\n");
    writeFile(dir.filePath("in/c_square.dxf"), kSquareDxf);
    const QString earlier = writeFile(dir.filePath("in/c_square.bmp"), "an earlier picture");
    const QString report = dir.filePath("report.jsonl");
    const ToolRun r = convert({"--format", "bmp", "--size", "512", "--jobs", "1", "--report", report, dir.filePath("in")},
                              {}, [] {
                                  const rlimit limit{200 * 1024, 200 * 1024};
                                  ::setrlimit(RLIMIT_FSIZE, &limit);
                              });
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1String("File too large")), 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("Converted 1 of 3 drawings"))) << "the summary is printed";
    EXPECT_FALSE(QImage(dir.filePath("in/b_wide.bmp")).isNull()) << "the drawing after the failure was converted";
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("in/a_square.bmp")));
    EXPECT_EQ(readFile(earlier), QByteArray("an earlier picture")) << "a failed write keeps the earlier picture";
    EXPECT_EQ(readFile(report).count('\n'), 3);
    EXPECT_TRUE(leftovers(dir.filePath("in")).isEmpty()) << leftovers(dir.filePath("in")).join(' ').toStdString();
}

TEST(ConvertToolMisuse, ADrawingThatNeverEndsFailsAloneAfterTheTimeout) {
    QTemporaryDir dir;
    // A pipe with no writer: opening it waits for ever, as a drawing on a
    // stalled network share would.
    const QString stalled = dir.filePath("a_stalled.dxf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(stalled).constData(), 0644), 0);
    writeFile(dir.filePath("in/b.dxf"), kLineDxf);
    writeFile(dir.filePath("in/c.dxf"), kLineDxf);
    for (const char* jobs : {"1", "2"}) {
        QFile::remove(dir.filePath("in/b.jpg"));
        QFile::remove(dir.filePath("in/c.jpg"));
        // Long enough for a worker to start Qt's font machinery under a sanitizer.
        const ToolRun r = convert({"--timeout", "3", "--jobs", jobs, "--size", "64", stalled, dir.filePath("in")});
        EXPECT_EQ(r.status, 1) << jobs << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("a_stalled.dxf: took longer than 3 s"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("Converted 2 of 3 drawings"))) << r.err.toStdString();
        EXPECT_FALSE(QImage(dir.filePath("in/b.jpg")).isNull()) << jobs;
        EXPECT_FALSE(QImage(dir.filePath("in/c.jpg")).isNull()) << jobs;
    }
}

TEST(ConvertToolMisuse, ThingsInAScannedFolderThatAreNoDrawingsAreNamedNotDropped) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/good.dxf"), kLineDxf);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("in/pipe.dxf")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("in/gone.dxf"), dir.filePath("in/dangling.dxf")));
    const ToolRun r = convert({"--timeout", "30", dir.filePath("in")});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("pipe.dxf: not a regular file"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("dangling.dxf: a link to nothing"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("Converted 1 of 3 drawings"))) << r.err.toStdString();
}

TEST(ConvertToolMisuse, TheReportNeverReplacesADrawing) {
    QTemporaryDir dir;
    const QString drawing = writeFile(dir.filePath("plan.dxf"), kLineDxf);
    const ToolRun r = convert({"--report", drawing, drawing});
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_EQ(readFile(drawing), QByteArray(kLineDxf));
}

}  // namespace

TEST(ConvertToolMisuse, ADrawingDrawnOnlyInPartIsNamedAndItsPictureWritten) {
    QTemporaryDir dir;
    // An array of a million by a million cells of one line.
    const QByteArray huge =
        "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nCELL\n70\n0\n10\n0\n20\n0\n30\n0\n"
        "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n0\nENDBLK\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nCELL\n10\n0\n20\n0\n30\n0\n"
        "70\n1000000\n71\n1000000\n44\n2\n45\n2\n0\nENDSEC\n0\nEOF\n";
    writeFile(dir.filePath("in/array.dxf"), huge);
    writeFile(dir.filePath("in/line.dxf"), kLineDxf);
    const QString report = dir.filePath("report.jsonl");
    const ToolRun r = convert({"--jobs", "1", "--size", "64", "--report", report, dir.filePath("in")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("array.dxf"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("drawn in part: more than"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("block references"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("1 converted, 1 incomplete"))) << r.err.toStdString();
    const QByteArray lines = readFile(report);
    EXPECT_EQ(lines.count("\"status\":\"incomplete\""), 1) << lines.toStdString();
    EXPECT_EQ(lines.count("{\"kind\":\"budget\",\"what\":\"block references\""), 1) << lines.toStdString();
    EXPECT_EQ(lines.count("\"status\":\"converted\""), 1) << lines.toStdString();
    EXPECT_GT(QImage(dir.filePath("in/array.jpg")).width(), 0);
}
