// Object graphics streams built here, record by record: every kind decodes
// to its primitive, damaged and unknown records are handled by their sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"
#include "cad/model/ProxyGraphics.h"

using cad::ProxyGraphics;
using cad::ProxyPrimitive;
using cad::Vec3;
using Kind = ProxyPrimitive::Kind;

namespace {

// Writes one graphics stream: records with their sizes, then the header.
class Stream {
public:
    Stream& record(std::uint32_t type) {
        finish();
        start_ = body_.size();
        u32(0);
        u32(type);
        ++count_;
        return *this;
    }
    Stream& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) body_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Stream& f64(double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        for (int i = 0; i < 8; ++i) body_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        return *this;
    }
    Stream& pt(double x, double y, double z = 0) { return f64(x).f64(y).f64(z); }
    Stream& str(const std::string& s) {
        for (char c : s) body_.push_back(static_cast<std::uint8_t>(c));
        body_.push_back(0);
        pad();
        return *this;
    }
    Stream& wstr(const std::u16string& s) {
        for (char16_t c : s) body_.push_back(static_cast<std::uint8_t>(c)), body_.push_back(static_cast<std::uint8_t>(c >> 8));
        body_.push_back(0), body_.push_back(0);
        pad();
        return *this;
    }
    Stream& bytes(std::initializer_list<std::uint8_t> b) {
        body_.insert(body_.end(), b);
        return *this;
    }
    std::vector<std::uint8_t> done() {
        finish();
        std::vector<std::uint8_t> out;
        auto put = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        put(static_cast<std::uint32_t>(body_.size() + 8));
        put(count_);
        out.insert(out.end(), body_.begin(), body_.end());
        return out;
    }

private:
    void pad() {
        while ((body_.size() - start_) % 4) body_.push_back(0);
    }
    void finish() {
        if (start_ == npos) return;
        std::uint32_t size = static_cast<std::uint32_t>(body_.size() - start_);
        for (int i = 0; i < 4; ++i) body_[start_ + i] = static_cast<std::uint8_t>(size >> (8 * i));
        start_ = npos;
    }
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::vector<std::uint8_t> body_;
    std::size_t start_ = npos;
    std::uint32_t count_ = 0;
};

ProxyGraphics decode(const std::vector<std::uint8_t>& b) { return cad::decodeProxyGraphics(b.data(), b.size()); }

void expectNear(Vec3 a, Vec3 b) {
    EXPECT_NEAR(a.x, b.x, 1e-9);
    EXPECT_NEAR(a.y, b.y, 1e-9);
    EXPECT_NEAR(a.z, b.z, 1e-9);
}

}  // namespace

TEST(ProxyGraphics, GeometryRecordsDecodeToTheirPrimitives) {
    Stream s;
    s.record(1).pt(0, 0).pt(10, 10);                          // extents
    s.record(2).pt(1, 2).f64(3).pt(0, 0, 1);                  // circle
    s.record(3).pt(1, 0).pt(0, 1).pt(-1, 0);                  // circle through 3 points
    s.record(4).pt(0, 0).f64(2).pt(0, 0, 1).pt(1, 0).f64(1.5).u32(1);  // arc, sector
    s.record(5).pt(1, 0).pt(0, 1).pt(-1, 0).u32(0);           // arc through 3 points
    s.record(6).u32(3).pt(0, 0).pt(1, 0).pt(1, 1);            // polyline
    s.record(7).u32(3).pt(0, 0).pt(2, 0).pt(2, 2);            // polygon
    s.record(12).pt(0, 0).pt(1, 1);                           // xline
    s.record(13).pt(5, 5).pt(6, 5);                           // ray
    s.record(32).u32(2).pt(0, 0).pt(3, 0).pt(0, 0, -1);       // polyline with a normal
    ProxyGraphics g = decode(s.done());
    EXPECT_FALSE(g.damaged);
    ASSERT_EQ(g.primitives.size(), 10u);
    EXPECT_EQ(g.primitives[0].kind, Kind::Extents);
    expectNear(g.primitives[0].points[1], {10, 10, 0});
    EXPECT_EQ(g.primitives[1].kind, Kind::Circle);
    EXPECT_DOUBLE_EQ(g.primitives[1].radius, 3);
    EXPECT_EQ(g.primitives[2].kind, Kind::Circle);
    expectNear(g.primitives[2].points[0], {0, 0, 0});
    EXPECT_NEAR(g.primitives[2].radius, 1, 1e-12);
    EXPECT_EQ(g.primitives[3].kind, Kind::Arc);
    EXPECT_DOUBLE_EQ(g.primitives[3].sweep, 1.5);
    EXPECT_EQ(g.primitives[3].fill, 1);
    // The three-point arc runs from the first point through the second: a
    // half turn counter-clockwise about +Z.
    EXPECT_EQ(g.primitives[4].kind, Kind::Arc);
    EXPECT_NEAR(g.primitives[4].sweep, M_PI, 1e-12);
    expectNear(g.primitives[4].normal, {0, 0, 1});
    EXPECT_EQ(g.primitives[5].kind, Kind::Polyline);
    EXPECT_EQ(g.primitives[5].points.size(), 3u);
    EXPECT_EQ(g.primitives[6].kind, Kind::Polygon);
    EXPECT_EQ(g.primitives[7].kind, Kind::Xline);
    EXPECT_EQ(g.primitives[8].kind, Kind::Ray);
    EXPECT_EQ(g.primitives[9].kind, Kind::Polyline);
    expectNear(g.primitives[9].normal, {0, 0, -1});
}

