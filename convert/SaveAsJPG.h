#pragma once
// SaveJPG: writes the picture as a JPEG file at the given quality. A failure
// is reported once through the error report ("Cannot save the image. GDI+
// Error:" and the status) and never reaches the caller. The file is replaced
// only by a complete new one.
#include <QImage>
#include <QString>

namespace lumicade {

class Dialogs;

void SaveJPG(Dialogs& dialogs, QImage picture, QString filePath, quint8 quality);

}  // namespace lumicade
