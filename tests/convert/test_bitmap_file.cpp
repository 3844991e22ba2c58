// Reading back exported bitmaps: the direct decoder for 24-bit files and
// Qt's for every other kind give the same pictures.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstring>
#include <utility>

#include "convert/BitmapFile.h"

using namespace lumicade;

namespace {

QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y) & 255, (y * 53 + x * 7) & 255, (x * y) & 255));
    return image;
}

QByteArray bmpOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "BMP"));
    return bytes;
}

TEST(BitmapFile, TwentyFourBitPicturesOfEveryRowPadding)
{
    for (const int width : {1, 2, 3, 4, 5, 17}) {
        const QImage image = pattern(width, 7);
        const QByteArray bytes = bmpOf(image);
        ASSERT_EQ(static_cast<unsigned char>(bytes[28]), 24) << width;
        const QImage back = decodeBitmap(bytes);
        EXPECT_EQ(back.format(), QImage::Format_BGR888);
        EXPECT_TRUE(back.convertToFormat(QImage::Format_RGB32) == image) << "width " << width;
    }
}

TEST(BitmapFile, TopDownRowsAreReadInTheirOrder)
{
    const QImage image = pattern(5, 4);
    QByteArray bytes = bmpOf(image);
    // Negative height: the first row stored is the top one.
    const int rowBytes = (5 * 3 + 3) / 4 * 4;
    const qsizetype offset = static_cast<unsigned char>(bytes[10]);
    QByteArray flipped = bytes.left(offset);
    for (int y = 3; y >= 0; --y)
        flipped += bytes.mid(offset + y * rowBytes, rowBytes);
    const qint32 height = -4;
    std::memcpy(flipped.data() + 22, &height, 4);
    EXPECT_TRUE(decodeBitmap(flipped).convertToFormat(QImage::Format_RGB32) == image);
}

TEST(BitmapFile, FilesOfEitherRowOrderAndOtherKindsReadBack)
{
    QTemporaryDir dir;
    const QImage image = pattern(7, 5);
    const QByteArray bottomUp = bmpOf(image);
    QByteArray topDown = bottomUp.left(54);
    for (int y = 4; y >= 0; --y)
        topDown += bottomUp.mid(54 + y * 24, 24);
    const qint32 height = -5;
    std::memcpy(topDown.data() + 22, &height, 4);
    const QImage palette = image.convertToFormat(QImage::Format_Indexed8);
    const std::pair<QByteArray, QImage> cases[] = {{bottomUp, image}, {topDown, image}, {bmpOf(palette), palette}};
    for (const auto& [bytes, expected] : cases) {
        const QString path = dir.filePath(QStringLiteral("p.bmp"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const QImage back = readBitmapFile(path);
        ASSERT_TRUE(QFile::remove(path));  // the picture outlives its file
        EXPECT_TRUE(back.convertToFormat(QImage::Format_RGB32) == expected.convertToFormat(QImage::Format_RGB32));
    }
    EXPECT_TRUE(readBitmapFile(dir.filePath(QStringLiteral("none.bmp"))).isNull());
}

TEST(BitmapFile, OtherKindsGoThroughQt)
{
    QImage indexed = pattern(9, 5).convertToFormat(QImage::Format_Indexed8);
    const QByteArray bytes = bmpOf(indexed);
    ASSERT_NE(static_cast<unsigned char>(bytes[28]), 24);
    EXPECT_TRUE(decodeBitmap(bytes).convertToFormat(QImage::Format_RGB32) == indexed.convertToFormat(QImage::Format_RGB32));
}

TEST(BitmapFile, DamagedFilesGiveNoPicture)
{
    const QByteArray bytes = bmpOf(pattern(40, 30));
    EXPECT_TRUE(decodeBitmap({}).isNull());
    EXPECT_TRUE(decodeBitmap(bytes.left(20)).isNull());
    EXPECT_TRUE(decodeBitmap(QByteArray(200, 'x')).isNull());
    QByteArray huge = bytes;
    const qint32 width = 0x7fffffff;
    std::memcpy(huge.data() + 18, &width, 4);
    EXPECT_TRUE(decodeBitmap(huge).isNull());
}

}  // namespace