TEST(ProxyGraphics, MeshAndShellKeepTheirFacesAndEdgeVisibility) {
    Stream s;
    // A 2x2 mesh has 2 row edges and 2 column edges; the second is hidden.
    s.record(8).u32(2).u32(2).pt(0, 0).pt(1, 0).pt(0, 1).pt(1, 1).u32(16).u32(1).u32(0).u32(1).u32(1);
    // A shell of one triangle and a quad sharing an edge.
    s.record(9).u32(4).pt(0, 0).pt(1, 0).pt(1, 1).pt(0, 1).u32(9).u32(3).u32(0).u32(1).u32(2).u32(4).u32(0).u32(2).u32(3).u32(0);
    ProxyGraphics g = decode(s.done());
    ASSERT_EQ(g.primitives.size(), 2u);
    EXPECT_EQ(g.primitives[0].kind, Kind::Mesh);
    EXPECT_EQ(g.primitives[0].rows, 2);
    ASSERT_EQ(g.primitives[0].edgeVisible.size(), 4u);
    EXPECT_EQ(g.primitives[0].edgeVisible[1], 0);
    EXPECT_EQ(g.primitives[1].kind, Kind::Shell);
    EXPECT_EQ(g.primitives[1].faces.size(), 9u);
    EXPECT_TRUE(g.primitives[1].edgeVisible.empty());
    EXPECT_EQ(cad::shellEdges(g.primitives[1].faces, 4).size(), 7u);
    // A face naming a vertex that does not exist ends the edge list there.
    EXPECT_EQ(cad::shellEdges({3, 0, 1, 9, 3, 0, 1, 2}, 4).size(), 0u);
    EXPECT_EQ(cad::shellEdges({3, 0, 1, 2, 50}, 4).size(), 3u);
}

TEST(ProxyGraphics, TextInAllFourForms) {
    Stream s;
    s.record(10).pt(1, 1).pt(0, 0, 1).pt(1, 0).f64(2.5).f64(0.8).f64(0).str("Wall");
    s.record(11).pt(0, 0).pt(0, 0, 1).pt(0, 1).str("xx").u32(2).u32(1).f64(4).f64(1).f64(0).f64(1)
        .u32(0).u32(0).u32(0).u32(0).u32(0).str("txt.shx").str("");
    s.record(36).pt(0, 0).pt(0, 0, 1).pt(1, 0).f64(1).f64(1).f64(0).wstr(u"D\u00fcse \u20ac");
    s.record(38).pt(0, 0).pt(0, 0, 1).pt(1, 0).wstr(u"\U0001F600").u32(1).u32(0).f64(3).f64(1).f64(0).f64(1)
        .u32(0).u32(0).u32(0).u32(0).u32(0).wstr(u"romans.shx").wstr(u"");
    s.record(10).pt(0, 0).pt(0, 0, 1).pt(1, 0).f64(1).f64(1).f64(0).str("\xb0");  // Latin-1 degree sign
    ProxyGraphics g = decode(s.done());
    ASSERT_EQ(g.primitives.size(), 5u);
    EXPECT_EQ(g.primitives[0].text, "Wall");
    EXPECT_DOUBLE_EQ(g.primitives[0].height, 2.5);
    EXPECT_DOUBLE_EQ(g.primitives[0].widthFactor, 0.8);
    EXPECT_EQ(g.primitives[1].text, "xx");
    EXPECT_DOUBLE_EQ(g.primitives[1].height, 4);
    expectNear(g.primitives[1].direction, {0, 1, 0});
    EXPECT_EQ(g.primitives[2].text, "D\xc3\xbcse \xe2\x82\xac");
    EXPECT_EQ(g.primitives[3].text, "\xf0\x9f\x98\x80");
    EXPECT_DOUBLE_EQ(g.primitives[3].height, 3);
    EXPECT_EQ(g.primitives[4].text, "\xc2\xb0");
}

