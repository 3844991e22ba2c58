// The sample drawings drawn at build time: each opens in the program's own
// reader, in one piece, with what it is meant to show.
#include "cad/DrawingFile.h"

#include <QDir>
#include <QTest>

#include <set>

namespace {

// The entity kinds of one sample; empty when it does not read cleanly.
std::map<std::string, int> kindsOf(const QString& name)
{
    const QString path = QStringLiteral(LUMICADE_SAMPLES_DIR) + "/" + name;
    const cad::Drawing drawing = cad::readDrawingFile(QFile::encodeName(path).toStdString());
    if (!drawing.skipped.empty() || !drawing.warnings.empty()) {
        qWarning("%s: %zu kinds skipped, %zu warnings", qPrintable(name), drawing.skipped.size(),
                 drawing.warnings.size());
        return {};
    }
    // Every block an INSERT names is defined.
    for (const auto& block : drawing.blocks) {
        for (const auto& entity : block.entities) {
            const auto* insert = entity.as<cad::InsertData>();
            if (insert && !drawing.findBlock(insert->blockName)) {
                qWarning("%s: undefined block %s", qPrintable(name), insert->blockName.c_str());
                return {};
            }
        }
    }
    return cad::countEntityKinds(drawing);
}

}  // namespace

class SamplesTest : public QObject {
    Q_OBJECT
private slots:
    void theFolderHoldsTheDrawings()
    {
        const QStringList names = QDir(QStringLiteral(LUMICADE_SAMPLES_DIR)).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names, (QStringList{"Entity Sheet.dxf", "Flange.dxf", "Floor Plan.dxf"}));
    }

    void eachDrawingReadsWithWhatItShows()
    {
        const auto plan = kindsOf("Floor Plan.dxf");
        QVERIFY(plan.count("INSERT") && plan.at("INSERT") >= 10);  // the furniture
        QVERIFY(plan.count("HATCH") && plan.at("HATCH") >= 10);    // the walls
        QVERIFY(plan.count("ARC") && plan.at("ARC") >= 3);         // the door swings

        const auto flange = kindsOf("Flange.dxf");
        QVERIFY(flange.count("CIRCLE") && flange.at("CIRCLE") >= 10);
        QVERIFY(flange.count("HATCH"));
        QVERIFY(flange.count("MTEXT"));

        const auto sheet = kindsOf("Entity Sheet.dxf");
        for (const char* kind : {"LINE", "CIRCLE", "ARC", "LWPOLYLINE", "ELLIPSE", "SPLINE", "TEXT", "MTEXT",
                                 "POINT", "SOLID", "HATCH", "POLYLINE", "INSERT"})
            QVERIFY2(sheet.count(kind), kind);
    }
};

QTEST_GUILESS_MAIN(SamplesTest)
#include "tst_samples.moc"
