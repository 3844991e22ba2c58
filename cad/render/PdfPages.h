#pragma once
// PDF pages drawn through Poppler. Poppler and the libraries it brings along
// take longer to load than all of Qt's GUI part, so they live in a module of
// their own, loaded the first time a drawing shows a PDF underlay instead of
// at the start of every program that draws.
#include <QImage>
#include <QString>
#include <string>

namespace cad::render {

struct PdfPage {
    QImage image;         // the page; its resolution gives its size in inches
    std::string problem;  // why there is no image
};

// The module's one entry point, by this name: page pageName of the PDF file
// (a page number from 1; anything else means the first page), drawn at most
// maxPixels along its long side; name is the file as messages call it.
using RenderPdfPage = void (*)(const QString& path, const QString& pageName, const std::string& name, double maxPixels,
                               PdfPage& out);
constexpr const char* kRenderPdfPageSymbol = "lumicade_render_pdf_page";

}  // namespace cad::render