TEST(ProxyGraphics, AttributesAndTransformsKeepTheirValues) {
    Stream s;
    s.record(14).u32(1);
    s.record(22).u32(0xC2123456);
    s.record(16).u32(3);
    s.record(18).u32(2);
    s.record(19).u32(7);
    s.record(20).u32(1);
    s.record(23).u32(50);
    s.record(24).f64(2);
    s.record(25).f64(0.5);
    s.record(26).u32(1).u32(4);
    s.record(29);
    for (double m : {2.0, 0.0, 0.0, 5.0, 0.0, 2.0, 0.0, 6.0, 0.0, 0.0, 2.0, 0.0, 0.0, 0.0, 0.0, 1.0}) s.f64(m);
    s.record(27).u32(0);  // a clip boundary, kept but not applied
    s.record(28);
    s.record(31);
    ProxyGraphics g = decode(s.done());
    ASSERT_EQ(g.primitives.size(), 14u);
    EXPECT_EQ(g.primitives[0].kind, Kind::Color);
    EXPECT_EQ(g.primitives[0].value, 1);
    EXPECT_EQ(g.primitives[1].kind, Kind::TrueColor);
    EXPECT_EQ(g.primitives[1].value, 0xC2123456);
    EXPECT_EQ(g.primitives[2].kind, Kind::Layer);
    EXPECT_EQ(g.primitives[3].kind, Kind::Linetype);
    EXPECT_EQ(g.primitives[4].kind, Kind::Marker);
    EXPECT_EQ(g.primitives[5].kind, Kind::Fill);
    EXPECT_EQ(g.primitives[6].kind, Kind::Lineweight);
    EXPECT_EQ(g.primitives[7].kind, Kind::LinetypeScale);
    EXPECT_DOUBLE_EQ(g.primitives[7].number, 2);
    EXPECT_EQ(g.primitives[8].kind, Kind::Thickness);
    EXPECT_EQ(g.primitives[9].kind, Kind::PlotStyle);
    EXPECT_EQ(g.primitives[9].value2, 4);
    EXPECT_EQ(g.primitives[10].kind, Kind::PushTransform);
    EXPECT_DOUBLE_EQ(g.primitives[10].matrix[3], 5);
    EXPECT_DOUBLE_EQ(g.primitives[10].matrix[7], 6);
    EXPECT_EQ(g.primitives[11].kind, Kind::PushClip);
    EXPECT_EQ(g.primitives[12].kind, Kind::PopClip);
    EXPECT_EQ(g.primitives[13].kind, Kind::PopTransform);
}

TEST(ProxyGraphics, LightweightPolylineInItsBitCodedForm) {
    // flags 512 (closed) + 16 (bulges): BS 01 + byte; BL points 01 + byte 3;
    // BL bulges 01 + byte 1; first point 2 RD; next points 2 DD each
    // (00 = same as before); one bulge BD 01 = 1.0.
    std::vector<bool> bits;
    auto put = [&](std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) bits.push_back(v >> i & 1);
    };
    auto byte = [&](std::uint8_t b) { put(b, 8); };
    auto rd = [&](double d) {
        std::uint64_t b;
        std::memcpy(&b, &d, sizeof d);
        for (int i = 0; i < 8; ++i) byte(static_cast<std::uint8_t>(b >> (8 * i)));
    };
    put(0, 2), byte(0x10), byte(0x02);    // BS 0x0210 as a full short
    put(1, 2), byte(3);                   // 3 points
    put(1, 2), byte(1);                   // 1 bulge
    rd(1), rd(2);                          // first point
    put(3, 2), rd(4), put(0, 2);           // x = 4, y as before
    put(0, 2), put(3, 2), rd(7);           // x as before, y = 7
    put(1, 2);                             // bulge 1.0
    std::vector<std::uint8_t> packed((bits.size() + 7) / 8);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) packed[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    Stream s;
    s.record(33).u32(static_cast<std::uint32_t>(packed.size()));
    for (std::uint8_t b : packed) s.bytes({b});
    while (packed.size() % 4) packed.push_back(0), s.bytes({0});
    ProxyGraphics g = decode(s.done());
    ASSERT_EQ(g.primitives.size(), 1u);
    const ProxyPrimitive& p = g.primitives[0];
    EXPECT_EQ(p.kind, Kind::LwPolyline);
    EXPECT_TRUE(p.closed);
    ASSERT_EQ(p.lw.size(), 3u);
    EXPECT_EQ(p.lw[1].point.x, 4);
    EXPECT_EQ(p.lw[1].point.y, 2);
    EXPECT_EQ(p.lw[2].point.x, 4);
    EXPECT_EQ(p.lw[2].point.y, 7);
    EXPECT_EQ(p.lw[0].bulge, 1);
}

