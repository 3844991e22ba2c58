// What a picture lacks of its drawing is said per drawing: the status
// "incomplete" on its line, in the summary and in the report with each
// loss; --strict makes it fail the run. Drawings that lose nothing, and
// those whose only undrawn entities show nothing anyway, stay "converted".
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <map>

#include "ConvertToolSupport.h"
#include "DxfWriter.h"

namespace {

using namespace convert_tool;
using namespace dxfwriter;

struct LossCase {
    const char* name;
    std::string (*build)();  // the drawing's DXF text
    const char* status;
    const char* loss;        // "kind what count", or empty
};

std::string with(void (*add)(File&)) {
    File f;
    f.entities += line(0, 0, 100, 50, on(1));
    add(f);
    return f.text();
}

const LossCase kCases[] = {
    {"clean", [] { return with([](File&) {}); }, "converted", ""},
    {"light", [] { return with([](File& f) { f.entities += common("LIGHT", on(7)); }); }, "converted", ""},
    {"unknown", [] {
         return with([](File& f) { f.entities += common("FROBNICATOR", on(7)) + common("FROBNICATOR", on(7)); });
     }, "incomplete", "entity FROBNICATOR 2"},
    {"xref", [] {
         return with([](File& f) {
             f.block("BASE", "", 4, "N:\\plans\\base.dwg");
             f.entities += insert("BASE", 0, 0);
         });
     }, "incomplete", "xref N:\\plans\\base.dwg 1"},
    // A block reference whose block the file never defines.
    {"noblock", [] { return with([](File& f) { f.entities += insert("NOWHERE", 0, 0); }); }, "incomplete",
     "damaged block reference 1"},
    // The reference is there, but holds what its reader could not draw.
    {"xrefloss", [] {
         return with([](File& f) {
             f.block("PART", "", 4, "../parts/frob.dxf");
             f.entities += insert("PART", 0, 0);
         });
     }, "incomplete", "entity FROBNICATOR 1"},
    {"image", [] {
         return with([](File& f) {
             f.entities += common("IMAGE", on(7)) + g(100, std::string("AcDbRasterImage")) + point(10, 0, 0) +
                           point(11, 1, 0) + point(12, 0, 1) + g(13, 40.0) + g(23, 20.0) + g(340, std::string("A1")) +
                           g(70, 7);
             f.objects += g(0, std::string("IMAGEDEF")) + g(5, std::string("A1")) +
                          g(100, std::string("AcDbRasterImageDef")) + g(1, std::string("scans/gone.png")) +
                          g(10, 40.0) + g(20, 20.0);
         });
     }, "incomplete", "image scans/gone.png 1"},
    {"font", [] {
         return with([](File& f) {
             f.style("LETTERING", "nosuchfont.shx");
             f.entities += common("TEXT", on(7)) + point(10, 0, 0) + g(40, 5.0) + g(1, std::string("A")) +
                           g(7, std::string("LETTERING"));
             f.entities += common("MTEXT", on(7)) + point(10, 0, 9) + g(40, 5.0) +
                           g(1, std::string("\\fOtherFont|b0|i0;B")) + g(7, std::string("LETTERING"));
         });
     }, "incomplete", "font nosuchfont.shx 2; font OtherFont 1"},
    {"shape", [] {
         return with([](File& f) {
             f.entities += common("SHAPE", on(7)) + point(10, 0, 0) + g(40, 5.0) + g(2, std::string("BOX"));
         });
     }, "incomplete", "entity shape 1"},
};

TEST(ConvertLosses, EachDrawingIsConvertedOrIncompleteWithWhatItLost) {
    QTemporaryDir dir;
    writeFile(dir.filePath("parts/frob.dxf"),
              QByteArray::fromStdString(with([](File& f) { f.entities += common("FROBNICATOR", on(7)); })));
    for (const LossCase& c : kCases) {
        const std::string text = c.build();
        writeFile(dir.filePath(QStringLiteral("in/%1.dxf").arg(QLatin1String(c.name))),
                  QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    }
    const ToolRun r = convert({"--size", "64", "--report", "-", dir.filePath("in")});
    EXPECT_EQ(r.status, 0) << "incomplete drawings do not fail the run: " << r.err.toStdString();
    expectSays(r.err, {": 2 converted, 7 incomplete, 0 failed", "unknown.jpg: FROBNICATOR not drawn (2)"});

    std::map<QString, QJsonObject> lines;
    for (const QByteArray& l : r.out.split('\n'))
        if (!l.isEmpty()) {
            const QJsonObject o = QJsonDocument::fromJson(l).object();
            lines[QFileInfo(o["input"].toString()).completeBaseName()] = o;
        }
    for (const LossCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const QJsonObject line = lines[QLatin1String(c.name)];
        EXPECT_EQ(line["status"].toString(), QLatin1String(c.status));
        QStringList losses;
        for (const QJsonValue& v : line["losses"].toArray()) {
            const QJsonObject loss = v.toObject();
            losses << loss["kind"].toString() + ' ' + loss["what"].toString() + ' ' +
                          QString::number(loss["count"].toInteger());
            EXPECT_FALSE(loss["text"].toString().isEmpty());
        }
        EXPECT_EQ(losses.join(QLatin1String("; ")).toStdString(), c.loss);
        EXPECT_TRUE(line["reason"].isNull() == (*c.loss == 0)) << "the reason names what was lost";
    }
}

TEST(ConvertLosses, StrictCountsAnIncompleteDrawingAsFailed) {
    QTemporaryDir dir;
    const std::string clean = kCases[0].build(), lossy = kCases[2].build();  // clean, unknown
    const QString whole = writeFile(dir.filePath("whole.dxf"), QByteArray::fromStdString(clean));
    const QString part = writeFile(dir.filePath("part.dxf"), QByteArray::fromStdString(lossy));
    EXPECT_EQ(convert({"--strict", whole}).status, 0);
    const ToolRun r = convert({"--strict", whole, part});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    expectSays(r.err, {": 1 converted, 1 incomplete, 0 failed"});
}

}  // namespace
