// lumicade-convert misused as people do: links that lead an output onto an
// input, names that are not UTF-8, a file-size limit or a full disk in the
// middle of a batch, a drawing that never ends. Nothing is lost, every
// drawing is named, and the exit status tells.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Links around pictures: one that leads a picture's name onto another
// drawing, or a folder that is another under a second name.
struct LinkCase {
    const char* name;
    std::vector<std::pair<const char*, QByteArray>> files;  // path, content
    std::vector<std::pair<const char*, const char*>> links;  // target, link
    std::vector<QStringList> runs;                         // paths, each run
    std::vector<const char*> pictures, linksKept, linksReplaced;
};

TEST(ConvertToolMisuse, ALinkNeverLeadsAPictureOntoAnotherFile) {
    const LinkCase cases[] = {
        // same/p.jpg is a drawing too, and link/ is same/ under another
        // name; other/q.jpg, the name of q.dxf's picture, leads to it.
        {"an input reached through a link",
         {{"same/p.dxf", kLineDxf}, {"same/p.jpg", kSquareDxf}, {"other/q.dxf", kLineDxf}},
         {{"same", "link"}, {"../same/p.jpg", "other/q.jpg"}},
         {{"same/p.dxf", "link/p.jpg", "other/q.dxf"}},
         {"same/p.dxf.jpg", "same/p.jpg.jpg", "other/q.dxf.jpg"},
         {"other/q.jpg"},
         {}},
        // A link to a file beside the drawing and one to a file outside the
        // batch, met by a drawing named alone and by a folder scan.
        {"a link at a picture's name",
         {{"b/other.dwg", "other drawing"}, {"elsewhere/keep.dwg", "kept drawing"}, {"b/plan.dxf", kLineDxf},
          {"c/site.dxf", kLineDxf}},
         {{"other.dwg", "b/plan.jpg"}, {"../elsewhere/keep.dwg", "c/site.jpg"}},
         {{"b/plan.dxf"}, {"c"}},
         {"b/plan.jpg", "c/site.jpg"},
         {},
         {"b/plan.jpg", "c/site.jpg"}},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        for (const auto& [path, content] : c.files) writeFile(dir.filePath(path), content);
        for (const auto& [target, link] : c.links) ASSERT_TRUE(QFile::link(QLatin1String(target), dir.filePath(link)));
        for (const QStringList& paths : c.runs) {
            QStringList args;
            for (const QString& path : paths) args << dir.filePath(path);
            const ToolRun r = convert(args);
            EXPECT_EQ(r.status, 0) << r.err.toStdString();
        }
        for (const auto& [path, content] : c.files)
            EXPECT_EQ(readFile(dir.filePath(path)), content) << path << " was written over";
        for (const char* picture : c.pictures) EXPECT_EQ(QImage(dir.filePath(picture)).width(), 2048) << picture;
        for (const char* link : c.linksKept) EXPECT_TRUE(QFileInfo(dir.filePath(link)).isSymLink()) << link;
        for (const char* link : c.linksReplaced) EXPECT_FALSE(QFileInfo(dir.filePath(link)).isSymLink()) << link;
    }
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
    expectSays(scanned.err, {"Converted 2 of 2 drawings", "pl\\xE4n.dxf"});
    EXPECT_TRUE(existsBytes(folder + "/pl\xe4n.jpg")) << "the picture keeps the drawing's own bytes";
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
    expectSays(direct.err, {"pl\\xE4n.dxf"});
    const ToolRun control = convert({QFile::decodeName(forged)});
    EXPECT_EQ(control.status, 0) << control.err.toStdString();
    expectSays(control.err, {"evil\\x0AConverted 9"});

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

// The converter's worker processes, as the system lists a process's children.
std::vector<pid_t> workersOf(qint64 converter) {
    const QByteArray list = readFile(QStringLiteral("/proc/%1/task/%1/children").arg(converter));
    std::vector<pid_t> pids;
    for (const QByteArray& pid : list.split(' '))
        if (!pid.trimmed().isEmpty()) pids.push_back(static_cast<pid_t>(pid.trimmed().toInt()));
    return pids;
}

// Starts the converter and waits until seen(p) holds or it ends.
void startAndWaitFor(QProcess& p, const QStringList& args, const std::function<bool(QProcess&)>& seen) {
    p.start(QStringLiteral(LUMICADE_CONVERT_PROGRAM), args);
    ASSERT_TRUE(p.waitForStarted());
    while (p.state() == QProcess::Running && !seen(p)) ::usleep(1000);
}

// A slow drawing: a line arrayed a million by a million times, cut short by
// the work budget only after a while at a large size.
const QByteArray kArrayDxf =
    "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nCELL\n70\n0\n10\n0\n20\n0\n30\n0\n"
    "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n0\nENDBLK\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nCELL\n10\n0\n20\n0\n30\n0\n"
    "70\n1000000\n71\n1000000\n44\n2\n45\n2\n0\nENDSEC\n0\nEOF\n";

TEST(ConvertToolMisuse, ADrawingThatNeverEndsFailsAloneAfterTheTimeout) {
    QTemporaryDir dir;
    // A drawing on a stalled network share never answers: here its worker
    // is stopped as soon as it is seen, at work on the first drawing.
    const QString stalled = writeFile(dir.filePath("a_stalled.dxf"), kArrayDxf);
    writeFile(dir.filePath("in/b.dxf"), kLineDxf);
    writeFile(dir.filePath("in/c.dxf"), kLineDxf);
    QProcess p;
    // Long enough for a worker to start Qt's font machinery under a sanitizer.
    startAndWaitFor(p, {"--timeout", "3", "--jobs", "1", "--size", "4096", stalled, dir.filePath("in")}, [](QProcess& c) {
        const std::vector<pid_t> workers = workersOf(c.processId());
        for (pid_t w : workers) ::kill(w, SIGSTOP);
        return !workers.empty();
    });
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    expectSays(err, {"a_stalled.dxf: took longer than 3 s", "Converted 2 of 3 drawings"});
    for (const char* picture : {"in/b.jpg", "in/c.jpg"}) EXPECT_FALSE(QImage(dir.filePath(picture)).isNull()) << picture;
}

TEST(ConvertToolMisuse, NoTemporaryFileOutlivesAKilledWorkerOrAnInterruptedRun) {
    for (const bool interrupt : {false, true}) {
        SCOPED_TRACE(interrupt ? "SIGINT to the run" : "a worker killed");
        QTemporaryDir dir;
        writeFile(dir.filePath("in/a.dxf"), kSquareDxf);
        writeFile(dir.filePath("in/b.dxf"), kLineDxf);
        const QString report = dir.filePath("report.jsonl");
        QProcess p;
        // The worker is stopped in the middle of writing a large picture.
        startAndWaitFor(p, {"--format", "bmp", "--size", "4096", "--jobs", "1", "--report", report, dir.filePath("in")},
                        [&](QProcess& c) {
                            if (leftovers(dir.filePath("in")).isEmpty()) return false;
                            for (pid_t w : workersOf(c.processId())) ::kill(w, SIGSTOP);
                            return true;
                        });
        ASSERT_FALSE(leftovers(dir.filePath("in")).isEmpty()) << "the picture was written before it could be caught";
        if (interrupt) ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        else
            for (pid_t w : workersOf(p.processId())) ::kill(w, SIGKILL);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(leftovers(dir.filePath("in")).isEmpty()) << leftovers(dir.filePath("in")).join(' ').toStdString();
        const QByteArray lines = readFile(report);
        if (interrupt) {
            EXPECT_EQ(p.exitCode(), 128 + SIGINT) << err.toStdString();
            expectSays(err, {"Converted 0 of 2 drawings", "stopped by SIGINT"});
            EXPECT_EQ(lines.count("\"status\":\"interrupted\""), 1) << lines.toStdString();
            EXPECT_EQ(lines.count('\n'), 1) << "the drawing not begun has no line";
        } else {
            EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
            expectSays(err, {"its conversion crashed", "Converted 1 of 2 drawings"});
        }
    }
}

TEST(ConvertToolMisuse, TemporaryFilesLeftLongAgoAreRemovedAtTheStart) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/a.dxf"), kLineDxf);
    const QString old = writeFile(dir.filePath("in/.lumicade-999999-0.tmp"), "left by a power cut");
    const QString fresh = writeFile(dir.filePath("in/.lumicade-999999-1.bmp.tmp"), "another run's, under way");
    const QString other = writeFile(dir.filePath("in/.lumicade-notes.tmp"), "not one of ours");
    const timespec twoDaysAgo{::time(nullptr) - 2 * 24 * 3600, 0};
    const timespec times[2] = {twoDaysAgo, twoDaysAgo};
    for (const QString& path : {old, other}) ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    const ToolRun r = convert({"--size", "64", dir.filePath("in")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_TRUE(QFileInfo::exists(other));
}

TEST(ConvertToolMisuse, PipesDevicesAndHugeFilesAreRefusedBeforeTheyAreRead) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.dxf"), listed = dir.filePath("listed.dxf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(listed).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.filePath("zero.dxf")));
    // A drawing that references a 2 GB file (sparse: it takes no room).
    const QString huge = dir.filePath("huge.dxf");
    ASSERT_EQ(::truncate(QFile::encodeName(writeFile(huge, {})).constData(), 2LL << 30), 0);
    writeFile(dir.filePath("host.dxf"),
              "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nHUGE\n70\n4\n10\n0\n20\n0\n30\n0\n3\nHUGE\n1\nhuge.dxf\n"
              "0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\n0\n2\nHUGE\n10\n0\n20\n0\n30\n0\n"
              "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n100\n21\n50\n0\nENDSEC\n0\nEOF\n");
    QElapsedTimer clock;
    clock.start();
    // No time limit: nothing may wait or read for long. One pipe is named,
    // the other comes from a list on standard input.
    const ToolRun r = convert({"--timeout", "0", "--jobs", "1", "--size", "64", pipe, dir.filePath("zero.dxf"),
                               dir.filePath("host.dxf"), "-"},
                              QFile::encodeName(listed) + "\n");
    EXPECT_LT(clock.elapsed(), 60000);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1String("not a regular file but a pipe")), 2) << r.err.toStdString();
    expectSays(r.err, {"not a regular file but a device", "external reference HUGE cannot be read", "File too large"});
    EXPECT_FALSE(QImage(dir.filePath("host.jpg")).isNull()) << "the rest of the host is drawn";
}

