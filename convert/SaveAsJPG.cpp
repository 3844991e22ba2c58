#include "convert/SaveAsJPG.h"

#include <vector>

#include "convert/JpegFile.h"
#include "platform/ErrorTrap.h"
#include "platform/VbError.h"

namespace lumicade {

namespace {
const QString kLocation = QStringLiteral("in Kestrane2021/08/31.SaveAsJPG.SaveJPG ");
}

bool SaveJPG(Dialogs& dialogs, QImage picture, QString filePath, quint8 quality) {
    ErrorTrap trap(dialogs, kLocation);

    // The encoder set-up, the picture, the encoder and its quality parameter,
    // then the save; status holds the result of the last of them that ran.
    int version = 0;
    int status = JpegStatus::Ok;
    bool created = false;
    QImage bitmap;
    std::vector<unsigned char> encoded;
    ChromaSubsampling encoder = kDrawingSubsampling;
    int parameterCount = 0;
    QString parameterId;
    int valueCount = 0;
    int valueType = 0;
    int qualityValue = 0;

    trap.step(100, [&] { version = 1; });
    // libjpeg-turbo needs no start-up of its own: every encoding makes and
    // releases its own compressor, so there is nothing here that can fail.
    trap.step(102, [&] { status = version == 1 ? JpegStatus::Ok : JpegStatus::GenericError; });
    bool startedOk = true;
    trap.step(104, [&] { startedOk = status == JpegStatus::Ok; });
    if (startedOk) {
        trap.step(106, [&] {
            status = JpegStatus::InvalidParameter;
            if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return;
            // The encoder takes 32-bit and 24-bit pictures as they are.
            const QImage::Format format = picture.format();
            bitmap = format == QImage::Format_BGR888 || format == QImage::Format_RGB888
                         ? picture
                         : picture.convertToFormat(QImage::Format_RGB32);
            status = bitmap.isNull() ? JpegStatus::OutOfMemory : JpegStatus::Ok;
            created = status == JpegStatus::Ok;
        });
        bool createdOk = true;
        trap.step(108, [&] { createdOk = status == JpegStatus::Ok; });
        if (createdOk) {
            trap.step(110, [&] { encoder = kDrawingSubsampling; });
            trap.step(112, [&] { parameterCount = 1; });
            trap.step(114, [&] { parameterId.clear(); valueCount = valueType = qualityValue = 0; });
            trap.step(116, [&] { parameterId = QStringLiteral("Quality"); });
            trap.step(118, [&] { valueCount = 1; });
            trap.step(120, [&] { valueType = 4; });
            trap.step(122, [&] { qualityValue = quality; });
            trap.step(124, [&] {
                // One 32-bit quality value is all the encoder takes.
                if (parameterCount != 1 || parameterId != QLatin1String("Quality") || valueCount != 1 || valueType != 4) {
                    status = JpegStatus::InvalidParameter;
                    return;
                }
                status = encodeJpeg(bitmap, qualityValue, encoded, encoder);
                if (status == JpegStatus::Ok) status = writeFileReplacing(filePath, encoded);
            });
            trap.step(126, [&] {
                if (created) bitmap = QImage();
                encoded = {};
            });
        }
        // The counterpart of 102: with no start-up there is nothing to shut down.
        trap.step(128, [&] { version = 0; });
    }
    bool failed = true;
    trap.step(130, [&] { failed = status != JpegStatus::Ok; });
    if (failed) {
        trap.step(132, [&] {
            throw VbError(ErrNo::InvalidProcedureCall,
                          QStringLiteral("Cannot save the image. GDI+ Error:") + QString::number(status));
        });
    }
    return !failed;
}

}  // namespace lumicade
