// The comparison harness: it must find real differences and only those.
#include <gtest/gtest.h>

#include <algorithm>

#include "DrawingCompare.h"
#include "DxfTestFiles.h"
#include "cad/DrawingFile.h"

using namespace cad;
using dxftest::findByHandle;

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l == text; });
}

}  // namespace

TEST(DrawingCompare, ADrawingMatchesItself) {
    Drawing d = readDrawingFile(dxftest::drawing("example_2018.dxf"));
    EXPECT_TRUE(compare::sameDrawing(d, d));
}

TEST(DrawingCompare, TheSameDrawingInEveryDxfVersionAgrees) {
    // The example drawing saved from 2000 to 2018 holds the same entities
    // under the same handles; the harness sees no difference between them.
    // Only the light's system layer is spelled without its star before 2007.
    Drawing reference = readDrawingFile(dxftest::drawing("example_2018.dxf"));
    for (const char* version : {"2000", "2004", "2007", "2010", "2013"}) {
        SCOPED_TRACE(version);
        Drawing other = readDrawingFile(dxftest::drawing(std::string("example_") + version + ".dxf"));
        auto diffs = compare::compareDrawings(reference, other);
        if (std::string(version) < "2007")
            EXPECT_EQ(diffs, std::vector<std::string>{
                                 "LIGHT 75E: layer \"*ADSK_SYSTEM_LIGHTS\" vs \"ADSK_SYSTEM_LIGHTS\""});
        else
            EXPECT_EQ(diffs, std::vector<std::string>{});
    }
}

TEST(DrawingCompare, ReportsEachKindOfDifference) {
    Drawing a = readDrawingFile(dxftest::drawing("example_2018.dxf"));
    Drawing b = a;
    b.index();

    // A moved point, a changed angle beyond tolerance, text, a colour.
    findByHandle(b, 0x3AB)->as<ArcData>()->center.x += 0.5;
    findByHandle(b, 0x3AB)->as<ArcData>()->endAngle += 1e-6;
    findByHandle(b, 0x17B)->as<TextData>()->value = "other";
    findByHandle(b, 0x8E)->as<LwPolylineData>()->vertices.pop_back();
    findByHandle(b, 0x8D)->common.color = Color::fromIndex(1);
    // Within tolerance: rounding in the last digits, and a full turn.
    findByHandle(b, 0x3AB)->as<ArcData>()->radius *= 1 + 1e-13;
    findByHandle(b, 0x3AB)->as<ArcData>()->startAngle += 6.283185307179586;

    auto diffs = compare::compareDrawings(a, b);
    EXPECT_EQ(diffs.size(), 5u) << ::testing::PrintToString(diffs);
    EXPECT_TRUE(contains(diffs, "ARC 3AB: center.x 5929.403601723592 vs 5929.903601723592"))
        << ::testing::PrintToString(diffs);
    EXPECT_TRUE(contains(diffs, "TEXT 17B: value \"teksto simpla\" vs \"other\""));
    EXPECT_TRUE(contains(diffs, "LWPOLYLINE 8E: vertices.size 6 vs 5"));
    EXPECT_TRUE(contains(diffs, "LWPOLYLINE 8D: color ByLayer vs 1"));
}

TEST(DrawingCompare, MissingEntitiesShowInCountsAndByHandle) {
    Drawing a = readDrawingFile(dxftest::drawing("sample_2018.dxf"));
    Drawing b = a;
    b.index();
    Block* model = b.findBlock("*Model_Space");
    ASSERT_NE(model, nullptr);
    auto circle = std::find_if(model->entities.begin(), model->entities.end(),
                               [](const Entity& e) { return e.type == "CIRCLE"; });
    ASSERT_NE(circle, model->entities.end());
    Handle h = circle->common.handle;
    circle->common.handle = 0xBEEF;
    circle->type = "ELLIPSE";

    auto diffs = compare::compareDrawings(a, b);
    EXPECT_TRUE(contains(diffs, "CIRCLE 1 vs 0")) << ::testing::PrintToString(diffs);
    EXPECT_TRUE(contains(diffs, "ELLIPSE 0 vs 1"));
    char expectedLine[64];
    std::snprintf(expectedLine, sizeof expectedLine, "CIRCLE %llX: only in the expected model or paper space",
                  static_cast<unsigned long long>(h));
    EXPECT_TRUE(contains(diffs, expectedLine)) << ::testing::PrintToString(diffs);
    EXPECT_TRUE(contains(diffs, "ELLIPSE BEEF: only in the actual model or paper space"));

    compare::Options few;
    few.maxDifferences = 2;
    auto capped = compare::compareDrawings(a, b, few);
    ASSERT_EQ(capped.size(), 3u);
    EXPECT_EQ(capped.back(), "... and 2 more");
}

TEST(DrawingCompare, Headers) {
    Drawing a = readDrawingFile(dxftest::drawing("example_2018.dxf"));
    Drawing b = readDrawingFile(dxftest::drawing("example_2013.dxf"));
    EXPECT_EQ(compare::compareHeaders(a, b), std::vector<std::string>{});
    b.header.extMax.y += 1;
    b.header.pdMode = 3;
    auto diffs = compare::compareHeaders(a, b);
    ASSERT_EQ(diffs.size(), 2u) << ::testing::PrintToString(diffs);
    EXPECT_EQ(diffs[0].substr(0, 16), "header: extMax.y");
    EXPECT_EQ(diffs[1], "header: pdMode 0 vs 3");
}

TEST(DrawingCompare, Tolerance) {
    compare::Options o;
    EXPECT_TRUE(compare::nearlyEqual(1e6, 1e6 * (1 + 5e-10), o));
    EXPECT_FALSE(compare::nearlyEqual(1e6, 1e6 * (1 + 5e-9), o));
    EXPECT_TRUE(compare::nearlyEqual(0, 1e-16, o));  // DXF prints tiny residues for zero
    EXPECT_FALSE(compare::nearlyEqual(0, 1e-6, o));
}
