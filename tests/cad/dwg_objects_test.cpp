// The object layouts of each DWG version, built bit by bit: a block list,
// model space, a layer, a line and a text, framed as each version frames
// them (the type and bit size up to 2007, the string stream of 2007 and
// later, the separate handle stream size and compact type of 2010 and later)
// and read back through the decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cad/dwg/DwgSections.h"

using cad::dwg::Version;

namespace {

class BitWriter {
public:
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;  // in bits

    void bit(bool b) {
        if (size % 8 == 0) bytes.push_back(0);
        if (b) bytes.back() |= static_cast<std::uint8_t>(0x80 >> (size % 8));
        ++size;
    }
    void bits(std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) bit((v >> i) & 1);
    }
    void append(const BitWriter& other) {
        for (std::size_t i = 0; i < other.size; ++i) bit((other.bytes[i / 8] >> (7 - i % 8)) & 1);
    }
    void RC(unsigned v) { bits(v & 0xFF, 8); }
    void RS(unsigned v) { RC(v); RC(v >> 8); }
    void RL(std::uint32_t v) { RS(v & 0xFFFF); RS(v >> 16); }
    void RD(double d) {
        std::uint8_t raw[8];
        std::memcpy(raw, &d, 8);
        for (std::uint8_t b : raw) RC(b);
    }
    void BB(unsigned v) { bits(v, 2); }
    void BS(unsigned v) {
        if (v == 0) BB(2);
        else if (v == 256) BB(3);
        else if (v < 256) { BB(1); RC(v); }
        else { BB(0); RS(v); }
    }
    void BL(std::uint32_t v) {
        if (v == 0) BB(2);
        else if (v < 256) { BB(1); RC(v); }
        else { BB(0); RL(v); }
    }
    void BD(double d) {
        if (d == 0.0) BB(2);
        else if (d == 1.0) BB(1);
        else { BB(0); RD(d); }
    }
    void H(unsigned code, std::uint64_t value) {
        std::vector<std::uint8_t> digits;
        for (std::uint64_t v = value; v; v >>= 8) digits.insert(digits.begin(), static_cast<std::uint8_t>(v & 0xFF));
        RC((code << 4) | static_cast<unsigned>(digits.size()));
        for (std::uint8_t d : digits) RC(d);
    }
    void TV(const std::string& s) {
        BS(static_cast<unsigned>(s.size()));
        for (char c : s) RC(static_cast<std::uint8_t>(c));
    }
    void TU(const std::u16string& s) {
        BS(static_cast<unsigned>(s.size()));
        for (char16_t c : s) RS(c);
    }
};

// One object under construction: its fields, strings and handles.
struct ObjectBuilder {
    Version v;
    BitWriter data, strings, handles;
    bool modern() const { return v >= Version::R2007; }

    // Text: 2007+ keep it apart, as UTF-16.
    void T(const std::u16string& text, const std::string& ansi) {
        if (modern()) strings.TU(text);
        else data.TV(ansi);
    }

    // The frame: size, (handle stream size), type, (bit size), then the rest.
    std::vector<std::uint8_t> frame(unsigned type, std::uint64_t handle) const {
        BitWriter head;
        if (v >= Version::R2010) {
            head.BB(0);
            head.RC(type);
        } else {
            head.BS(type);
        }
        std::size_t bitSizeAt = head.size;
        if (v >= Version::R2000 && v <= Version::R2007) head.RL(0);
        head.H(0, handle);
        head.BS(0);  // no extended data
        BitWriter body = head;
        body.append(data);
        if (modern()) {
            if (strings.size) {
                body.append(strings);
                body.RS(static_cast<unsigned>(strings.size));
                body.bit(true);
            } else {
                body.bit(false);
            }
        }
        std::size_t endBit = body.size;
        if (v >= Version::R2000 && v <= Version::R2007) {
            BitWriter patched;
            for (std::size_t i = 0; i < bitSizeAt; ++i) patched.bit((body.bytes[i / 8] >> (7 - i % 8)) & 1);
            patched.RL(static_cast<std::uint32_t>(endBit));
            for (std::size_t i = bitSizeAt + 32; i < body.size; ++i) patched.bit((body.bytes[i / 8] >> (7 - i % 8)) & 1);
            body = patched;
        }
        body.append(handles);
        std::size_t bytes = body.bytes.size();
        // MS: 15 bits per word; our objects stay under 32 KiB.
        std::vector<std::uint8_t> out;
        out.push_back(static_cast<std::uint8_t>(bytes & 0xFF));
        out.push_back(static_cast<std::uint8_t>((bytes >> 8) & 0x7F));
        if (v >= Version::R2010) {
            std::size_t handleBits = bytes * 8 - endBit;
            for (;;) {  // unsigned modular char
                std::uint8_t b = handleBits & 0x7F;
                handleBits >>= 7;
                out.push_back(handleBits ? (b | 0x80) : b);
                if (!handleBits) break;
            }
        }
        out.insert(out.end(), body.bytes.begin(), body.bytes.end());
        out.push_back(0);
        out.push_back(0);  // CRC, unchecked by the reader
        return out;
    }
};

