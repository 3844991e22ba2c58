// The JPEG writer: quality handed over, files replaced whole, and failures
// reported once through the error report without reaching the caller.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeDialogs.h"
#include "cad/model/ReplacingFile.h"
#include "convert/JpegFile.h"
#include "convert/SaveAsJPG.h"
#include "platform/Dialogs.h"

namespace lumicade {
namespace {

using testing::FakeDialogs;

// A drawing-like picture: thin coloured lines and some text on white.
QImage drawingPicture(int w = 640, int h = 480) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colors[] = {Qt::red, Qt::blue, Qt::darkGreen, Qt::magenta, Qt::black};
    for (int i = 0; i < 60; ++i) {
        p.setPen(QPen(colors[i % 5], 1 + i % 2));
        p.drawLine(i * 11, 0, w - i * 7, h);
        p.drawEllipse(QPointF(w / 2.0, h / 2.0), i * 4.0, i * 3.0);
    }
    return image;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList folderEntries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(JpegWriter, QualityIsHandedOverUnchangedAndDecides) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    const QImage picture = drawingPicture();
    qint64 sizes[4] = {};
    const quint8 qualities[4] = {0, 10, 95, 100};
    for (int i = 0; i < 4; ++i) {
        const QString path = dir.filePath(QStringLiteral("q%1.jpg").arg(qualities[i]));
        SaveJPG(dialogs, picture, path, qualities[i]);
        QImage back(path);
        ASSERT_FALSE(back.isNull()) << "quality " << int(qualities[i]);
        EXPECT_EQ(back.size(), picture.size()) << "quality " << int(qualities[i]);
        sizes[i] = QFileInfo(path).size();
    }
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_LT(sizes[0], sizes[1]);
    EXPECT_LT(sizes[1], sizes[2]);
    EXPECT_LT(sizes[2], sizes[3]);
}

// Huffman tables made for each picture change its bytes, never its pixels:
// it decodes to what the standard tables of a TurboJPEG encoding give, in
// fewer bytes.
TEST(JpegWriter, OptimisedTablesKeepThePixelsOfStandardOnesInFewerBytes) {
    const QImage picture = drawingPicture(333, 211);
    tjhandle standard = tjInitCompress();
    ASSERT_NE(standard, nullptr);
    for (const auto& [subsampling, tjSampling] : {std::pair{ChromaSubsampling::Full444, TJSAMP_444},
                                                  std::pair{ChromaSubsampling::Half422, TJSAMP_422},
                                                  std::pair{ChromaSubsampling::Quarter420, TJSAMP_420}})
        for (const int quality : {10, 85, 100}) {
            unsigned char* reference = nullptr;
            unsigned long referenceSize = 0;
            ASSERT_EQ(tjCompress2(standard, picture.constBits(), picture.width(), int(picture.bytesPerLine()),
                                  picture.height(), TJPF_BGRX, &reference, &referenceSize, tjSampling, quality,
                                  TJFLAG_ACCURATEDCT),
                      0);
            const QImage expected = QImage::fromData(reference, int(referenceSize), "JPEG");
            tjFree(reference);
            std::vector<unsigned char> bytes;
            ASSERT_EQ(encodeJpeg(picture, quality, bytes, subsampling), JpegStatus::Ok);
            EXPECT_EQ(QImage::fromData(bytes.data(), int(bytes.size()), "JPEG"), expected)
                << "quality " << quality << ", sampling " << tjSampling;
            EXPECT_LT(bytes.size(), referenceSize) << "quality " << quality << ", sampling " << tjSampling;
        }
    tjDestroy(standard);
}

// A bitmap read back from a file is a 24-bit picture: it is encoded as it
// lies, into the very file its 32-bit twin gives.
TEST(JpegWriter, TwentyFourBitPicturesEncodeAsTheir32BitTwins) {
    const QImage picture = drawingPicture(333, 211);  // rows of 999 bytes: padded
    std::vector<unsigned char> expected, bytes;
    ASSERT_EQ(encodeJpeg(picture, 85, expected, kDrawingSubsampling), JpegStatus::Ok);
    for (const QImage::Format format : {QImage::Format_BGR888, QImage::Format_RGB888}) {
        ASSERT_EQ(encodeJpeg(picture.convertToFormat(format), 85, bytes, kDrawingSubsampling), JpegStatus::Ok);
        EXPECT_EQ(bytes, expected) << "format " << format;
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("bgr.jpg"));
    EXPECT_TRUE(SaveJPG(dialogs, picture.convertToFormat(QImage::Format_BGR888), path, 85));
    const QByteArray written = readAll(path);
    EXPECT_EQ(std::vector<unsigned char>(written.begin(), written.end()), expected);
}

TEST(JpegWriter, ReplacesAnEarlierFileWholeAndLeavesNoTemporaryFiles) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("site.jpg"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(300000, 'x'));  // longer than the new picture: nothing of it may remain
    }
    EXPECT_TRUE(SaveJPG(dialogs, drawingPicture(200, 100), path, 85));
    EXPECT_TRUE(dialogs.texts().isEmpty());
    const QByteArray bytes = readAll(path);
    ASSERT_GT(bytes.size(), 4);
    EXPECT_LT(bytes.size(), 300000);
    EXPECT_EQ(bytes.left(2), QByteArray("\xFF\xD8", 2));
    EXPECT_EQ(bytes.right(2), QByteArray("\xFF\xD9", 2));
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("site.jpg")});
}