// A drawing whose external references name the given files, one block each.
QByteArray referencing(const QStringList& paths) {
    QByteArray blocks, inserts;
    for (int i = 0; i < paths.size(); ++i) {
        const QByteArray name = "REF" + QByteArray::number(i);
        blocks += "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n4\n10\n0\n20\n0\n30\n0\n3\n" + name + "\n1\n" +
                  QFile::encodeName(paths[i]) + "\n0\nENDBLK\n";
        inserts += "0\nINSERT\n8\n0\n2\n" + name + "\n10\n0\n20\n0\n30\n0\n";
    }
    return "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + inserts +
           "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n100\n21\n50\n0\nENDSEC\n0\nEOF\n";
}

TEST(ConvertToolMisuse, ReferencesBelowKeepADrawingFromOutsideInItsOwnFolder) {
    QTemporaryDir dir;
    const QString secret = writeFile(dir.filePath("x/secret.dxf"), kSquareDxf);
    const QString inside = writeFile(dir.filePath("plans/site/parts/inside.dxf"), kLineDxf);
    ASSERT_TRUE(QFile::link(secret, dir.filePath("plans/site/parts/link.dxf")));
    // A climb out, a full path, a link that leads out, and a file below.
    const QString host = writeFile(dir.filePath("plans/site/host.dxf"),
                                   referencing({"../../x/secret.dxf", secret, "parts/link.dxf", "parts\\inside.dxf"}));
    struct Case {
        const char* scope;
        int outside, refused;  // of the files drawn: outside the folder; references not drawn
    };
    for (const Case& c : {Case{"any", 2, 0}, Case{"below", 0, 3}, Case{"none", 0, 4}}) {
        const ToolRun r = convert({"--references", c.scope, "--size", "64", "--report", "-", host});
        EXPECT_EQ(r.status, 0) << c.scope << ": " << r.err.toStdString();
        const QByteArray line = r.out;
        const qsizetype at = line.indexOf("\"references\":[");
        ASSERT_GE(at, 0) << line.toStdString();
        const QByteArray listed = line.mid(at, line.indexOf(']', at) - at);
        EXPECT_EQ(listed.count("secret.dxf") + listed.count("link.dxf"), c.outside) << c.scope << ": " << listed.toStdString();
        EXPECT_EQ(listed.count("inside.dxf"), c.scope == std::string("none") ? 0 : 1) << c.scope << ": " << listed.toStdString();
        EXPECT_EQ(r.err.count(QLatin1String(" not drawn, ")), c.refused) << c.scope << ": " << r.err.toStdString();
    }
    const ToolRun wrong = convert({"--references", "some", host});
    EXPECT_EQ(wrong.status, 2);
    expectSays(wrong.err, {"--references is any, below or none"});
}