constexpr std::uint64_t kBlockControl = 0x1, kModelSpace = 0x1F, kLayer = 0x10, kLine = 0x40, kText = 0x41,
                        kLinetype = 0x50;

// Common part of a table record or other non-graphical object.
void objectCommon(ObjectBuilder& o, std::uint64_t owner) {
    o.data.BL(0);  // reactors
    if (o.v >= Version::R2004) o.data.bit(true);  // no extension dictionary
    if (o.v >= Version::R2013) o.data.bit(false);
    o.handles.H(4, owner);
    if (o.v < Version::R2004) o.handles.H(3, 0);
}

void tableName(ObjectBuilder& o, const std::u16string& name, const std::string& ansi) {
    o.T(name, ansi);
    o.data.bit(false);
    if (o.v <= Version::R2004) {
        o.data.BS(0);
        o.data.bit(false);
    } else {
        o.data.bit(false);
    }
}

// Common part of an entity in model space on the given layer.
void entityCommon(ObjectBuilder& o, std::uint64_t layer) {
    o.data.bit(false);  // no graphics
    o.data.BB(2);       // model space
    o.data.BL(0);       // reactors
    if (o.v >= Version::R2004) o.data.bit(true);
    if (o.v <= Version::R2000) o.data.bit(true);  // no links
    if (o.v >= Version::R2013) o.data.bit(false);
    o.data.BS(o.v >= Version::R2004 ? 0x100 : 256);  // ByLayer
    o.data.BD(1.0);
    o.data.BB(0);
    o.data.BB(0);
    if (o.v >= Version::R2007) {
        o.data.BB(0);
        o.data.RC(0);
    }
    if (o.v >= Version::R2010) {
        o.data.bit(false);
        o.data.bit(false);
        o.data.bit(false);
    }
    o.data.BS(0);
    o.data.RC(29);  // lineweight ByLayer
    if (o.v < Version::R2004) o.handles.H(3, 0);
    o.handles.H(5, layer);
}

struct Built {
    std::uint64_t handle;
    std::vector<std::uint8_t> bytes;
};

// An MTEXT in two dynamic columns of their own heights (kept in the entity
// from 2018 on), with a background fill before them.
std::vector<std::uint8_t> columnedMText(Version v) {
    ObjectBuilder m{v, {}, {}, {}};
    entityCommon(m, kLayer);
    auto point = [&](double x, double y, double z) {
        m.data.BD(x);
        m.data.BD(y);
        m.data.BD(z);
    };
    point(10, 20, 0);  // insertion
    point(0, 0, 1);    // extrusion
    point(1, 0, 0);    // direction
    m.data.BD(100);
    if (v >= Version::R2007) m.data.BD(80);
    m.data.BD(2.5);
    m.data.BS(1);  // attachment
    m.data.BS(1);  // direction of flow
    m.data.BD(0);
    m.data.BD(0);
    m.T(u"left\\Nright", "left\\Nright");
    if (v >= Version::R2000) {
        m.data.BS(1);
        m.data.BD(1.5);
        m.data.bit(false);
    }
    m.handles.H(5, 0);  // style
    if (v >= Version::R2004) {
        m.data.BL(1);  // background fill: scale (a double), colour, transparency
        m.data.BD(1.25);
        m.data.BS(0);
        m.data.BL(0xC2102030);
        m.data.RC(0);
        m.data.BL(0);
    }
    if (v >= Version::R2018) {
        m.data.bit(true);
        m.data.BS(4);
        m.data.bit(true);
        m.handles.H(5, 0);
        m.data.BL(1);
        point(1, 0, 0);
        point(10, 20, 0);
        m.data.BD(100);
        m.data.BD(80);
        m.data.BD(0);
        m.data.BD(0);
        m.data.BS(2);  // dynamic
        m.data.BL(2);
        m.data.BD(45);
        m.data.BD(10);
        m.data.bit(false);  // heights of their own
        m.data.bit(false);
        m.data.BD(30);
        m.data.BD(50);
    }
    return m.frame(44, kText);
}

