#pragma once
// SaveJPG: writes the picture as a JPEG file at the given quality. A failure
// is reported once through the error report ("Cannot save the image. GDI+
// Error:" and the status) and never reaches the caller. The file is replaced
// only by a complete new one. Returns whether the file was written, so a
// caller can tell its own pictures from ones that were already there.
#include <QImage>
#include <QString>

namespace lumicade {

class Dialogs;

bool SaveJPG(Dialogs& dialogs, QImage picture, QString filePath, quint8 quality);

}  // namespace lumicade
