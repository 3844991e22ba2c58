#include "tools/convert/PictureFormats.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "cad/render/Backend.h"
#include "cad/render/Plot.h"
#include "cad/render/Render.h"

namespace lumicade::convert {

namespace {

std::vector<unsigned char> bytesOf(const QByteArray& data) { return {data.begin(), data.end()}; }

// The painted pixels, as Qt's image writers take them (not copied).
QImage picture(const QtPictureRequest& r) {
    return QImage(reinterpret_cast<const uchar*>(r.pixels), r.width, r.height, r.bytesPerLine, QImage::Format_RGB32);
}

// The scene on a device of the picture's size, background first.
void paintOn(QPainter& painter, const QtPictureRequest& r) {
    painter.fillRect(QRectF(0, 0, r.view->width, r.view->height), QColor::fromRgb(r.options->background));
    cad::render::paintSceneOn(painter, *r.scene, *r.view, *r.options);
}

std::vector<unsigned char> encodeRaster(const QImage& picture, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    // Drawings are large plain areas: LZW keeps TIFF files small.
    if (qstrcmp(format, "tiff") == 0) writer.setCompression(1);
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB888)))
        throw PictureError("cannot encode the picture: " + writer.errorString().toStdString());
    return bytesOf(data);
}

// The document's metadata, as Qt would write it, with the record as what the
// document is derived from.
QByteArray pdfMetadata(const std::string& title, const std::string& record) {
    const QString xmp = QStringLiteral(
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
        "xmlns:xmp='http://ns.adobe.com/xap/1.0/'>\n"
        "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>%1</rdf:li></rdf:Alt></dc:title>\n"
        "<dc:source>%2</dc:source>\n"
        "<xmp:CreatorTool>Lumicade</xmp:CreatorTool>\n"
        "</rdf:Description>\n"
        "</rdf:RDF>\n"
        "</x:xmpmeta>\n"
        "<?xpacket end='w'?>");
    return xmp.arg(QString::fromStdString(title).toHtmlEscaped(), QString::fromStdString(record).toHtmlEscaped())
        .toUtf8();
}

// One page the size of the picture: a point for a pixel, or a plot's paper
// at the plot's resolution.
std::vector<unsigned char> encodePdf(const QtPictureRequest& r, const std::string& title, const std::string& record) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    const QSize size(r.view->width, r.view->height);
    const int dotsPerInch = r.options->plot ? r.options->plot->dotsPerInch : 72;
    const QSizeF points = QSizeF(size) * (72.0 / dotsPerInch);
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Lumicade"));
        pdf.setTitle(QString::fromStdString(title));
        if (!record.empty()) pdf.setDocumentXmpMetadata(pdfMetadata(title, record));
        pdf.setResolution(dotsPerInch);
        pdf.setPageLayout(QPageLayout(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&pdf)) throw PictureError("cannot start the PDF document");
        paintOn(painter, r);
        painter.end();
    }
    return bytesOf(data);
}

std::vector<unsigned char> encodeSvg(const QtPictureRequest& r, const std::string& title) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    const QSize size(r.view->width, r.view->height);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QString::fromStdString(title));
    svg.setDescription(QStringLiteral("Made by Lumicade"));
    QPainter painter;
    if (!painter.begin(&svg)) throw PictureError("cannot start the SVG document");
    paintOn(painter, r);
    painter.end();
    return bytesOf(data);
}

}  // namespace

std::vector<unsigned char> writePicture(const QtPictureRequest& r) {
    const bool document = r.format == Format::Pdf || r.format == Format::Svg;
    if (document ? !r.scene || !r.view || !r.options : !r.pixels) throw PictureError("cannot draw it: nothing to write");
    // The vector writers may want Qt's fonts on their own.
    if (document && !cad::render::ensureGuiApplication()) throw PictureError("cannot start Qt's font machinery");
    switch (r.format) {
    case Format::Png: return encodeRaster(picture(r), "png");
    case Format::Tiff: return encodeRaster(picture(r), "tiff");
    case Format::Bmp: return encodeRaster(picture(r), "bmp");
    case Format::Pdf: return encodePdf(r, r.title, r.record);
    case Format::Svg: return encodeSvg(r, r.title);
    case Format::Jpeg: break;
    }
    throw PictureError("this format is not written through Qt");
}

}  // namespace lumicade::convert
