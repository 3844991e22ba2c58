// lumicade-convert --layout: one picture per layout that shows something,
// named after the drawing and the layout, never over the model picture; the
// per-drawing message names what the pictures lack.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "DxfWriter.h"

namespace {

using namespace dxfwriter;

struct ToolResult {
    int status = -1;
    QString err;
};

ToolResult convert(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(LUMICADE_CONVERT_PROGRAM), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

// Model space holds a line; "Sheet A" a viewport onto it, "Empty" nothing
// but its sheet; the drawing also references a file that is not there.
File twoLayouts() {
    File f;
    f.tileMode(false);
    f.layer("0", 7, "10");
    f.block("*Paper_Space", "", 0, {}, "1E");
    f.block("*Paper_Space0", viewport(sheet(200, 100)), 0, {}, "2E");
    f.block("MISSING", "", 4, "..\\xrefs\\gone.dwg");
    f.entities += line(0, 0, 100, 50, on(1));
    f.entities += insert("MISSING", 0, 0);
    f.entities += viewport(sheet(200, 100));
    Viewport v;
    v.cx = 100, v.cy = 50, v.width = 150, v.height = 80, v.viewX = 50, v.viewY = 25, v.viewHeight = 60, v.id = 2;
    f.entities += viewport(v);
    f.layout("Sheet A", 1, "1E", "1F");
    f.layout("Empty", 2, "2E", "2F");
    f.layout("Model", 0, "3E", "3F");
    return f;
}

TEST(ConvertLayouts, AllWritesOnePicturePerLayoutWithSomethingOnIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(twoLayouts().save(dir.filePath("plan.dxf")));
    const ToolResult r = convert({"--layout", "all", "--size", "200", dir.filePath("plan.dxf")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("plan.jpg")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("plan-Sheet A.jpg")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("plan-Empty.jpg")));
    EXPECT_TRUE(r.err.contains(QLatin1String("layout Sheet A -> "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("external reference MISSING not found: ../xrefs/gone.dwg")))
        << r.err.toStdString();
    // The model picture is model space, wider than tall like the line.
    const QImage model(dir.filePath("plan.jpg"));
    EXPECT_GT(model.width(), model.height());
}

TEST(ConvertLayouts, ANamedLayoutIsDrawnAndAnUnknownOneFails) {
    QTemporaryDir dir;
    ASSERT_TRUE(twoLayouts().save(dir.filePath("plan.dxf")));
    ToolResult r = convert({"--layout", "sheet a", dir.filePath("plan.dxf")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("plan.jpg")));
    r = convert({"--layout", "Nowhere", dir.filePath("plan.dxf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("it has no layout named Nowhere"))) << r.err.toStdString();
    r = convert({"--layout", "", dir.filePath("plan.dxf")});
    EXPECT_EQ(r.status, 2);
}

}  // namespace
