#pragma once
// A small picture of a drawing for file browsers: the preview the DWG file
// stores when it is big enough, the drawing rendered otherwise.
#include <QImage>
#include <QString>

#include "cad/model/Preview.h"

namespace lumicade {

struct Thumbnail {
    enum class Source { None, StoredPreview, Rendered };
    QImage image;   // at most size pixels along each side; null on failure
    Source source = Source::None;
    QString error;  // one line, when the image is null
};

// The thumbnail of the drawing at path, fitted within size by size pixels.
Thumbnail MakeThumbnail(const QString& path, int size);

// The picture of a stored preview; a null image for a form we cannot show
// (WMF) or a damaged one.
QImage DecodeStoredPreview(const cad::Preview& preview);

// True when every pixel has one colour (or there are none): a stored
// preview like that is drawn afresh instead.
bool IsBlank(const QImage& image);

// Writes the picture as PNG through a temporary file that replaces output
// only once complete, so that a failure leaves nothing behind.
bool WriteThumbnailPng(const QImage& image, const QString& output, QString* error);

}  // namespace lumicade
