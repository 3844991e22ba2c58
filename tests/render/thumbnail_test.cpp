// Thumbnails for file managers: the stored preview where a DWG has a big
// enough one, the rendered drawing otherwise, never larger than asked, and
// nothing written when the drawing cannot be shown.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <iostream>

#include "cad/dwg/DwgPreview.h"
#include "tools/thumbnail/Thumbnail.h"

namespace {

using lumicade::Thumbnail;

QString drawing(const char* name) { return QStringLiteral(LUMICADE_DRAWINGS_DIR "/") + QLatin1String(name); }

int runTool(const QStringList& args, QString* err = nullptr, QString* out = nullptr) {
    QProcess p;
    p.start(QStringLiteral(LUMICADE_THUMBNAIL_PROGRAM), args);
    p.waitForFinished(60000);
    if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
    if (out) *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The preview readDwgPreview finds, from the whole file.
cad::Preview storedPreview(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return cad::dwg::readDwgPreview(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(Thumbnail, EverySharedDrawingFitsAndUsesItsPreviewWhenLargeEnough) {
    constexpr int kSize = 96;
    int fromPreview = 0, rendered = 0, blankPreviews = 0;
    QDirIterator it(QStringLiteral(LUMICADE_DRAWINGS_DIR), {QStringLiteral("*.dwg"), QStringLiteral("*.dxf")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        SCOPED_TRACE(path.toStdString());
        const Thumbnail t = lumicade::MakeThumbnail(path, kSize);
        ASSERT_FALSE(t.image.isNull()) << t.error.toStdString();
        EXPECT_LE(std::max(t.image.width(), t.image.height()), kSize);
        EXPECT_GE(std::max(t.image.width(), t.image.height()), kSize / 2);
        const cad::Preview p = storedPreview(path);
        const QImage decoded = lumicade::DecodeStoredPreview(p);
        // An empty frame (solids saved in a shaded view) is drawn instead.
        const bool blank = !decoded.isNull() && lumicade::IsBlank(decoded);
        blankPreviews += blank;
        if (blank) {
            EXPECT_FALSE(lumicade::IsBlank(t.image)) << "the drawing shows what its preview did not";
        }
        const bool usable = (p.kind == cad::Preview::Kind::Bmp || p.kind == cad::Preview::Kind::Png) &&
                            std::max(p.width, p.height) >= kSize && !blank;
        EXPECT_EQ(t.source, usable ? Thumbnail::Source::StoredPreview : Thumbnail::Source::Rendered);
        if (usable) {
            ++fromPreview;
            // The picture keeps the preview's shape, to the pixel.
            EXPECT_NEAR(t.image.width() * double(p.height) / p.width, t.image.height(), 1.0);
        } else {
            ++rendered;
        }
    }
    std::cout << fromPreview << " thumbnails from stored previews, " << rendered << " rendered, " << blankPreviews
              << " blank previews\n";
    EXPECT_GT(fromPreview, 0);
    EXPECT_GT(rendered, 0);
}

// A drawing of solids saved in a shaded view stores an empty frame: a copy
// of a drawing whose preview is made one colour stands in for one.
TEST(Thumbnail, ABlankStoredPreviewIsDrawnInstead) {
    QFile original(drawing("example_2000.dwg"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    const cad::Preview preview = storedPreview(original.fileName());
    ASSERT_EQ(preview.kind, cad::Preview::Kind::Bmp);
    const QByteArray dib(reinterpret_cast<const char*>(preview.data.data()), qsizetype(preview.data.size()));
    const qsizetype at = bytes.indexOf(dib);
    ASSERT_GE(at, 0);
    // The pixels after the header and the 256 colours of an 8-bit picture.
    const qsizetype pixels = 40 + 256 * 4;
    bytes.replace(at + pixels, dib.size() - pixels, QByteArray(dib.size() - pixels, '\0'));
    QTemporaryDir dir;
    QFile copy(dir.filePath("shaded.dwg"));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(bytes);
    copy.close();
    ASSERT_TRUE(lumicade::IsBlank(lumicade::DecodeStoredPreview(storedPreview(copy.fileName()))));

    const Thumbnail t = lumicade::MakeThumbnail(copy.fileName(), 96);
    EXPECT_EQ(t.source, Thumbnail::Source::Rendered);
    EXPECT_FALSE(lumicade::IsBlank(t.image));
}

TEST(Thumbnail, SizesBeyondThePreviewAreRendered) {
    const Thumbnail t = lumicade::MakeThumbnail(drawing("example_2000.dwg"), 512);  // its preview is 184 by 126
    ASSERT_FALSE(t.image.isNull());
    EXPECT_EQ(t.source, Thumbnail::Source::Rendered);
    EXPECT_EQ(std::max(t.image.width(), t.image.height()), 512);

    cad::Preview wmf;
    wmf.kind = cad::Preview::Kind::Wmf;
    wmf.width = wmf.height = 0;
    wmf.data = {0xD7, 0xCD, 0xC6, 0x9A};
    EXPECT_TRUE(lumicade::DecodeStoredPreview(wmf).isNull());
    cad::Preview shortBmp = storedPreview(drawing("example_2000.dwg"));
    ASSERT_EQ(shortBmp.kind, cad::Preview::Kind::Bmp);
    shortBmp.data.resize(30);
    EXPECT_TRUE(lumicade::DecodeStoredPreview(shortBmp).isNull());
}

TEST(ThumbnailTool, WritesAPngOrNothing) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("thumb.png"));
    EXPECT_EQ(runTool({QStringLiteral("-s"), QStringLiteral("64"), drawing("example_2013.dwg"), out}), 0);
    QImage png(out, "PNG");
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(std::max(png.width(), png.height()), 64);
    EXPECT_TRUE(dir.isValid() && QDir(dir.path()).entryList(QDir::Files) == QStringList{QStringLiteral("thumb.png")});

    // A file that is no drawing: status 1, a reason, and the earlier picture untouched.
    const QString junk = dir.filePath(QStringLiteral("junk.dwg"));
    QFile j(junk);
    ASSERT_TRUE(j.open(QIODevice::WriteOnly));
    j.write("AC1015 but nothing more");
    j.close();
    QString err;
    const QByteArray before = [&] { QFile f(out); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    EXPECT_EQ(runTool({QStringLiteral("--size=64"), junk, out}, &err), 1);
    EXPECT_TRUE(err.startsWith(QLatin1String("lumicade-thumbnail: "))) << err.toStdString();
    QFile again(out);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), before);
    const QString fresh = dir.filePath(QStringLiteral("fresh.png"));
    EXPECT_EQ(runTool({junk, fresh}), 1);
    EXPECT_EQ(runTool({drawing("no such drawing.dwg"), fresh}), 1);
    EXPECT_EQ(runTool({drawing("example_2013.dwg"), dir.filePath(QStringLiteral("no folder/x.png"))}), 1);
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);  // thumb.png and junk.dwg, no leftovers

    // Usage errors say how to call it; --version and --help answer on standard output.
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("a.dwg")},
                                    QStringList{QStringLiteral("-s"), QStringLiteral("0"), QStringLiteral("a"), QStringLiteral("b")},
                                    QStringList{QStringLiteral("-s"), QStringLiteral("12x"), QStringLiteral("a"), QStringLiteral("b")},
                                    QStringList{QStringLiteral("-s")}, QStringList{QStringLiteral("--bogus"), QStringLiteral("a"), QStringLiteral("b")},
                                    QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}}) {
        EXPECT_EQ(runTool(args, &err), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(QLatin1String("Usage: lumicade-thumbnail"))) << args.join(' ').toStdString();
    }
    QString text;
    EXPECT_EQ(runTool({QStringLiteral("--version")}, nullptr, &text), 0);
    EXPECT_TRUE(text.startsWith(QLatin1String("lumicade-thumbnail " LUMICADE_VERSION "\n")));
    EXPECT_EQ(runTool({QStringLiteral("--help")}, nullptr, &text), 0);
    EXPECT_TRUE(text.startsWith(QLatin1String("Usage: lumicade-thumbnail [-s SIZE] INPUT OUTPUT")));
}

TEST(ThumbnailTool, ALinkAtTheOutputIsReplacedAndOldTemporaryFilesGo) {
    QTemporaryDir dir;
    const QString keep = dir.filePath(QStringLiteral("keep.dwg"));
    QFile k(keep);
    ASSERT_TRUE(k.open(QIODevice::WriteOnly));
    k.write("kept drawing");
    k.close();
    const QString out = dir.filePath(QStringLiteral("thumb.png"));
    ASSERT_TRUE(QFile::link(keep, out));
    // And what a thumbnailer cut off by a power failure left two days ago.
    const QString stale = dir.filePath(QStringLiteral(".lumicade-999999-0.tmp"));
    QFile s(stale);
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    ASSERT_TRUE(s.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    s.close();
    EXPECT_EQ(runTool({QStringLiteral("-s"), QStringLiteral("32"), drawing("example_2013.dwg"), out}), 0);
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_EQ([&] { QFile f(keep); f.open(QIODevice::ReadOnly); return f.readAll(); }(), QByteArray("kept drawing"));
    EXPECT_FALSE(QFileInfo(out).isSymLink());
    EXPECT_FALSE(QImage(out, "PNG").isNull());
}
