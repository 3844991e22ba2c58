#include "convert/DrawingHost.h"

#include <QFile>
#include <QFileInfo>
#include <exception>
#include <new>

#include "cad/DrawingFile.h"
#include "cad/model/Drawing.h"
#include "cad/render/Render.h"
#include "convert/CadApplication.h"
#include "platform/VbError.h"

namespace lumicade {
namespace {

[[noreturn]] void fail(const QString& description)
{
    throw VbError(CadErr::AutomationError, description);
}

class InProcessDrawing : public HostedDrawing {
public:
    InProcessDrawing(QString path, cad::Drawing drawing) : path_(std::move(path)), drawing_(std::move(drawing)) {}

    // The picture as the renderer draws it by default. The drawing's own
    // fonts are looked for in its folder first.
    void exportBitmap(const QString& bitmapPath) override
    {
        std::string reason;
        cad::render::RenderOptions options;
        options.drawingFolder = QFile::encodeName(QFileInfo(path_).absolutePath()).toStdString();
        if (!cad::render::exportBmp(drawing_, QFile::encodeName(bitmapPath).toStdString(), options, &reason))
            fail(QStringLiteral("Cannot export %1: %2").arg(bitmapPath, QString::fromStdString(reason)));
    }

private:
    QString path_;
    cad::Drawing drawing_;
};

}  // namespace

std::unique_ptr<HostedDrawing> InProcessDrawings::open(const QString& drawingPath)
{
    const QFileInfo info(drawingPath);
    if (!info.isFile())
        fail(QStringLiteral("Cannot open %1: the file does not exist").arg(drawingPath));
    cad::Drawing drawing;
    try {
        drawing = cad::openDrawing(QFile::encodeName(drawingPath).toStdString());
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("Cannot open %1: not enough memory").arg(drawingPath));
    } catch (const std::exception& e) {
        fail(QStringLiteral("Cannot open %1: %2").arg(drawingPath, QString::fromStdString(e.what())));
    }
    return std::make_unique<InProcessDrawing>(drawingPath, std::move(drawing));
}

}  // namespace lumicade
