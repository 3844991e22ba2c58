// Modeler data written here in its text and binary forms: the edges come out
// with their curves and the body's transform, and bad data fails only the
// body (or the edge) it is in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cad/acis/Acis.h"

using cad::BodyData;
using cad::Vec3;
using cad::WireEdge;
using cad::acis::readBody;

namespace {

void expectNear(Vec3 a, Vec3 b, double tol = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// A wire body of the newer text form: a line, a quarter circle walked
// backwards, a full circle and a spline, the body moved by (100, 0, 0).
const char* kNewer =
    "21200 14 1 26\n"
    "16 Autodesk AutoCAD 19 ASM 223.0.1.1930 OSX 24 Fri Jan 01 00:00:00 2021\n"
    "1 9.9999999999999995e-07 1e-10\n"
    "body $-1 -1 $-1 $-1 $-1 $1 #\n"                                                    // 0
    "transform $-1 -1 $-1 1 0 0 0 1 0 0 0 1 100 0 0 1 no_rotate no_reflect no_shear #\n"  // 1
    "point $-1 -1 $-1 0 0 0 #\n"                                                         // 2
    "point $-1 -1 $-1 10 0 0 #\n"                                                        // 3
    "vertex $-1 -1 $-1 $-1 1 $2 #\n"                                                     // 4
    "vertex $-1 -1 $-1 $-1 1 $3 #\n"                                                     // 5
    "straight-curve $-1 -1 $-1 0 0 0 1 0 0 I I #\n"                                      // 6
    "edge $-1 -1 $-1 $4 0 $5 10 $-1 $6 forward @7 unknown #\n"                           // 7
    "ellipse-curve $-1 -1 $-1 0 0 0 0 0 1 10 0 0 1 I I #\n"                              // 8
    "point $-1 -1 $-1 0 10 0 #\n"                                                        // 9
    "vertex $-1 -1 $-1 $-1 1 $9 #\n"                                                     // 10
    "edge $-1 -1 $-1 $10 -1.5707963267948966 $5 0 $-1 $8 reversed @7 unknown #\n"       // 11
    "edge $-1 -1 $-1 $5 0 $5 6.2831853071795862 $-1 $8 forward @7 unknown #\n"          // 12
    "intcurve-curve $-1 -1 $-1 forward { exactcur full nubs 2 open 2 0 2 1 2 "
    "0 0 0 5 5 0 10 0 0 0 } I I I I #\n"                                                 // 13
    "edge $-1 -1 $-1 $4 0 $5 1 $-1 $13 forward @7 unknown #\n"                           // 14
    "End-of-ASM-data\n";

// The same kinds in the oldest text form: no identifiers, enums as numbers.
const char* kOldest =
    "106 6 1 0\n"
    "body $-1 $-1 $-1 $-1 #\n"
    "point $-1 0 0 0 #\n"
    "point $-1 0 5 0 #\n"
    "vertex $-1 $-1 $1 #\n"
    "vertex $-1 $-1 $2 #\n"
    "straight-curve $-1 0 0 0 0 1 0 0 0 #\n"
    "edge $-1 $3 $4 $-1 $5 0 #\n"
    "End-of-ACIS-data\n";

// Writes the binary form field by field.
class Binary {
public:
    Binary() {
        out_ = "ACIS BinaryFile";
        i32raw(21800), i32raw(0), i32raw(1), i32raw(12);
        str("Autodesk AutoCAD"), str("ASM 223.0.1.1930 OSX"), str("Mon Jun 18 2018");
        dbl(1), dbl(1e-6), dbl(1e-10);
    }
    Binary& name(const std::string& n) {
        auto dash = n.find('-');
        if (dash != std::string::npos) {
            tag(14), out_ += static_cast<char>(dash), out_ += n.substr(0, dash);
            tag(13), out_ += static_cast<char>(n.size() - dash - 1), out_ += n.substr(dash + 1);
        } else {
            tag(13), out_ += static_cast<char>(n.size()), out_ += n;
        }
        return *this;
    }
    Binary& ptr(int r) { return tag(12), i32raw(r), *this; }
    Binary& i32(int v) { return tag(4), i32raw(v), *this; }
    Binary& dbl(double d) { return tag(6), raw(d), *this; }
    Binary& pos(double x, double y, double z) { return tag(19), raw(x), raw(y), raw(z), *this; }
    Binary& vec(double x, double y, double z) { return tag(20), raw(x), raw(y), raw(z), *this; }
    Binary& logical(bool t) { return tag(t ? 10 : 11), *this; }
    Binary& str(const std::string& s) { return tag(7), out_ += static_cast<char>(s.size()), out_ += s, *this; }
    Binary& end() { return tag(17), *this; }
    Binary& prefix() { return ptr(-1).i32(-1).ptr(-1); }
    std::string done() {
        tag(14), out_ += '\3', out_ += "End", tag(14), out_ += '\2', out_ += "of", tag(14), out_ += '\3', out_ += "ASM";
        tag(13), out_ += '\4', out_ += "data";
        return out_;
    }
    std::string& bytes() { return out_; }

private:
    void tag(int t) { out_ += static_cast<char>(t); }
    void i32raw(int v) {
        for (int i = 0; i < 4; ++i) out_ += static_cast<char>(static_cast<unsigned>(v) >> (8 * i));
    }
    void raw(double d) {
        char b[8];
        std::memcpy(b, &d, 8);
        out_.append(b, 8);
    }
    std::string out_;
};

}  // namespace

TEST(Acis, NewerTextGivesLinesArcsCirclesAndSplinesInPlace) {
    BodyData b = readBody(kNewer);
    ASSERT_TRUE(b.error.empty()) << b.error;
    EXPECT_EQ(b.unsupportedEdges, 0);
    ASSERT_EQ(b.edges.size(), 4u);

    const WireEdge& line = b.edges[0];
    EXPECT_EQ(line.kind, WireEdge::Kind::Line);
    expectNear(line.start, {100, 0, 0});
    expectNear(line.end, {110, 0, 0});

    // Reversed: the curve runs from the end vertex (10,0) to the start (0,10),
    // a quarter turn counter-clockwise.
    const WireEdge& arc = b.edges[1];
    EXPECT_EQ(arc.kind, WireEdge::Kind::Ellipse);
    expectNear(arc.center, {100, 0, 0});
    EXPECT_NEAR(arc.startParam, 0, 1e-12);
    EXPECT_NEAR(arc.endParam, M_PI / 2, 1e-12);
    expectNear(arc.minorAxis, {0, 10, 0});

    const WireEdge& circle = b.edges[2];
    EXPECT_EQ(circle.kind, WireEdge::Kind::Ellipse);
    EXPECT_NEAR(circle.endParam - circle.startParam, 2 * M_PI, 1e-12);

    const WireEdge& spline = b.edges[3];
    EXPECT_EQ(spline.kind, WireEdge::Kind::Spline);
    EXPECT_EQ(spline.degree, 2);
    ASSERT_EQ(spline.controlPoints.size(), 3u);
    EXPECT_EQ(spline.knots.size(), 6u);  // clamped: 0 0 0 1 1 1
    expectNear(spline.controlPoints[1], {105, 5, 0});
}

TEST(Acis, OldestTextAndStoredTextForm) {
    BodyData b = readBody(kOldest);
    ASSERT_TRUE(b.error.empty()) << b.error;
    ASSERT_EQ(b.edges.size(), 1u);
    expectNear(b.edges[0].end, {0, 5, 0});

    // Older drawings keep the text with its bytes turned round; the same
    // mapping undoes it.
    std::string stored = cad::acis::decodeStoredText(kOldest);
    EXPECT_NE(stored, kOldest);
    EXPECT_EQ(cad::acis::decodeStoredText(stored), kOldest);
    EXPECT_EQ(readBody(cad::acis::decodeStoredText(stored)).edges.size(), 1u);
}

TEST(Acis, BinaryFormGivesTheSameEdges) {
    Binary s;
    s.name("body").prefix().ptr(-1).ptr(-1).ptr(-1).end();                      // 0
    s.name("point").prefix().pos(0, 0, 0).end();                                // 1
    s.name("point").prefix().pos(3, 4, 0).end();                                // 2
    s.name("vertex").prefix().ptr(-1).i32(2).ptr(1).end();                      // 3
    s.name("vertex").prefix().ptr(-1).i32(2).ptr(2).end();                      // 4
    s.name("straight-curve").prefix().pos(0, 0, 0).vec(0.6, 0.8, 0).logical(false).logical(false).end();  // 5
    s.name("edge").prefix().ptr(3).dbl(0).ptr(4).dbl(5).ptr(-1).ptr(5).logical(false).str("unknown").end();  // 6
    std::string data = s.done();
    ASSERT_TRUE(cad::acis::isBinary(data));
    BodyData b = readBody(data);
    ASSERT_TRUE(b.error.empty()) << b.error;
    ASSERT_EQ(b.edges.size(), 1u);
    expectNear(b.edges[0].end, {3, 4, 0});

    // Cut anywhere, the binary form gives an error or fewer edges, never a crash.
    for (std::size_t cut = 0; cut < data.size(); ++cut) {
        BodyData part = readBody(data.substr(0, cut));
        EXPECT_LE(part.edges.size(), 1u);
    }
    // An unknown field tag fails the body with a reason.
    Binary bad;
    bad.name("body").prefix().end();
    bad.bytes() += '\x63';
    EXPECT_FALSE(readBody(bad.done()).error.empty());
}

TEST(Acis, HostileDataFailsOnlyWhatItTouches) {
    // Links out of range, to the wrong kind of record, and to itself: those
    // edges are left out and counted; the good edge stays.
    std::string text =
        "21200 9 1 0\nproduct\nunits\n"
        "body $-1 -1 $-1 $-1 $-1 $-1 #\n"                          // 0
        "point $-1 -1 $-1 0 0 0 #\n"                               // 1
        "vertex $-1 -1 $-1 $-1 1 $1 #\n"                           // 2
        "point $-1 -1 $-1 1 0 0 #\n"                               // 3
        "vertex $-1 -1 $-1 $-1 1 $3 #\n"                           // 4
        "straight-curve $-1 -1 $-1 0 0 0 1 0 0 I I #\n"            // 5
        "edge $-1 -1 $-1 $2 0 $4 1 $-1 $5 forward @7 unknown #\n"  // 6: good
        "edge $-1 -1 $-1 $2 0 $99 1 $-1 $5 forward @7 unknown #\n" // 7: vertex out of range
        "edge $-1 -1 $-1 $7 0 $4 1 $-1 $5 forward @7 unknown #\n"  // 8: 'vertex' is an edge
        "edge $-1 -1 $-1 $2 0 $4 1 $-1 $8 forward @7 unknown #\n"  // 9: 'curve' is an edge
        "edge $-1 -1 $-1 $2 #\n"                                   // 10: too short
        "intcurve-curve $-1 -1 $-1 forward { exactcur nubs 3 open 1000000 0 3 } I I #\n"  // 11
        "edge $-1 -1 $-1 $2 0 $4 1 $-1 $11 forward @7 unknown #\n"  // 12: knot count beyond the data
        "helix-curve $-1 -1 $-1 #\n"                                // 13
        "edge $-1 -1 $-1 $2 0 $4 1 $-1 $13 forward @7 unknown #\n"  // 14: a curve kind we do not draw
        "End-of-ASM-data\n";
    BodyData b = readBody(text);
    EXPECT_TRUE(b.error.empty()) << b.error;
    EXPECT_EQ(b.edges.size(), 1u);
    EXPECT_EQ(b.unsupportedEdges, 6);

    // Not modeler data at all, a string longer than the data, non-finite numbers.
    EXPECT_FALSE(readBody("").error.empty());
    EXPECT_FALSE(readBody("hello world").error.empty());
    EXPECT_FALSE(readBody("4440100101 1 1 0\n").error.empty());  // a version beyond any integer
    EXPECT_FALSE(readBody("21200 1 1 0\np\nu\nbody @999 x #").error.empty());
    BodyData inf = readBody("21200 1 1 0\np\nu\nbody $-1 -1 $-1 $-1 $-1 $-1 #\npoint $-1 -1 $-1 1e999 0 0 #\n");
    EXPECT_TRUE(inf.edges.empty());
}

// Curved faces kept for their isolines, in a body scaled by 2 and moved by
// (100, 0, 0) through a transform written as drawings write it (no
// identifier link): a cylinder between two circles (two loops), a cone
// closed by a point at its apex, the same cone with only its base circle, a
// whole sphere and a whole torus. A bounded sphere and a plane get none.
const char* kCurved =
    "21200 34 1 0\nproduct\nunits\n"
    "body $-1 -1 $-1 $-1 $-1 $1 #\n"                                                   // 0
    "transform $-1 -1 1 0 0 0 1 0 0 0 1 100 0 0 2 rotate no_reflect no_shear #\n"        // 1
    "face $-1 -1 $-1 $-1 $3 $-1 $-1 $10 forward single #\n"                             // 2 cylinder
    "loop $-1 -1 $-1 $4 $5 $2 #\n"                                                      // 3
    "loop $-1 -1 $-1 $-1 $6 $2 #\n"                                                     // 4
    "coedge $-1 -1 $-1 $5 $5 $-1 $7 forward $3 $-1 #\n"                                 // 5
    "coedge $-1 -1 $-1 $6 $6 $-1 $8 reversed $4 $-1 #\n"                                // 6
    "edge $-1 -1 $-1 $11 0 $11 6.283185307179586 $5 $13 forward @7 unknown #\n"         // 7
    "edge $-1 -1 $-1 $12 0 $12 6.283185307179586 $6 $14 forward @7 unknown #\n"         // 8
    "point $-1 -1 $-1 5 0 10 #\n"                                                       // 9
    "cone-surface $-1 -1 $-1 0 0 0 0 0 1 5 0 0 1 I I 0 1 5 forward I I I I #\n"          // 10
    "vertex $-1 -1 $-1 $7 $15 #\n"                                                      // 11
    "vertex $-1 -1 $-1 $8 $9 #\n"                                                       // 12
    "ellipse-curve $-1 -1 $-1 0 0 0 0 0 1 5 0 0 1 I I #\n"                              // 13
    "ellipse-curve $-1 -1 $-1 0 0 10 0 0 1 5 0 0 1 I I #\n"                             // 14
    "point $-1 -1 $-1 5 0 0 #\n"                                                        // 15
    "face $-1 -1 $-1 $-1 $17 $-1 $-1 $21 forward single #\n"                            // 16 cone
    "loop $-1 -1 $-1 $18 $19 $16 #\n"                                                   // 17
    "loop $-1 -1 $-1 $-1 $20 $16 #\n"                                                   // 18
    "coedge $-1 -1 $-1 $19 $19 $-1 $7 forward $17 $-1 #\n"                              // 19
    "coedge $-1 -1 $-1 $20 $20 $-1 $22 forward $18 $-1 #\n"                             // 20
    "cone-surface $-1 -1 $-1 0 0 0 0 0 1 5 0 0 1 I I -0.4472135954999579 0.8944271909999159 5 "
    "forward I I I I #\n"                                                               // 21
    "edge $-1 -1 $-1 $23 0 $23 0 $20 $-1 forward @7 unknown #\n"                        // 22 apex
    "vertex $-1 -1 $-1 $22 $24 #\n"                                                     // 23
    "point $-1 -1 $-1 0 0 10 #\n"                                                       // 24
    "face $-1 -1 $-1 $-1 $26 $-1 $-1 $21 forward single #\n"                            // 25 cone, base only
    "loop $-1 -1 $-1 $-1 $19 $25 #\n"                                                   // 26
    "face $-1 -1 $-1 $-1 $-1 $-1 $-1 $28 forward single #\n"                            // 27 sphere
    "sphere-surface $-1 -1 $-1 0 0 0 3 1 0 0 0 0 1 forward_v I I I I #\n"                // 28
    "face $-1 -1 $-1 $-1 $-1 $-1 $-1 $30 forward single #\n"                            // 29 torus
    "torus-surface $-1 -1 $-1 0 0 0 0 0 1 10 2 1 0 0 forward_v I I I I #\n"              // 30
    "face $-1 -1 $-1 $-1 $26 $-1 $-1 $28 forward single #\n"                            // 31 bounded sphere
    "face $-1 -1 $-1 $-1 $-1 $-1 $-1 $33 forward single #\n"                            // 32 plane
    "plane-surface $-1 -1 $-1 0 0 0 0 0 1 1 0 0 forward_v I I I I #\n"                   // 33
    "End-of-ASM-data\n";

TEST(Acis, CurvedFacesKeepTheirSurfaceAndExtentInPlace) {
    using Kind = cad::CurvedFace::Kind;
    BodyData b = readBody(kCurved);
    ASSERT_TRUE(b.error.empty()) << b.error;
    ASSERT_EQ(b.edges.size(), 2u);
    expectNear(b.edges[1].center, {100, 0, 20});  // the top circle, scaled and moved
    ASSERT_EQ(b.curvedFaces.size(), 5u);
    struct Expected {
        Kind kind;
        double h0, h1, k0, k1;
    } const expected[] = {
        {Kind::Cone, 0, 10, 1, 1},  // the cylinder: its two circles
        {Kind::Cone, 0, 10, 1, 0},  // up to the apex's point
        {Kind::Cone, 0, 10, 1, 0},  // up to the apex its half-angle gives
        {Kind::Sphere, 0, 0, 1, 1},
        {Kind::Torus, 0, 0, 1, 1},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const cad::CurvedFace& c = b.curvedFaces[i];
        EXPECT_EQ(c.kind, expected[i].kind);
        EXPECT_NEAR(c.h0, expected[i].h0, 1e-9);
        EXPECT_NEAR(c.h1, expected[i].h1, 1e-9);
        EXPECT_NEAR(c.k0, expected[i].k0, 1e-9);
        EXPECT_NEAR(c.k1, expected[i].k1, 1e-9);
        expectNear(c.center, {100, 0, 0});
    }
    expectNear(b.curvedFaces[0].u, {10, 0, 0});
    expectNear(b.curvedFaces[0].w, {0, 0, 2});
    EXPECT_DOUBLE_EQ(b.curvedFaces[3].major, 3);
    expectNear(b.curvedFaces[3].u, {2, 0, 0});
    EXPECT_DOUBLE_EQ(b.curvedFaces[4].minor, 2);

    // A face whose loops lead nowhere keeps the body's edges, only without isolines.
    std::string broken = kCurved;
    broken.replace(broken.find("loop $-1 -1 $-1 $4 $5 $2"), 24, "loop $-1 -1 $-1 $4 $99 $2");
    BodyData partial = readBody(broken);
    EXPECT_EQ(partial.edges.size(), 2u);
    EXPECT_EQ(partial.curvedFaces.size(), 4u);
}
