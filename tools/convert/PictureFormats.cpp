#include "tools/convert/PictureFormats.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "cad/render/Plot.h"
#include "convert/JpegFile.h"

namespace lumicade::convert {

namespace {

std::vector<unsigned char> bytesOf(const QByteArray& data) { return {data.begin(), data.end()}; }

QImage render(const cad::render::ScenePicture& scene) {
    QImage picture = scene.toImage();
    if (picture.isNull()) throw PictureError("cannot draw it: no memory for the picture");
    return picture;
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
std::vector<unsigned char> encodePdf(const cad::render::ScenePicture& scene, const std::string& title,
                                     const std::string& record, int dotsPerInch) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    const QSize size = scene.size();
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
        scene.paint(painter);
        painter.end();
    }
    return bytesOf(data);
}

std::vector<unsigned char> encodeSvg(const cad::render::ScenePicture& scene, const std::string& title) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    const QSize size = scene.size();
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QString::fromStdString(title));
    svg.setDescription(QStringLiteral("Made by Lumicade"));
    QPainter painter;
    if (!painter.begin(&svg)) throw PictureError("cannot start the SVG document");
    scene.paint(painter);
    painter.end();
    return bytesOf(data);
}

}  // namespace

std::vector<unsigned char> encodeDrawing(const cad::Drawing& drawing, const cad::render::RenderOptions& options,
                                         Format format, int quality, HuffmanTables tables, const std::string& title,
                                         const std::string& record, cad::Losses* losses) {
    // The vector writers may want Qt's fonts on their own.
    if ((format == Format::Pdf || format == Format::Svg) && !cad::render::ensureGuiApplication())
        throw PictureError("cannot start Qt's font machinery");
    const cad::render::ScenePicture scene(drawing, options);
    if (losses) *losses = scene.losses();
    switch (format) {
    case Format::Jpeg: {
        std::vector<unsigned char> bytes;
        std::string why;
        if (encodeJpeg(render(scene), quality, bytes, kDrawingSubsampling, &why, tables) != JpegStatus::Ok)
            throw PictureError("cannot encode the picture" + (why.empty() ? std::string() : ": " + why));
        return bytes;
    }
    case Format::Png: return encodeRaster(render(scene), "png");
    case Format::Tiff: return encodeRaster(render(scene), "tiff");
    case Format::Bmp: return encodeRaster(render(scene), "bmp");
    case Format::Pdf: return encodePdf(scene, title, record, options.plot ? options.plot->dotsPerInch : 72);
    case Format::Svg: return encodeSvg(scene, title);
    }
    throw PictureError("unknown format");
}

}  // namespace lumicade::convert
