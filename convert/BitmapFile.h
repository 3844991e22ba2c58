#pragma once
// Reading back the BMP file a drawing was exported as.
#include <QByteArray>
#include <QImage>

namespace lumicade {

// The picture in a BMP file's bytes; a null image when they hold none.
// Uncompressed 24-bit pictures, what the export writes, are decoded here
// directly; every other kind of BMP goes through Qt's decoder.
QImage decodeBitmap(const QByteArray& bytes);

}  // namespace lumicade