TEST(JpegWriter, MissingFolderGivesOneReportAtLine132AndReturns) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    EXPECT_FALSE(SaveJPG(dialogs, drawingPicture(64, 64), dir.filePath(QStringLiteral("no/such/folder/a.jpg")), 85));
    ASSERT_EQ(dialogs.texts().size(), 1);
    const QString text = dialogs.texts()[0];
    EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot save the image. GDI+ Error:7\r\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("in Kestrane2021/08/31.SaveAsJPG.SaveJPG at line 132\r\r"))) << text.toStdString();
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Application Error"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

TEST(JpegWriter, PictureWithoutPixelsIsReportedAndTheOldFileStays) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("kept.jpg"));
    SaveJPG(dialogs, drawingPicture(50, 50), path, 85);
    const QByteArray before = readAll(path);
    ASSERT_FALSE(before.isEmpty());
    EXPECT_FALSE(SaveJPG(dialogs, QImage(), path, 85));
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts()[0].startsWith(QStringLiteral("Cannot save the image. GDI+ Error:2\r\n")));
    EXPECT_TRUE(dialogs.texts()[0].contains(QStringLiteral("at line 132")));
    EXPECT_EQ(readAll(path), before);
}

// A write that fails half way (here: the process may not grow files beyond a
// few kilobytes) must keep the earlier picture and leave no partial file.
TEST(JpegWriter, FailedWriteKeepsTheEarlierJpegIntact) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("plan.jpg"));
    SaveJPG(dialogs, drawingPicture(40, 40), path, 50);
    const QByteArray before = readAll(path);
    ASSERT_FALSE(before.isEmpty());
    ASSERT_LT(before.size(), 8000);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveJPG(dialogs, drawingPicture(1600, 1200), path, 100);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts()[0].startsWith(QStringLiteral("Cannot save the image. GDI+ Error:7")));
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("plan.jpg")});
}

// A process ended by a signal while it writes takes its temporary file with it.
TEST(JpegWriter, ASignalInTheMiddleOfAWriteLeavesNoTemporaryFile) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QTemporaryDir dir;
        const std::string target = QFile::encodeName(dir.filePath(QStringLiteral("plan.bmp"))).toStdString();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            cad::ReplacingFile::removeTemporaryFilesOnSignals();
            cad::ReplacingFile kept, written;
            const bool begun = kept.open(target, ".tmp") && written.open(target, ".bmp.tmp") && written.write("BM", 2);
            if (begun) ::raise(signal);
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_EQ(folderEntries(dir.path()), QStringList{}) << signal;
    }
}

}  // namespace
}  // namespace lumicade
