#pragma once
// Reading back the BMP file a drawing was exported as.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumicade {

// The picture in a BMP file's bytes; a null image when they hold none.
// Uncompressed 24-bit pictures, what the export writes, are taken here
// directly, as blue-green-red pictures (QImage::Format_BGR888); every other
// kind of BMP goes through Qt's decoder.
QImage decodeBitmap(const QByteArray& bytes);

// The picture in a BMP file; a null image when it cannot be read or holds
// none. A top-down 24-bit file, what the export writes, is read straight
// into the picture's rows; the picture owns its pixels, so the file may be
// deleted at once.
QImage readBitmapFile(const QString& path);

}  // namespace lumicade