// listsModelSpace false leaves model space out of the block list;
// layerOn false stores the layer's colour negative; multiline makes the
// text an MTEXT in columns.
cad::dwg::DwgSections buildDrawing(Version v, bool listsModelSpace = true, bool layerOn = true,
                                   bool multiline = false) {
    std::vector<Built> objects;

    ObjectBuilder control{v, {}, {}, {}};
    objectCommon(control, 0);
    control.data.BL(0);
    control.handles.H(3, listsModelSpace ? kModelSpace : 0);
    control.handles.H(3, 0);
    objects.push_back({kBlockControl, control.frame(48, kBlockControl)});

    ObjectBuilder model{v, {}, {}, {}};
    objectCommon(model, kBlockControl);
    tableName(model, u"*Model_Space", "*Model_Space");
    for (int i = 0; i < 4; ++i) model.data.bit(false);
    model.data.bit(true);  // loaded
    if (v >= Version::R2004) model.data.BL(2);
    model.data.BD(0);
    model.data.BD(0);
    model.data.BD(0);
    model.T(u"", "");
    model.data.RC(0);
    model.T(u"", "");
    model.data.BL(0);
    if (v >= Version::R2007) {
        model.data.BS(0);
        model.data.bit(true);
        model.data.RC(0);
    }
    model.handles.H(5, 0);
    model.handles.H(3, 0);
    // First and last entity up to 2000, the list of both later: the same two handles.
    model.handles.H(4, kLine);
    model.handles.H(4, kText);
    model.handles.H(3, 0);
    model.handles.H(5, 0);
    objects.push_back({kModelSpace, model.frame(49, kModelSpace)});

    ObjectBuilder layer{v, {}, {}, {}};
    objectCommon(layer, 0x2);
    tableName(layer, u"Mauern \u00C4", "Mauern \xC4");
    layer.data.BS(0);
    layer.data.BS(layerOn ? 3 : 0xFFFD);
    if (v >= Version::R2004) {
        layer.data.BL(0xC3000003);
        layer.data.RC(0);
    }
    layer.handles.H(5, 0);
    layer.handles.H(5, 0);
    if (v >= Version::R2007) layer.handles.H(5, 0);
    layer.handles.H(5, 0);
    objects.push_back({kLayer, layer.frame(51, kLayer)});

    ObjectBuilder line{v, {}, {}, {}};
    entityCommon(line, kLayer);
    line.data.bit(true);  // z is zero
    line.data.RD(1.5);
    line.data.BB(3);
    line.data.RD(-4.25);
    line.data.RD(2.0);
    line.data.BB(0);  // end y = start y
    line.data.bit(true);
    line.data.bit(true);
    objects.push_back({kLine, line.frame(19, kLine)});

    ObjectBuilder text{v, {}, {}, {}};
    entityCommon(text, kLayer);
    text.data.RC(0xFF);  // only insertion, height and value
    text.data.RD(10);
    text.data.RD(20);
    text.data.bit(true);
    text.data.bit(true);
    text.data.RD(2.5);
    text.T(u"Stra\u00DFe 3\u00B0", "Stra\xDF" "e 3\xB0");
    text.handles.H(5, 0);
    objects.push_back({kText, multiline ? columnedMText(v) : text.frame(1, kText)});

    // A complex linetype: a dash, a gap with a shape, a gap with a text.
    ObjectBuilder fence{v, {}, {}, {}};
    objectCommon(fence, 0x5);
    tableName(fence, u"FENCE", "FENCE");
    fence.T(u"posts and gas", "posts and gas");
    fence.data.BD(2.0);
    fence.data.RC('A');
    fence.data.RC(3);
    struct Dash {
        double length;
        unsigned number;
        double x, y, scale, rotation;
        unsigned flags;
    };
    // Flags as the files hold them: 4 a shape; 2 (with 8) a text, 1 upright.
    for (const Dash& dash : {Dash{1.0, 0, 0, 0, 1, 0, 0}, Dash{-0.5, 131, 0.1, -0.2, 2, 1.5, 4},
                             Dash{-0.5, 0, -0.3, 0.4, 0.25, 0.5, 8 | 2 | 1}}) {
        fence.data.BD(dash.length);
        fence.data.BS(dash.number);
        fence.data.RD(dash.x);
        fence.data.RD(dash.y);
        fence.data.BD(dash.scale);
        fence.data.BD(dash.rotation);
        fence.data.BS(dash.flags);
    }
    // The strings area: the text at its start, in the drawing's code page or UTF-16.
    const std::string gas = "GAS";
    const bool wide = v >= Version::R2007;
    for (std::size_t i = 0; i < (wide ? 512u : 256u); ++i) {
        const std::size_t character = wide ? i / 2 : i;
        const bool high = wide && i % 2 == 1;
        fence.data.RC(character < gas.size() && !high ? static_cast<unsigned char>(gas[character]) : 0);
    }
    fence.handles.H(5, 0);  // xref block
    fence.handles.H(5, 0);
    fence.handles.H(5, 0x1A);
    fence.handles.H(5, 0x1A);
    objects.push_back({kLinetype, fence.frame(57, kLinetype)});

    cad::dwg::DwgSections s;
    s.version = v;
    s.versionString = "TEST";
    s.codePage = 30;
    std::vector<std::int64_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(static_cast<std::int64_t>(s.objects.size()));
        s.objects.insert(s.objects.end(), o.bytes.begin(), o.bytes.end());
    }
    // The object map: one page of (handle, offset) steps in handle order.
    std::vector<std::size_t> order = {0, 2, 1, 3, 4, 5};  // 0x1, 0x10, 0x1F, 0x40, 0x41, 0x50
    std::vector<std::uint8_t> page;
    std::uint64_t lastHandle = 0;
    std::int64_t lastOffset = 0;
    for (std::size_t i : order) {
        std::uint64_t dh = objects[i].handle - lastHandle;
        do {
            std::uint8_t b = dh & 0x7F;
            dh >>= 7;
            page.push_back(dh ? (b | 0x80) : b);
        } while (dh);
        std::int64_t d = offsets[i] - lastOffset;
        bool negative = d < 0;
        std::uint64_t m = static_cast<std::uint64_t>(negative ? -d : d);
        while (m >= 0x40) {
            page.push_back(static_cast<std::uint8_t>(0x80 | (m & 0x7F)));
            m >>= 7;
        }
        page.push_back(static_cast<std::uint8_t>(m | (negative ? 0x40 : 0)));
        lastHandle = objects[i].handle;
        lastOffset = offsets[i];
    }
    std::size_t pageSize = page.size() + 2;
    s.handles = {static_cast<std::uint8_t>(pageSize >> 8), static_cast<std::uint8_t>(pageSize & 0xFF)};
    s.handles.insert(s.handles.end(), page.begin(), page.end());
    s.handles.insert(s.handles.end(), {0, 0, 0, 2, 0, 0});
    return s;
}

}  // namespace