TEST(ProxyGraphics, UnknownAndDamagedRecordsAreSteppedOverBySize) {
    Stream s;
    s.record(51).u32(0).u32(0);                // unknown kind, 16 bytes
    s.record(6).u32(1000).pt(0, 0);            // claims 1000 points, holds one: dropped
    s.record(2).pt(0, 0).f64(1).pt(0, 0, 1);   // still read
    s.record(21);                              // an empty closing marker: nothing to draw, nothing lost
    s.record(21).u32(7);                       // the same number with fields is not the marker
    s.record(34).u32(7);                       // a material: nothing of a picture
    ProxyGraphics g = decode(s.done());
    EXPECT_TRUE(g.damaged);
    EXPECT_FALSE(g.cutShort);
    EXPECT_EQ(g.skippedPrimitives, 4);
    EXPECT_EQ(g.skippedTypes, (std::map<std::uint32_t, int>{{6, 1}, {21, 1}, {34, 1}, {51, 1}}));
    ASSERT_EQ(g.primitives.size(), 1u);
    EXPECT_EQ(g.primitives[0].kind, Kind::Circle);
    // The drawing lists each lost record by its type.
    using Listed = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(cad::skippedRecords(g), (Listed{{"proxy graphics primitive 6", 1},
                                              {"proxy graphics primitive 21", 1},
                                              {"proxy graphics primitive 34", 1},
                                              {"proxy graphics primitive 51", 1}}));

    // The drawing loses what would have shown, by type, and says the stream was damaged.
    cad::Drawing d;
    d.noteProxyGraphics("AEC_WALL", g);
    std::vector<std::string> lost;
    for (const cad::Loss& l : d.losses.entries())
        lost.push_back(std::string(cad::lossKindWord(l.kind)) + " " + l.what + " " + std::to_string(l.count));
    EXPECT_EQ(lost, (std::vector<std::string>{"proxy-primitive polyline 1", "proxy-primitive type 21 1",
                                              "proxy-primitive type 51 1", "damaged graphics of AEC_WALL 1"}));

    // A non-finite number drops its record too.
    Stream nan;
    nan.record(2).pt(0, 0).f64(std::nan("")).pt(0, 0, 1);
    EXPECT_TRUE(decode(nan.done()).primitives.empty());
}

TEST(ProxyGraphics, TruncatedStreamKeepsWhatCameBefore) {
    Stream s;
    s.record(2).pt(0, 0).f64(1).pt(0, 0, 1);
    s.record(6).u32(2).pt(0, 0).pt(5, 5);
    std::vector<std::uint8_t> full = s.done();
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        ProxyGraphics g = decode(part);
        EXPECT_TRUE(cut == 0 || g.damaged) << "cut at " << cut;
        EXPECT_LE(g.primitives.size(), 1u) << "cut at " << cut;
        const auto listed = cad::skippedRecords(g);
        EXPECT_EQ(cut == 0, listed.empty()) << "cut at " << cut;
        if (!listed.empty()) {
            EXPECT_EQ(listed.back().first, "proxy graphics cut short") << "cut at " << cut;
        }
    }
    EXPECT_EQ(decode(full).primitives.size(), 2u);
    // A record size that points before its own header ends the stream.
    std::vector<std::uint8_t> bad = full;
    bad[8] = 4;
    EXPECT_TRUE(decode(bad).damaged);
    EXPECT_TRUE(decode(bad).primitives.empty());
}
