// The PDF module: Poppler's side of PdfPages.h.
#include "cad/render/PdfPages.h"

#include <QSizeF>
#include <algorithm>
#include <cmath>
#include <memory>
#include <poppler-qt6.h>

extern "C" __attribute__((visibility("default"))) void lumicade_render_pdf_page(const QString& path,
                                                                                 const QString& pageName,
                                                                                 const std::string& name,
                                                                                 double maxPixels,
                                                                                 cad::render::PdfPage& out) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc || doc->isLocked()) {
        out.problem = "PDF " + name + " cannot be read";
        return;
    }
    bool numbered = false;
    int index = pageName.trimmed().toInt(&numbered) - 1;
    if (!numbered) index = 0;
    if (index < 0 || index >= doc->numPages()) {
        out.problem = "PDF " + name + " has no page " + pageName.toStdString();
        return;
    }
    std::unique_ptr<Poppler::Page> page = doc->page(index);
    if (!page) {
        out.problem = "PDF " + name + " cannot be read";
        return;
    }
    const QSizeF points = page->pageSizeF();
    const double longest = std::max(points.width(), points.height()) / 72.0;  // inches
    if (!(longest > 0)) {
        out.problem = "PDF " + name + " has an empty page";
        return;
    }
    const double dpi = std::clamp(maxPixels / longest, 1.0, 300.0);
    doc->setRenderHint(Poppler::Document::Antialiasing, true);
    doc->setRenderHint(Poppler::Document::TextAntialiasing, true);
    out.image = page->renderToImage(dpi, dpi);
    if (out.image.isNull()) {
        out.problem = "PDF " + name + " page " + std::to_string(index + 1) + " cannot be drawn";
        return;
    }
    // The page's size in inches rides along as the image's resolution.
    out.image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    out.image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
}