TEST(DwgObjects, EachVersionFramesTheSameDrawing)
{
    const Version versions[] = {Version::R2000, Version::R2004, Version::R2007,
                                Version::R2010, Version::R2013, Version::R2018};
    for (Version v : versions) {
        SCOPED_TRACE(static_cast<int>(v));
        cad::Drawing d = cad::dwg::decodeSections(buildDrawing(v));
        ASSERT_NE(d.modelSpace(), nullptr);
        ASSERT_EQ(d.modelSpace()->entities.size(), 2u);
        ASSERT_EQ(d.layers.size(), 1u);
        EXPECT_EQ(d.layers[0].name, "Mauern \xC3\x84");
        EXPECT_EQ(d.layers[0].color, cad::Color::fromIndex(3));

        const cad::Entity& line = d.modelSpace()->entities[0];
        ASSERT_EQ(line.type, "LINE");
        EXPECT_EQ(line.common.handle, kLine);
        EXPECT_EQ(line.common.layer, "Mauern \xC3\x84");
        const auto* l = line.as<cad::LineData>();
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->start, (cad::Vec3{1.5, 2.0, 0}));
        EXPECT_EQ(l->end, (cad::Vec3{-4.25, 2.0, 0}));

        const cad::Entity& text = d.modelSpace()->entities[1];
        ASSERT_EQ(text.type, "TEXT");
        const auto* t = text.as<cad::TextData>();
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->value, "Stra\xC3\x9F" "e 3\xC2\xB0");
        EXPECT_EQ(t->height, 2.5);
        EXPECT_EQ(t->insertion, (cad::Vec3{10, 20, 0}));
    }
}

