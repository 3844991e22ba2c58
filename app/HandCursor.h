#pragma once
// Reading a Windows cursor file (.CUR) into a pointer the toolkit can show.
#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace lumicade {

struct CursorImage {
    QImage image;
    QPoint hotSpot;
};

// Decodes the first image of a cursor file's bytes. Throws VbError (481,
// "Invalid picture") when the bytes are not a cursor this reader knows.
CursorImage DecodeCursorFile(const QByteArray& bytes);

// Loads a cursor file as a pointer. Throws VbError when it cannot be read.
QCursor LoadCursorFile(const QString& path);

}  // namespace lumicade
