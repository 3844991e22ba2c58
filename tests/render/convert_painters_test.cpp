// Which painter the converter paints with: drawings that need nothing of Qt's
// GUI part are painted by our own, the rest by the Qt module, and either way
// the picture is the one the renderer makes in the program itself.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "ConvertToolSupport.h"
#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "convert/JpegFile.h"

namespace {

using namespace convert_tool;

// A line and a text in the STANDARD style, set in the txt shape font: pen strokes only.
const char* const kStrokedDxf =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nSTYLE\n70\n1\n0\nSTYLE\n2\nSTANDARD\n70\n0\n40\n0.0\n41\n1.0\n50\n0.0\n71\n0\n"
    "42\n2.5\n3\ntxt\n4\n\n0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n62\n1\n10\n0\n20\n0\n30\n0\n11\n30\n"
    "21\n12\n31\n0\n0\nTEXT\n8\n0\n10\n0\n20\n-5\n30\n0\n40\n2.5\n1\nHello\n7\nSTANDARD\n0\nENDSEC\n0\nEOF\n";
// A text without a style of its own: set in a TrueType face, through Qt;
// and a block whose line on layer 0 takes the colour of the layer the block
// is inserted on, which the module finds by the name "0".
const char* const kTrueTypeDxf =
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n1\n0\nLAYER\n2\nWALLS\n70\n0\n62\n3\n6\nCONTINUOUS\n0\nENDTAB\n"
    "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n30\n0\n0\nLINE\n8\n0\n10\n0\n20\n0\n"
    "30\n0\n11\n30\n21\n12\n31\n0\n0\nENDBLK\n8\n0\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\nWALLS\n2\nB\n10\n0\n"
    "20\n0\n30\n0\n0\nTEXT\n8\n0\n10\n0\n20\n-5\n30\n0\n40\n2.5\n1\nHello\n0\nENDSEC\n0\nEOF\n";

// The picture the program itself makes of the drawing, as the converter would write it.
QByteArray inProcessJpeg(const QString& path, int size, int quality) {
    cad::render::RenderOptions options;
    options.longSide = size;
    options.drawingFolder = QFileInfo(path).absolutePath().toStdString();
    const QImage picture = cad::render::renderDrawing(cad::openDrawing(path.toStdString()), options);
    std::vector<unsigned char> bytes;
    EXPECT_EQ(lumicade::encodeJpeg(picture, quality, bytes), lumicade::JpegStatus::Ok);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

double rmse(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) sum += d * d;
        }
    return std::sqrt(sum / (3.0 * a.width() * a.height()));
}

TEST(ConvertPainters, TheProgramLoadsNoQtGuiAndPaintsEitherWayAsTheRendererDoes) {
    // Qt's GUI part is no dependency of the program itself, only of its module.
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(LUMICADE_CONVERT_PROGRAM)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    expectSays(libraries, {"libQt6Core"});
    EXPECT_FALSE(libraries.contains(QLatin1String("libQt6Gui"))) << libraries.toStdString();

    QTemporaryDir dir;
    const QString stroked = writeFile(dir.filePath("stroked.dxf"), kStrokedDxf);
    const QString trueType = writeFile(dir.filePath("truetype.dxf"), kTrueTypeDxf);
    const ToolRun r = convert({"--size", "600", "--quality", "95", "--output-dir", dir.filePath("out"), stroked, trueType});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    // Through the Qt module: the very pixels the program makes (its file
    // holds a record of what it was made from besides).
    EXPECT_EQ(QImage(dir.filePath("out/truetype.jpg")), QImage::fromData(inProcessJpeg(trueType, 600, 95), "JPG"));
    // Our own painter: the same pixels to within a level or so at the edges of lines.
    const QImage ours(dir.filePath("out/stroked.jpg"));
    QImage theirs;
    ASSERT_TRUE(theirs.loadFromData(inProcessJpeg(stroked, 600, 95), "JPG"));
    ASSERT_FALSE(ours.isNull());
    EXPECT_LE(rmse(ours, theirs), 1.0);
    // And it is a picture of something: red line, dark text.
    int red = 0, dark = 0;
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x) {
            const QRgb p = ours.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 80) ++red;
            if (qGray(p) < 80) ++dark;
        }
    EXPECT_GT(red, 300);
    EXPECT_GT(dark, 100);
}

}  // namespace