TEST(DwgObjects, MultilineTextKeepsItsColumnsFrom2018On)
{
    for (Version v : {Version::R2000, Version::R2004, Version::R2013, Version::R2018}) {
        SCOPED_TRACE(static_cast<int>(v));
        cad::Drawing d = cad::dwg::decodeSections(buildDrawing(v, true, true, true));
        ASSERT_NE(d.modelSpace(), nullptr);
        ASSERT_EQ(d.modelSpace()->entities.size(), 2u);
        const cad::Entity& e = d.modelSpace()->entities[1];
        ASSERT_EQ(e.type, "MTEXT");
        const auto* m = e.as<cad::MTextData>();
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->text, "left\\Nright");
        EXPECT_EQ(m->lineSpacingFactor, 1.5);
        if (v < Version::R2018) {
            EXPECT_EQ(m->columnType, 0);
            continue;
        }
        EXPECT_EQ(m->columnType, 2);
        EXPECT_EQ(m->columnCount, 2);
        EXPECT_EQ(m->columnWidth, 45);
        EXPECT_EQ(m->columnGutter, 10);
        EXPECT_FALSE(m->columnAutoHeight);
        EXPECT_EQ(m->columnHeights, (std::vector<double>{30, 50}));
    }
}

TEST(DwgObjects, ComplexLinetypesKeepTheirShapesAndTexts)
{
    for (Version v : {Version::R2000, Version::R2004, Version::R2007, Version::R2018}) {
        SCOPED_TRACE(static_cast<int>(v));
        const cad::Drawing d = cad::dwg::decodeSections(buildDrawing(v));
        const cad::Linetype* fence = d.findLinetype("FENCE");
        ASSERT_NE(fence, nullptr);
        EXPECT_EQ(fence->dashes, (std::vector<double>{1.0, -0.5, -0.5}));
        ASSERT_EQ(fence->elements.size(), 2u);
        const cad::LinetypeElement& post = fence->elements[0];
        EXPECT_EQ(post.dash, 1u);
        EXPECT_FALSE(post.isText);
        EXPECT_EQ(post.shapeNumber, 131);
        EXPECT_EQ(post.style, 0x1Au);
        EXPECT_EQ(post.offset, (cad::Vec2{0.1, -0.2}));
        EXPECT_EQ(post.scale, 2);
        EXPECT_EQ(post.rotation, 1.5);
        EXPECT_FALSE(post.absoluteRotation);
        const cad::LinetypeElement& gas = fence->elements[1];
        EXPECT_EQ(gas.dash, 2u);
        EXPECT_TRUE(gas.isText);
        EXPECT_TRUE(gas.absoluteRotation);
        EXPECT_EQ(gas.text, "GAS");
        EXPECT_EQ(gas.style, 0x1Au);
    }
}

TEST(DwgObjects, ABlockListWithoutModelSpaceStillFindsItByName)
{
    for (Version v : {Version::R2000, Version::R2010}) {
        SCOPED_TRACE(static_cast<int>(v));
        cad::Drawing d = cad::dwg::decodeSections(buildDrawing(v, false));
        ASSERT_NE(d.modelSpace(), nullptr);
        EXPECT_EQ(d.modelSpace()->handle, kModelSpace);
        EXPECT_EQ(d.modelSpace()->entities.size(), 2u);
    }
}

