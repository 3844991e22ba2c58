// lumicade-convert's plots: a layout on its page set-up's paper at its
// scale, measured on the page, and the pens its plot style table gives.
#include <gtest/gtest.h>

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ConvertToolSupport.h"
#include "DxfWriter.h"
#include "tests/support/PlotStyleFile.h"

namespace {

using namespace convert_tool;
using namespace dxfwriter;

// Layout "Sheet": A4 turned a quarter (landscape) unless told, 5 mm margins, 1:1 in
// millimetres, pens from the table named. On it a red line 100 mm long
// from the origin and a green one 20 mm above.
File sheetDrawing(const std::string& table, int rotation = 1) {
    File f;
    f.tileMode(false);
    f.layer("0", 7, "10");
    f.block("*Paper_Space", "", 0, {}, "1E");
    f.entities += viewport(sheet(287, 200));
    f.entities += line(0, 0, 100, 0, on(1, "0", true));
    f.entities += line(0, 20, 100, 20, on(3, "0", true));
    f.objects += g(0, std::string("LAYOUT")) + g(5, std::string("1F")) + g(100, std::string("AcDbPlotSettings")) +
                 g(1, std::string()) + g(4, std::string("ISO_A4_(210.00_x_297.00_MM)")) + g(40, 5.0) + g(41, 5.0) +
                 g(42, 5.0) + g(43, 5.0) + g(44, 210.0) + g(45, 297.0) + g(142, 1.0) + g(143, 1.0) + g(70, 688) +
                 g(72, 1) + g(73, rotation) + g(74, 5) + g(7, table) + g(75, 16) + g(147, 1.0) +
                 g(100, std::string("AcDbLayout")) + g(1, std::string("Sheet")) + g(70, 1) + g(71, 1) +
                 g(330, std::string("1E"));
    return f;
}

QByteArray bytesOf(const std::vector<unsigned char>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size())); }

// The run of pixels near a colour along row y, and how many rows around y hold it.
struct Mark {
    int first = -1, last = -1, rows = 0;
};
Mark markOf(const QImage& image, int y, QRgb colour) {
    auto near = [&](QRgb p) {
        return std::abs(qRed(p) - qRed(colour)) < 60 && std::abs(qGreen(p) - qGreen(colour)) < 60 &&
               std::abs(qBlue(p) - qBlue(colour)) < 60;
    };
    Mark m;
    for (int x = 0; x < image.width(); ++x)
        if (near(image.pixel(x, y))) m.last = x, m.first = m.first < 0 ? x : m.first;
    if (m.first >= 0)
        for (int row = std::max(0, y - 30); row < std::min(image.height(), y + 30); ++row)
            m.rows += near(image.pixel((m.first + m.last) / 2, row));
    return m;
}

TEST(ConvertPlot, ALayoutStandsOnItsPaperAtItsScale) {
    QTemporaryDir dir;
    ASSERT_TRUE(sheetDrawing("").save(dir.filePath("plan.dxf")));
    // 254 dpi: ten pixels a millimetre.
    ToolRun r = convert({"--plot", "--dpi", "254", "--format", "png", "--layout", "Sheet", dir.filePath("plan.dxf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage page = QImage(dir.filePath("plan.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(page.size(), QSize(2970, 2100)) << "A4 landscape";
    // The paper's origin is the printable area's corner, 5 mm in from the left and the bottom.
    const Mark red = markOf(page, 2100 - 50, qRgb(255, 0, 0));
    EXPECT_NEAR(red.first, 50, 3);
    EXPECT_NEAR(red.last - red.first, 1000, 4) << "100 mm";
    const Mark green = markOf(page, 2100 - 250, qRgb(0, 255, 0));
    EXPECT_NEAR(green.last - green.first, 1000, 4);

    r = convert({"--format", "pdf", "--layout", "Sheet", dir.filePath("plan.dxf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QRegularExpressionMatch box =
        QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]")).match(QString::fromLatin1(readFile(dir.filePath("plan.pdf"))));
    ASSERT_TRUE(box.hasMatch());
    EXPECT_NEAR(box.captured(1).toDouble(), 297 / 25.4 * 72, 0.5) << "the page is the paper, in points";
    EXPECT_NEAR(box.captured(2).toDouble(), 210 / 25.4 * 72, 0.5);
}

// pens.ctb: colour 1 in blue at 1 mm, colour 3 screened away to nothing.
TEST(ConvertPlot, APlotStyleTableChangesPensAsItSays) {
    const std::string pens =
        "aci_table_available=TRUE\nplot_style{\n"
        " 0{\n  name=\"Color_1\n  color=-1040187137\n  lineweight=20\n }\n"
        " 1{\n  name=\"Color_2\n  color=-1\n  lineweight=255\n }\n"
        " 2{\n  name=\"Color_3\n  color=-1\n  screen=0\n  lineweight=255\n }\n}\n";
    const struct Case {
        const char* what;
        std::string table;      // the name the set-up gives
        QByteArray file;        // what lies beside the drawing under that name; empty: nothing
        QRgb line;              // the colour of the 100 mm line
        int thickness;          // its pixels across at ten a millimetre
        bool greenShows;
        const char* message;    // in the run's report; empty: none
    } cases[] = {
        {"the table", "PENS.CTB", bytesOf(testsupport::plotStyleFile(pens)), qRgb(0, 0, 255), 10, false, ""},
        {"a damaged table", "pens.ctb", bytesOf(testsupport::plotStyleFile(pens)).chopped(20), qRgb(255, 0, 0), 3, true,
         "plot style table pens.ctb damaged: cut short"},
        {"a table not found", "mine.ctb", {}, qRgb(255, 0, 0), 3, true, "plot style table mine.ctb not found"},
        {"monochrome, known by name", "monochrome.ctb", {}, qRgb(0, 0, 0), 3, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(sheetDrawing(c.table).save(dir.filePath("plan.dxf")));
        if (!c.file.isEmpty()) writeFile(dir.filePath("pens.ctb"), c.file);
        const ToolRun r = convert({"--plot", "--dpi", "254", "--format", "png", "--layout", "Sheet", dir.filePath("plan.dxf")});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(*c.message ? r.err.contains(QLatin1String(c.message)) : !r.err.contains(QLatin1String("plot style table")))
            << r.err.toStdString();
        const QImage page = QImage(dir.filePath("plan.png")).convertToFormat(QImage::Format_RGB32);
        const Mark line = markOf(page, 2100 - 50, c.line);
        EXPECT_NEAR(line.last - line.first, 1000, 12);
        EXPECT_NEAR(line.rows, c.thickness, 2);
        const Mark green = markOf(page, 2100 - 250, c.line == qRgb(0, 0, 0) ? c.line : qRgb(0, 255, 0));
        EXPECT_EQ(green.first >= 0, c.greenShows);
    }

    // A plot is made again when its table changes, or arrives.
    QTemporaryDir dir;
    ASSERT_TRUE(sheetDrawing("pens.ctb").save(dir.filePath("plan.dxf")));
    const QStringList args{"--format", "pdf", "--layout", "Sheet", "--skip-up-to-date", dir.filePath("plan.dxf")};
    auto upToDate = [&] { return convert(args).err.contains(QLatin1String("1 up to date")); };
    ASSERT_FALSE(upToDate());
    EXPECT_TRUE(upToDate());
    writeFile(dir.filePath("pens.ctb"), bytesOf(testsupport::plotStyleFile(pens)));
    EXPECT_FALSE(upToDate()) << "the table arrived";
    EXPECT_TRUE(upToDate());
}

}  // namespace
