// The text drawings: what we draw with the fonts found or substituted lies
// within the extents the CAD application stored, and multiline text breaks
// into as many lines as it did there.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <cstdio>
#include <optional>

#include "cad/DrawingFile.h"
#include "cad/render/Frontend.h"

using namespace cad;
using namespace cad::render;

namespace {

struct Reach {
    double left, bottom, right, top;  // ink beyond (+) or short of (-) each side, as a share of the size
    double worst() const { return std::max({std::abs(left), std::abs(bottom), std::abs(right), std::abs(top)}); }
};

bool validExtents(const Header& h) { return h.extMin.x <= h.extMax.x && h.extMin.y <= h.extMax.y && h.extMax.x < 1e19; }

Reach reach(const Drawing& d, const Header& stored, const std::string& folder) {
    RenderOptions o;
    o.drawingFolder = folder;
    const Box ink = buildScene(d, o).extents();
    const double w = stored.extMax.x - stored.extMin.x, h = stored.extMax.y - stored.extMin.y;
    const double size = std::max(w, h);
    return {(stored.extMin.x - ink.minX) / size, (stored.extMin.y - ink.minY) / size,
            (ink.maxX - stored.extMax.x) / size, (ink.maxY - stored.extMax.y) / size};
}

// The extents the drawing stores; a DWG saved without them (1e20) is
// measured against the DXF export beside it.
std::optional<Header> storedExtents(const Drawing& d, const QString& file) {
    if (validExtents(d.header)) return d.header;
    const QFileInfo info(file);
    const QString dxf = info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".dxf"));
    if (dxf == file || !QFileInfo::exists(dxf)) return std::nullopt;
    const Drawing exported = readDrawingFile(dxf.toStdString());
    if (!validExtents(exported.header)) return std::nullopt;
    return exported.header;
}

void print(const QString& file, const Reach& before, const Reach& after) {
    std::printf("%-24s before %+.3f %+.3f %+.3f %+.3f  after %+.3f %+.3f %+.3f %+.3f\n",
                qPrintable(QDir(QStringLiteral(LUMICADE_DRAWINGS_DIR)).relativeFilePath(file)), before.left,
                before.bottom, before.right, before.top, after.left, after.bottom, after.right, after.top);
}

// Before: every text in the one sans face, as if the drawing had no styles.
Reach plainReach(const Drawing& d, const Header& stored, const std::string& folder) {
    Drawing plain = d;
    plain.textStyles.clear();
    plain.index();
    return reach(plain, stored, folder);
}

bool textOnly(const Drawing& d) {
    const Block* model = d.modelSpace();
    if (!model || model->entities.empty()) return false;
    for (const Entity& e : model->entities)
        if (e.type != "TEXT" && e.type != "MTEXT") return false;
    return true;
}

std::vector<QString> textDrawings() {
    std::vector<QString> out;
    QDirIterator it(QStringLiteral(LUMICADE_DRAWINGS_DIR), {QStringLiteral("Text.*"), QStringLiteral("MText.*")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) out.push_back(it.next());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(TextExtents, TextDrawingsFillTheStoredExtents) {
    const std::vector<QString> files = textDrawings();
    if (files.empty()) GTEST_SKIP() << "no text drawings at " << LUMICADE_DRAWINGS_DIR;
    // Ink beyond (+) or short of (-) the stored extents on the left, bottom,
    // right and top, as a share of their size.
    for (const QString& file : files) {
        const Drawing d = readDrawingFile(file.toStdString());
        const auto stored = storedExtents(d, file);
        if (!textOnly(d) || !stored) continue;
        const std::string folder = QFileInfo(file).absolutePath().toStdString();
        const Reach after = reach(d, *stored, folder);
        print(file, plainReach(d, *stored, folder), after);
        EXPECT_LE(after.worst(), 0.02) << file.toStdString();
    }
}

// The example drawings hold much besides text: their figures are shown, not held to the tolerance.
TEST(TextExtents, ExampleDrawingsFigures) {
    const QDir dir(QStringLiteral(LUMICADE_DRAWINGS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("example_*"), QStringLiteral("sample_*")}, QDir::Files, QDir::Name);
    if (files.isEmpty()) GTEST_SKIP() << "no example drawings at " << LUMICADE_DRAWINGS_DIR;
    for (const QString& name : files) {
        const QString file = dir.filePath(name);
        const Drawing d = readDrawingFile(file.toStdString());
        const auto stored = storedExtents(d, file);
        if (!stored) continue;
        const std::string folder = dir.absolutePath().toStdString();
        print(file, plainReach(d, *stored, folder), reach(d, *stored, folder));
    }
}