TEST(DwgObjects, ALayerStoredWithANegativeColourIsOffAndKeepsItsColour)
{
    for (Version v : {Version::R2000, Version::R2010}) {
        SCOPED_TRACE(static_cast<int>(v));
        cad::Drawing on = cad::dwg::decodeSections(buildDrawing(v));
        cad::Drawing off = cad::dwg::decodeSections(buildDrawing(v, true, false));
        ASSERT_EQ(on.layers.size(), 1u);
        ASSERT_EQ(off.layers.size(), 1u);
        EXPECT_TRUE(on.layers[0].on);
        EXPECT_FALSE(off.layers[0].on);
        EXPECT_EQ(off.layers[0].color, cad::Color::fromIndex(3));
    }
}

TEST(DwgObjects, AnObjectThatLiesAboutItsSizeIsSkippedNotFollowed)
{
    for (Version v : {Version::R2000, Version::R2010}) {
        cad::dwg::DwgSections s = buildDrawing(v);
        // The line's size field (the first object after block list, model
        // space and layer) now claims far more than the buffer holds.
        cad::dwg::DwgSections bad = s;
        std::size_t at = 0;
        for (int i = 0; i < 3; ++i) {
            std::size_t size = bad.objects[at] | ((bad.objects[at + 1] & 0x7F) << 8);
            std::size_t extra = 2;
            if (v >= Version::R2010)
                while (bad.objects[at + extra++] & 0x80) {}
            at += extra + size + 2;
        }
        bad.objects[at] = 0xFF;
        bad.objects[at + 1] = 0x7F;
        cad::Drawing d = cad::dwg::decodeSections(bad);
        ASSERT_NE(d.modelSpace(), nullptr);
        EXPECT_EQ(d.modelSpace()->entities.size(), 1u);
        EXPECT_EQ(d.skipped.count("damaged object"), 1u);
    }
}

TEST(DwgObjects, AMapThatRevisitsTheSameDataStopsInsteadOfSpinning)
{
    cad::dwg::DwgSections s = buildDrawing(Version::R2000);
    // A run of bytes that, read from any of its offsets, claims to begin an
    // object of some 28 KiB; then a map that enters it at every offset.
    std::size_t base = s.objects.size();
    std::size_t run = 300000;
    s.objects.insert(s.objects.end(), run, 0x70);
    std::vector<std::uint8_t> pages, page;
    std::uint64_t handle = 0x100;
    auto flush = [&] {
        std::size_t pageSize = page.size() + 2;
        pages.push_back(static_cast<std::uint8_t>(pageSize >> 8));
        pages.push_back(static_cast<std::uint8_t>(pageSize & 0xFF));
        pages.insert(pages.end(), page.begin(), page.end());
        pages.push_back(0);
        pages.push_back(0);  // CRC
        page.clear();
    };
    for (std::size_t i = 0; i < run; ++i, ++handle) {
        if (page.size() > 2000) flush();
        if (page.empty()) {  // each page starts from handle and offset zero
            for (std::uint64_t h = handle; ; h >>= 7) {
                page.push_back(static_cast<std::uint8_t>((h >> 7 ? 0x80 : 0) | (h & 0x7F)));
                if (!(h >> 7)) break;
            }
            std::size_t m = base + i;
            while (m >= 0x40) {
                page.push_back(static_cast<std::uint8_t>(0x80 | (m & 0x7F)));
                m >>= 7;
            }
            page.push_back(static_cast<std::uint8_t>(m));
        } else {
            page.push_back(1);  // next handle
            page.push_back(1);  // next byte
        }
    }
    flush();
    pages.insert(pages.end(), {0, 2, 0, 0});
    s.handles.insert(s.handles.begin(), pages.begin(), pages.end());
    s.handles.resize(pages.size());  // the built drawing's own map follows no more

    cad::Drawing d = cad::dwg::decodeSections(s);
    ASSERT_NE(d.modelSpace(), nullptr);
    bool stopped = false;
    for (const std::string& w : d.warnings) stopped = stopped || w.find("again and again") != std::string::npos;
    EXPECT_TRUE(stopped);
}