TEST(ConvertToolMisuse, ThingsInAScannedFolderThatAreNoDrawingsAreNamedNotDropped) {
    QTemporaryDir dir;
    writeFile(dir.filePath("in/good.dxf"), kLineDxf);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("in/pipe.dxf")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("in/gone.dxf"), dir.filePath("in/dangling.dxf")));
    const ToolRun r = convert({"--timeout", "30", dir.filePath("in")});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    expectSays(r.err, {"pipe.dxf: not a regular file", "dangling.dxf: a link to nothing", "Converted 1 of 3 drawings"});
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
    writeFile(dir.filePath("in/array.dxf"), kArrayDxf);
    writeFile(dir.filePath("in/line.dxf"), kLineDxf);
    const QString report = dir.filePath("report.jsonl");
    const ToolRun r = convert({"--jobs", "1", "--size", "64", "--report", report, dir.filePath("in")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    expectSays(r.err, {"array.dxf", "drawn in part: more than", "block references", "1 converted, 1 incomplete"});
    const QByteArray lines = readFile(report);
    EXPECT_EQ(lines.count("\"status\":\"incomplete\""), 1) << lines.toStdString();
    EXPECT_EQ(lines.count("{\"kind\":\"budget\",\"what\":\"block references\""), 1) << lines.toStdString();
    EXPECT_EQ(lines.count("\"status\":\"converted\""), 1) << lines.toStdString();
    EXPECT_GT(QImage(dir.filePath("in/array.jpg")).width(), 0);
}
